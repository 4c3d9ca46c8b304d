#include "odbc/credentials.h"

namespace sp::odbc {

std::string braced(std::string_view value) {
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

void wipe(std::string& secret) {
    volatile char* p = secret.data();
    for (std::size_t i = 0; i < secret.capacity(); ++i) p[i] = 0;
    secret.clear();
}

}  // namespace sp::odbc

#include "core/text.h"

namespace sp {

std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += (c == '\n' || c == '\t') ? ' ' : c;
    }
    return out;
}

}  // namespace sp

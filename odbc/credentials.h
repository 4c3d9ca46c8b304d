// User name and password in an ODBC connection string: quoted as ODBC quotes
// a value ({...} with a '}' doubled), and wiped from memory once sent.
#pragma once

#include <string>
#include <string_view>

namespace sp::odbc {

// {value}, with every '}' doubled.
std::string braced(std::string_view value);

// Overwrites the characters before releasing them, so that a password does not
// stay behind in freed memory.
void wipe(std::string& secret);

// Wipes the string when it goes out of scope.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& secret) : secret_(secret) {}
    ~WipeOnExit() { wipe(secret_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& secret_;
};

}  // namespace sp::odbc

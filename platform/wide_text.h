// Windows speaks UTF-16 in its wide (W) calls; the program keeps its text in
// UTF-8. These two are the one place where the two meet, so that names and
// messages are right whatever the machine's code page.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace sp {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace sp

#endif

// A JSON string literal for any text: quotes, backslashes and control
// characters escaped; bytes that are not valid UTF-8 (a driver message in a
// legacy code page) are taken as Latin-1 so the output is always valid JSON.
#pragma once

#include <string>
#include <string_view>

namespace sp {

std::string json_string(std::string_view text);

}  // namespace sp

// A JSON string literal for any text: quotes, backslashes and control
// characters escaped; what is not valid UTF-8 (a driver message in a legacy
// code page, a cut or forged sequence) becomes U+FFFD, so that the output is
// always valid JSON.
#pragma once

#include <string>
#include <string_view>

namespace sp {

std::string json_string(std::string_view text);

}  // namespace sp

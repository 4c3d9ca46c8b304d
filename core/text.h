// Text from outside (driver messages, data-source names) made fit for the
// places it is shown.
#pragma once

#include <string>

namespace sp {

// The text on one line: line breaks and tabs become blanks.
std::string one_line(const std::string& text);

}  // namespace sp

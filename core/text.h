// Text from outside (driver messages, data-source names, data) made fit for
// the places it is shown: the one place that decides what is valid and what
// a terminal may receive.
#pragma once

#include <string>
#include <string_view>

namespace sp {

// The text as valid UTF-8: each ill-formed part (a stray or cut sequence, an
// overlong form, a surrogate, a value beyond U+10FFFF) becomes U+FFFD.
std::string valid_utf8(std::string_view text);

// True for a character that must not reach a terminal raw: C0 controls but
// line break and tab, DEL, C1 controls, the line and paragraph separators
// (U+2028, U+2029) and the marks that reorder text on display (bidi controls).
bool is_hidden_control(char32_t c);

// Valid UTF-8 with every hidden control shown escaped (\x1b, \u2028), so that
// nothing from outside can move the cursor or rewrite a terminal's screen.
std::string printable(std::string_view text);

// printable() on one line: line breaks and tabs become blanks, carriage returns go.
std::string one_line(std::string_view text);

}  // namespace sp

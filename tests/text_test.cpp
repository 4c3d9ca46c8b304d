// Text from outside made fit for where it is shown: valid UTF-8 for the JSON report (checked with a JSON parser of its
// own), controls shown escaped on the terminal and in the text report.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "core/json.h"
#include "core/run_log.h"
#include "core/text.h"

namespace sp {
namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

TEST(Text, IllFormedUtf8IsReplacedAndControlsAreShownEscaped) {
    struct Case { std::string in; std::optional<std::string> valid{}, shown{}; };  // unset: the input, the valid text
    const Case cases[] = {
        {"plain \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x82\xAC \xE0\xA4\x85"},
        {"a\nb\tc"},
        {"\xF0\x9F\x98\x80\x1b[2J\x1b]0;owned\x07!", {}, "\xF0\x9F\x98\x80\\x1b[2J\\x1b]0;owned\\x07!"},
        {"v\x0b" "f\x0c" "r\r" "d\x7f" "n" + std::string(1, '\0'), {}, "v\\x0bf\\x0cr\\x0dd\\x7fn\\x00"},
        {"c1 \xC2\x9B" "31m", {}, "c1 \\u009b31m"},  // CSI as a C1 control
        {"l\xE2\x80\xA8p\xE2\x80\xA9" "b\xE2\x80\xAE", {}, "l\\u2028p\\u2029b\\u202e"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9", {},
         "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069"},  // direction marks and isolates
        {"\xC2\xA0\xE2\x80\x90\xE2\x81\xA6\xE2\x80\x8F", {}, "\xC2\xA0\xE2\x80\x90\\u2066\\u200f"},  // and beside them
        {"caf\xE9", "caf" + R},                               // a legacy code page
        {"s\xED\xA0\x80", "s" + R + R + R},                   // a surrogate
        {"o\xC0\xAF\xE0\x80\xAF", "o" + R + R + R + R + R},  // overlong forms
        {"b\xF4\x90\x80\x80\xF5", "b" + R + R + R + R + R},  // beyond U+10FFFF
        {"cut\xE2\x82", "cut" + R},
        {"\xF0\x9F\x98", R},
        {"\x80\xBF", R + R},
    };
    for (const auto& c : cases) {
        const std::string valid = c.valid.value_or(c.in), shown = c.shown.value_or(valid);
        SCOPED_TRACE(shown);
        EXPECT_EQ(valid_utf8(c.in), valid);
        EXPECT_EQ(printable(c.in), shown);
        const std::string json = json_string(c.in);
        EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), valid) << json;
        EXPECT_EQ(printable(json), json) << "no control raw in the JSON text either";
    }
    EXPECT_EQ(one_line("a\r\nb\tc\x1b"), "a b c\\x1b");
    // The run log's masking: a key at the start, braced, spaced; not a word that merely holds the key.
    EXPECT_EQ(without_passwords("Password={a;b}c;UID=sa; a password was wrong xpwd=1; pwd = x y"),
              "Password=***c;UID=sa; a password was wrong xpwd=1; pwd = *** y");
}

}  // namespace
}  // namespace sp

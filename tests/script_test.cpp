// The statement lists' own format. What the embedded lists hold (every text, the probe's block, the progress points,
// the guarded drops and where the migration stands) is checked through runs in run_test.
#include <gtest/gtest.h>

#include <stdexcept>

#include "scripts/script.h"

namespace sp {
namespace {

TEST(ScriptFormat, KeepsExactTextsAndRejectsMalformedFiles) {
    const Script s =
        parse_script(Engine::Pervasive, 2, "-- a comment\nUPDATE Quote SET  a = b\r\n\n--@progress 7\nX ;\n");
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].sql, "UPDATE Quote SET  a = b");
    EXPECT_EQ(s.steps[1].value, 7);
    EXPECT_EQ(s.steps[2].number, 2);
    EXPECT_EQ(s.statement_count(), 2);

    for (const char* bad : {"--@if-probe false\nA\n", "--@end-if\n", "--@progres 5\n", "--@after-success 2\nA\nB\n",
                            "A\n--@after-migration\n", "--@probe-deletes DELETE\n"})
        EXPECT_THROW(parse_script(Engine::SqlServer, 1, bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace sp

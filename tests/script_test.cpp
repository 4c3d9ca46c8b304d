// What the embedded statement lists must satisfy (their exact texts are
// checked against the dry run elsewhere): counts, one statement a line, and
// where the probe's block, the progress points, the migration and the
// guarded drops stand.
#include <gtest/gtest.h>

#include <stdexcept>

#include "scripts/script.h"

namespace sp {
namespace {

using Kind = ScriptStep::Kind;

struct Layout {
    std::vector<int> progress;
    std::vector<int> conditional;       // statement numbers inside the probe's block
    int probe_after = 0;                // the probe follows this statement
    std::vector<std::pair<int, int>> after_success;  // {drop, copy}
    std::vector<int> after_migration;
    int migration_after = 0;
};

Layout layout_of(const Script& s) {
    Layout l;
    int last = 0;
    for (const auto& step : s.steps) {
        if (step.kind == Kind::Progress) l.progress.push_back(step.value);
        if (step.kind == Kind::Probe) l.probe_after = last;
        if (step.kind == Kind::Migration) l.migration_after = last;
        if (step.kind != Kind::Statement) continue;
        last = step.number;
        if (step.conditional) l.conditional.push_back(step.number);
        if (step.after_success) l.after_success.emplace_back(step.number, step.after_success);
        if (step.after_migration) l.after_migration.push_back(step.number);
    }
    return l;
}

std::vector<int> range(int from, int to) {
    std::vector<int> v;
    for (int n = from; n <= to; ++n) v.push_back(n);
    return v;
}

TEST(StatementLists, CountsAndOneStatementALine) {
    const std::vector<int> counts[] = {{68, 169, 89}, {45, 152}};
    for (Engine e : {Engine::SqlServer, Engine::Pervasive}) {
        const auto& phases = phases_of(e);
        ASSERT_EQ(phases.size(), counts[e == Engine::Pervasive].size());
        for (const Script& s : phases) {
            EXPECT_EQ(s.statement_count(), counts[e == Engine::Pervasive][s.phase - 1]);
            for (const auto& step : s.steps)
                if (step.kind == Kind::Statement)
                    EXPECT_TRUE(!step.sql.empty() && step.sql.front() != ' ' && step.sql.back() != ' ' &&
                                step.sql.find_first_of("\r\n") == std::string::npos)
                        << s.phase << "." << step.number;
        }
    }
}

TEST(StatementLists, ProbeBlocksProgressPointsMigrationAndGuardedDrops) {
    const Layout sql1 = layout_of(phases_of(Engine::SqlServer)[0]);
    EXPECT_EQ(sql1.conditional, range(18, 36));
    EXPECT_EQ(sql1.probe_after, 17);
    EXPECT_EQ(sql1.progress, (std::vector<int>{5, 10, 15, 20, 25, 30, 40}));

    const Layout pv1 = layout_of(phases_of(Engine::Pervasive)[0]);
    EXPECT_EQ(pv1.conditional, range(8, 33));
    EXPECT_EQ(pv1.probe_after, 7);
    EXPECT_EQ(pv1.progress, (std::vector<int>{5, 10, 15, 20, 25, 30, 50}));

    const Layout sql2 = layout_of(phases_of(Engine::SqlServer)[1]);
    EXPECT_EQ(sql2.progress, (std::vector<int>{50, 60, 70, 80}));
    EXPECT_EQ(sql2.after_success, (std::vector<std::pair<int, int>>{{10, 9}, {43, 41}}));
    EXPECT_EQ(sql2.after_migration, range(142, 145));
    EXPECT_EQ(sql2.migration_after, 141);
    EXPECT_EQ(layout_of(phases_of(Engine::SqlServer)[2]).progress, (std::vector<int>{90, 95}));

    const Layout pv2 = layout_of(phases_of(Engine::Pervasive)[1]);
    EXPECT_EQ(pv2.progress, (std::vector<int>{60, 70, 80, 90, 95}));
    EXPECT_EQ(pv2.after_success, (std::vector<std::pair<int, int>>{{10, 9}, {45, 41}}));
    EXPECT_EQ(pv2.after_migration, range(130, 131));
    EXPECT_EQ(pv2.migration_after, 129);
}

TEST(ScriptFormat, KeepsExactTextsAndRejectsMalformedFiles) {
    const Script s = parse_script(Engine::Pervasive, 2, "-- a comment\nUPDATE Quote SET  a = b\r\n\n--@progress 7\nX ;\n");
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].sql, "UPDATE Quote SET  a = b");
    EXPECT_EQ(s.steps[1].value, 7);
    EXPECT_EQ(s.steps[2].number, 2);

    for (const char* bad : {"--@if-probe false\nA\n", "--@end-if\n", "--@progres 5\n", "--@after-success 2\nA\nB\n",
                            "A\n--@after-migration\n", "--@probe-deletes DELETE\n"})
        EXPECT_THROW(parse_script(Engine::SqlServer, 1, bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace sp

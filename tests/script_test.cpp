// What the embedded statement lists must satisfy: their counts, one
// statement a line, and where the probe's block, the progress points, the
// migration and the guarded drops stand.
#include <gtest/gtest.h>

#include <stdexcept>

#include "migration/statements.h"
#include "scripts/script.h"

namespace sp {
namespace {

using Kind = ScriptStep::Kind;

std::vector<int> progress_points(const Script& s) {
    std::vector<int> out;
    for (const auto& step : s.steps)
        if (step.kind == Kind::Progress) out.push_back(step.value);
    return out;
}

std::vector<int> conditional_statements(const Script& s) {
    std::vector<int> out;
    for (const auto& step : s.steps)
        if (step.kind == Kind::Statement && step.conditional) out.push_back(step.number);
    return out;
}

// Position of the statement with this number in the step list.
size_t index_of(const Script& s, int number) {
    for (size_t i = 0; i < s.steps.size(); ++i)
        if (s.steps[i].kind == Kind::Statement && s.steps[i].number == number) return i;
    throw std::out_of_range("no statement " + std::to_string(number));
}

size_t index_of_kind(const Script& s, Kind kind) {
    for (size_t i = 0; i < s.steps.size(); ++i)
        if (s.steps[i].kind == kind) return i;
    throw std::out_of_range("no such step");
}

TEST(StatementLists, CountsPerPhase) {
    const auto& sql = phases_of(Engine::SqlServer);
    ASSERT_EQ(sql.size(), 3u);
    EXPECT_EQ(sql[0].statement_count(), 68);
    EXPECT_EQ(sql[1].statement_count(), 169);
    EXPECT_EQ(sql[2].statement_count(), 89);
    const auto& pvs = phases_of(Engine::Pervasive);
    ASSERT_EQ(pvs.size(), 2u);
    EXPECT_EQ(pvs[0].statement_count(), 45);
    EXPECT_EQ(pvs[1].statement_count(), 152);
}

TEST(StatementLists, EveryStatementIsOneNonEmptyLineNumberedInOrder) {
    for (Engine e : {Engine::SqlServer, Engine::Pervasive}) {
        for (const Script& s : phases_of(e)) {
            int expected = 0;
            for (const auto& step : s.steps) {
                if (step.kind != Kind::Statement) continue;
                SCOPED_TRACE(std::string(engine_key(e)) + " " + std::to_string(s.phase) + "." +
                             std::to_string(step.number));
                EXPECT_EQ(step.number, ++expected);
                EXPECT_FALSE(step.sql.empty());
                EXPECT_EQ(step.sql.find_first_of("\r\n"), std::string::npos);
                EXPECT_NE(step.sql.front(), ' ');
                EXPECT_NE(step.sql.back(), ' ');
            }
        }
    }
}

TEST(StatementLists, SqlServerPhaseOneSendsTheGridRowsOnlyWhenTheProbeFindsNone) {
    const Script& p1 = phases_of(Engine::SqlServer)[0];
    std::vector<int> block;
    for (int n = 18; n <= 36; ++n) block.push_back(n);
    EXPECT_EQ(conditional_statements(p1), block);
    const size_t probe = index_of_kind(p1, Kind::Probe);
    const size_t if_probe = index_of_kind(p1, Kind::IfProbe);
    EXPECT_LT(index_of(p1, 17), probe);
    EXPECT_EQ(if_probe, probe + 1);
    EXPECT_FALSE(p1.steps[if_probe].when);
    EXPECT_LT(index_of_kind(p1, Kind::EndIf), index_of(p1, 37));
    EXPECT_EQ(p1.steps[probe].sql, "SELECT * FROM [GridColumns] WHERE ([ColumnID] = 1);");
    EXPECT_EQ(progress_points(p1), (std::vector<int>{5, 10, 15, 20, 25, 30, 40}));
}

TEST(StatementLists, PervasivePhaseOneSendsTheGridRowsOnlyOnTheProbesTrue) {
    const Script& p1 = phases_of(Engine::Pervasive)[0];
    std::vector<int> block;
    for (int n = 8; n <= 33; ++n) block.push_back(n);
    EXPECT_EQ(conditional_statements(p1), block);
    const size_t probe = index_of_kind(p1, Kind::Probe);
    EXPECT_LT(index_of(p1, 7), probe);
    EXPECT_TRUE(p1.steps[index_of_kind(p1, Kind::IfProbe)].when);
    EXPECT_FALSE(p1.steps[probe].delete_sql.empty());
    EXPECT_EQ(progress_points(p1), (std::vector<int>{5, 10, 15, 20, 25, 30, 50}));
}

TEST(StatementLists, ProgressPointsOfTheLaterPhases) {
    EXPECT_EQ(progress_points(phases_of(Engine::SqlServer)[1]), (std::vector<int>{50, 60, 70, 80}));
    EXPECT_EQ(progress_points(phases_of(Engine::SqlServer)[2]), (std::vector<int>{90, 95}));
    EXPECT_EQ(progress_points(phases_of(Engine::Pervasive)[1]), (std::vector<int>{60, 70, 80, 90, 95}));
}

TEST(StatementLists, DropsWaitForTheCopyOfTheirValues) {
    struct Expect {
        Engine engine;
        std::vector<std::pair<int, int>> after_success;  // drop, copy
        std::vector<int> after_migration;
        int migration_after;
    };
    const Expect expects[] = {
        {Engine::SqlServer, {{10, 9}, {43, 41}}, {142, 143, 144, 145}, 141},
        {Engine::Pervasive, {{10, 9}, {45, 41}}, {130, 131}, 129},
    };
    for (const Expect& x : expects) {
        const Script& p2 = phases_of(x.engine)[1];
        std::vector<std::pair<int, int>> guarded;
        std::vector<int> after_migration;
        for (const auto& step : p2.steps) {
            if (step.kind != Kind::Statement) continue;
            if (step.after_success) guarded.emplace_back(step.number, step.after_success);
            if (step.after_migration) after_migration.push_back(step.number);
        }
        EXPECT_EQ(guarded, x.after_success);
        EXPECT_EQ(after_migration, x.after_migration);
        const size_t migration = index_of_kind(p2, Kind::Migration);
        EXPECT_EQ(migration, index_of(p2, x.migration_after) + 1);
        EXPECT_EQ(index_of(p2, x.migration_after + 1), migration + 1);
        // The guarded drops really are drops of the copied columns.
        for (auto [drop, copy] : guarded) EXPECT_NE(p2.steps[index_of(p2, drop)].sql.find("DROP"), std::string::npos);
    }
}

TEST(StatementLists, MigrationStatementsCarryFiveMarkers) {
    for (Engine e : {Engine::SqlServer, Engine::Pervasive}) {
        const MigrationStatements& m = migration_statements(e);
        EXPECT_NE(m.read.find("deHasItemCom"), std::string::npos);
        EXPECT_NE(m.insert.find("VALUES (?,?,?,?,?)"), std::string::npos);
    }
}

TEST(ScriptFormat, RejectsMalformedFiles) {
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "--@if-probe false\nSELECT 1\n"), std::invalid_argument);
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "--@end-if\n"), std::invalid_argument);
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "--@progres 5\n"), std::invalid_argument);
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "--@after-success 2\nA\nB\n"), std::invalid_argument);
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "A\n--@after-migration\n"), std::invalid_argument);
    EXPECT_THROW(parse_script(Engine::SqlServer, 1, "--@probe-deletes DELETE\n"), std::invalid_argument);
}

TEST(ScriptFormat, KeepsTheExactTextAndSkipsComments) {
    const Script s = parse_script(Engine::Pervasive, 2, "-- a comment\nUPDATE Quote SET  a = b\r\n\n--@progress 7\nX ;\n");
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].sql, "UPDATE Quote SET  a = b");
    EXPECT_EQ(s.steps[1].value, 7);
    EXPECT_EQ(s.steps[2].sql, "X ;");
    EXPECT_EQ(s.steps[2].number, 2);
}

}  // namespace
}  // namespace sp

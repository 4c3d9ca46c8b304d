// A run against a Pervasive data source, through the recording fake of our
// database interface (the Pervasive engine cannot run here).
#include <gtest/gtest.h>

#include "app/run_driver.h"
#include "tests/support/fake_database.h"
#include "tests/support/recording_view.h"
#include "tests/support/script_helpers.h"

namespace sp {
namespace {

using testing::FakeConnector;
using testing::FakeDatabase;
using testing::RecordingView;
using testing::sql_error;
using testing::statement;

const std::string kProbe = "SELECT * FROM GridColumns WHERE (ColumnID = 1)";
const std::string kProbeDelete = "DELETE FROM GridColumns WHERE ColumnID = 1";

// A grid row that phase one sends and phase two does not ("Exp Ship Date").
const std::string& phase_one_grid_row() { return statement(Engine::Pervasive, 1, 28); }

struct PervasiveRun : ::testing::Test {
    FakeDatabase db;
    RecordingView view;
    RunSettings settings;
    RunReport report;
    MigrationOutcome migration;

    void SetUp() override {
        settings.migrate = [this](Session&, Engine) { return migration; };
    }
    void run(std::vector<std::string> names = {"svpv"}) {
        FakeConnector connector(db);
        report = run_upgrade(DataSourceLists{{}, names}, connector, view, settings);
    }
    bool sent(const std::string& sql) const {
        const auto e = db.executed();
        return std::find(e.begin(), e.end(), sql) != e.end();
    }
    void fail_on(const std::string& text, DbError error) {
        db.fail = [text, error](const std::string& sql) -> std::optional<DbError> {
            if (sql == text) return error;
            return std::nullopt;
        };
    }
};

TEST_F(PervasiveRun, FoundRowIsRemovedAndTheGridRowsFollow) {
    db.rows[kProbe] = {{"1", "Line", "1", "1", "0", "435"}};
    run();
    auto expected = testing::dry_run_statements(Engine::Pervasive, true);
    // The probe's removal is sent right after statement 7, before the grid rows.
    expected.insert(expected.begin() + 7, kProbeDelete);
    EXPECT_EQ(db.executed(), expected);
    EXPECT_EQ(view.progress(), (std::vector<int>{0, 5, 10, 15, 20, 25, 30, 50, 60, 70, 80, 90, 95, 100}));
    EXPECT_TRUE(view.messages().empty());
}

TEST_F(PervasiveRun, EmptyTableAnswersTrueWithoutRemovingAnything) {
    run();
    EXPECT_EQ(db.executed(), testing::dry_run_statements(Engine::Pervasive, true));
    EXPECT_EQ(db.executed().size(), 45u + 152u);
}

TEST_F(PervasiveRun, ProbeQueryThatFailsLeavesTheGridRowsOut) {
    fail_on(kProbe, sql_error("S1000", 0, "No such table or object"));
    run();
    EXPECT_EQ(db.executed(), testing::dry_run_statements(Engine::Pervasive, false));
    EXPECT_EQ(view.progress(), (std::vector<int>{0, 5, 50, 60, 70, 80, 90, 95, 100}));
    EXPECT_TRUE(view.messages().empty());
}

TEST_F(PervasiveRun, RefusedRemovalAnswersFalse) {
    db.rows[kProbe] = {{"1"}};
    fail_on(kProbeDelete, sql_error("HY000", 0, "The record is locked"));
    run();
    EXPECT_FALSE(sent(phase_one_grid_row()));
    EXPECT_TRUE(sent(statement(Engine::Pervasive, 1, 34)));
    EXPECT_TRUE(view.messages().empty());
}

TEST_F(PervasiveRun, OnlyTheCloseFailingStillAnswersTrue) {
    db.rows[kProbe] = {{"1"}};
    db.close_error = sql_error("HY000", 0, "close failed");
    run();
    EXPECT_TRUE(sent(kProbeDelete));
    EXPECT_TRUE(sent(phase_one_grid_row()));
}

TEST_F(PervasiveRun, OneStatementAtATimeConnectionReadsToTheEndBeforeRemoving) {
    db.write_while_reading = false;
    db.rows[kProbe] = {{"1"}};
    db.fetch_fail[kProbe] = {1, sql_error("08S01", 0, "link failure")};
    run();
    // Reading on after the row failed, so nothing was removed and the answer is False.
    EXPECT_FALSE(sent(kProbeDelete));
    EXPECT_FALSE(sent(phase_one_grid_row()));
}

TEST_F(PervasiveRun, TimeoutInPhaseTwoRunsAgainFromPhaseOneWithinTheEnginesReruns) {
    const std::string slow = statement(Engine::Pervasive, 2, 100);
    fail_on(slow, sql_error("S1T00", 0, "Timeout expired"));
    run({"svpv1", "svpv2"});
    EXPECT_TRUE(view.messages().empty());
    ASSERT_EQ(report.data_sources.size(), 2u);
    EXPECT_EQ(report.data_sources[0].runs, 5);
    EXPECT_EQ(report.data_sources[1].runs, 1);  // the engine's four re-runs are used up
    EXPECT_EQ(db.connects.size(), 6u);
    // Every run starts again at phase one and still sends the statements after the timeout.
    const auto e = db.executed();
    EXPECT_EQ(std::count(e.begin(), e.end(), statement(Engine::Pervasive, 1, 1)), 6);
    EXPECT_EQ(std::count(e.begin(), e.end(), statement(Engine::Pervasive, 2, 152)), 6);
}

TEST_F(PervasiveRun, TimeoutInPhaseOneIsShown) {
    fail_on(statement(Engine::Pervasive, 1, 40), sql_error("S1T00", 0, "Timeout expired"));
    run();
    EXPECT_EQ(view.messages(), std::vector<std::string>{"-2147217871: Timeout expired"});
    EXPECT_EQ(report.data_sources[0].runs, 1);
}

TEST_F(PervasiveRun, DropsWaitForTheirCopies) {
    const std::string copy9 = statement(Engine::Pervasive, 2, 9), copy41 = statement(Engine::Pervasive, 2, 41);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == copy9 || sql == copy41) return sql_error("S1000", 0, "Invalid column name: 'quDiscount'.");
        return std::nullopt;
    };
    run();
    EXPECT_FALSE(sent(statement(Engine::Pervasive, 2, 10)));
    EXPECT_FALSE(sent(statement(Engine::Pervasive, 2, 45)));   // qdSVShipTo, whose value 41 copies
    EXPECT_TRUE(sent(statement(Engine::Pervasive, 2, 44)));    // qdSVBillTo is not kept
    EXPECT_TRUE(view.messages().empty());
}

TEST_F(PervasiveRun, LegacyCommentColumnsFollowTheMigration) {
    migration.complete = false;
    migration.message = "1 flagged quote line could not be moved";
    run();
    EXPECT_FALSE(sent(statement(Engine::Pervasive, 2, 130)));
    EXPECT_FALSE(sent(statement(Engine::Pervasive, 2, 131)));
    EXPECT_TRUE(sent(statement(Engine::Pervasive, 2, 132)));
    EXPECT_EQ(view.messages(), std::vector<std::string>{migration.message});
}

}  // namespace
}  // namespace sp

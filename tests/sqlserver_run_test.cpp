// A run against a SQL Server data source, through the recording fake of our
// database interface (SQL Server cannot run here): what is sent, in which
// order, what the probe decides, and how failures are treated.
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

const std::string kProbe = "SELECT * FROM [GridColumns] WHERE ([ColumnID] = 1);";

struct SqlServerRun : ::testing::Test {
    FakeDatabase db;
    RecordingView view;
    RunSettings settings;
    RunReport report;
    MigrationOutcome migration;  // what the stand-in migration answers

    void SetUp() override {
        settings.migrate = [this](Session&, Engine) { return migration; };
    }
    void run() {
        FakeConnector connector(db);
        report = run_upgrade(DataSourceLists{{"sv01"}, {}}, connector, view, settings);
    }
    bool sent(const std::string& sql) const {
        const auto e = db.executed();
        return std::find(e.begin(), e.end(), sql) != e.end();
    }
};

TEST_F(SqlServerRun, SendsExactlyWhatTheDryRunShows) {
    run();  // the probe finds no row: the grid rows are sent
    EXPECT_EQ(db.executed(), testing::dry_run_statements(Engine::SqlServer, true));
    EXPECT_EQ(db.executed().size(), 68u + 169u + 89u);
    EXPECT_EQ(view.progress(), (std::vector<int>{0, 5, 10, 15, 20, 25, 30, 40, 50, 60, 70, 80, 90, 95, 100}));
    EXPECT_TRUE(view.messages().empty());
    ASSERT_EQ(report.data_sources.size(), 1u);
    EXPECT_EQ(report.data_sources[0].statements_sent, 326);
    EXPECT_EQ(report.data_sources[0].runs, 1);
}

TEST_F(SqlServerRun, ProbeFindingTheFirstRowLeavesTheGridRowsOut) {
    db.rows[kProbe] = {{"1", "Line", "1", "1", "0", "435"}};
    run();
    EXPECT_EQ(db.executed(), testing::dry_run_statements(Engine::SqlServer, false));
    EXPECT_FALSE(sent(statement(Engine::SqlServer, 1, 18)));
    EXPECT_TRUE(sent(statement(Engine::SqlServer, 1, 37)));
    EXPECT_EQ(view.progress(), (std::vector<int>{0, 5, 10, 40, 50, 60, 70, 80, 90, 95, 100}));
}

TEST_F(SqlServerRun, ProbeThatCannotRunCountsAsNoRowAndStaysSilent) {
    db.fail = [](const std::string& sql) -> std::optional<DbError> {
        if (sql == kProbe) return sql_error("HYT00", 0, "Query timeout expired");
        return std::nullopt;
    };
    run();
    EXPECT_TRUE(sent(statement(Engine::SqlServer, 1, 18)));
    EXPECT_TRUE(view.messages().empty());
    EXPECT_EQ(report.data_sources[0].runs, 1);  // a probe timeout never forces a re-run
}

TEST_F(SqlServerRun, ProbeWhoseCloseFailsAfterFindingTheRowStillAnswersFound) {
    db.rows[kProbe] = {{"1"}};
    db.close_error = sql_error("HY000", 0, "close failed");
    run();
    EXPECT_FALSE(sent(statement(Engine::SqlServer, 1, 18)));
}

TEST_F(SqlServerRun, TimeoutInPhaseTwoIsSilentAndRunsTheDataSourceAgain) {
    const std::string slow = statement(Engine::SqlServer, 2, 60);  // UPDATE of deCost
    int calls = 0;
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == slow && calls++ == 0) return sql_error("HYT00", 0, "Query timeout expired");
        return std::nullopt;
    };
    run();
    EXPECT_TRUE(view.messages().empty());
    EXPECT_EQ(db.connects.size(), 2u);
    EXPECT_EQ(db.executed().size(), 2 * 326u);
    const auto& ds = report.data_sources[0];
    EXPECT_EQ(ds.runs, 2);
    EXPECT_TRUE(ds.timeout_rerun);
    EXPECT_EQ(ds.timed_out, 1);
    // The rest of phase two and phase three follow the timeout before the re-run.
    const auto e = db.executed();
    EXPECT_EQ(e[68 + 59], slow);
    EXPECT_EQ(e[68 + 60], statement(Engine::SqlServer, 2, 61));
    EXPECT_EQ(e[325], statement(Engine::SqlServer, 3, 89));
}

TEST_F(SqlServerRun, TimeoutInPhaseOneOrThreeIsShownAndNotRunAgain) {
    for (int phase : {1, 3}) {
        SCOPED_TRACE(phase);
        db = FakeDatabase{};
        view = RecordingView{};
        const std::string slow = statement(Engine::SqlServer, phase, phase == 1 ? 41 : 29);
        db.fail = [&](const std::string& sql) -> std::optional<DbError> {
            if (sql == slow) return sql_error("HYT00", 0, "Query timeout expired");
            return std::nullopt;
        };
        run();
        ASSERT_EQ(view.messages().size(), 1u);
        EXPECT_EQ(view.messages()[0], "-2147217871: Query timeout expired");
        EXPECT_EQ(db.connects.size(), 1u);
        ASSERT_EQ(report.data_sources[0].failures.size(), 1u);
        EXPECT_EQ(report.data_sources[0].failures[0].phase, phase);
    }
}

TEST_F(SqlServerRun, SecondRunOverAnUpgradedDatabaseShowsNothing) {
    db.rows[kProbe] = {{"1"}};
    db.fail = [](const std::string& sql) -> std::optional<DbError> {
        if (sql.rfind("CREATE TABLE", 0) == 0) return sql_error("42S01", 2714, "There is already an object");
        if (sql.find("ADD CONSTRAINT") != std::string::npos) return sql_error("42000", 2714, "already exists");
        if (sql.find("DROP COLUMN") != std::string::npos) return sql_error("42000", 4924, "does not exist");
        if (sql.find(" ADD ") != std::string::npos) return sql_error("42S21", 2705, "must be unique");
        if (sql.rfind("UPDATE", 0) == 0) return sql_error("42S22", 207, "Invalid column name");
        return std::nullopt;
    };
    run();
    EXPECT_TRUE(view.messages().empty());
    EXPECT_GT(report.data_sources[0].passed_silently, 100);
    EXPECT_TRUE(report.data_sources[0].failures.empty());
}

TEST_F(SqlServerRun, OtherFailuresAreShownOneByOneAndTheListGoesOn) {
    const std::string a = statement(Engine::SqlServer, 2, 1), b = statement(Engine::SqlServer, 2, 2);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == a || sql == b) return sql_error("23000", 547, "conflicted with the FOREIGN KEY constraint");
        return std::nullopt;
    };
    run();
    EXPECT_EQ(view.messages(), (std::vector<std::string>{"-2147217873: conflicted with the FOREIGN KEY constraint",
                                                         "-2147217873: conflicted with the FOREIGN KEY constraint"}));
    EXPECT_EQ(db.executed().size(), 326u);
    const auto& f = report.data_sources[0].failures;
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].phase, 2);
    EXPECT_EQ(f[0].number, 1);
    EXPECT_EQ(f[1].number, 2);
}

TEST_F(SqlServerRun, ADropWaitsForTheCopyOfItsColumnsValues) {
    // quDiscount: statement 9 copies it, 10 drops it; qdSVShipTo: 41 copies, 43 drops (42 drops qdSVBillTo).
    const std::string copy9 = statement(Engine::SqlServer, 2, 9), copy41 = statement(Engine::SqlServer, 2, 41);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == copy9) return sql_error("HYT00", 0, "Query timeout expired");
        if (sql == copy41) return sql_error("40001", 1205, "deadlock victim");
        return std::nullopt;
    };
    run();
    // 9 times out in every run, so quDiscount is kept through all five runs.
    const auto e = db.executed();
    const std::string drop10 = statement(Engine::SqlServer, 2, 10);
    EXPECT_EQ(std::count(e.begin(), e.end(), drop10), 0);  // 9 fails in every run here
    EXPECT_EQ(std::count(e.begin(), e.end(), statement(Engine::SqlServer, 2, 43)), 0);
    EXPECT_EQ(std::count(e.begin(), e.end(), statement(Engine::SqlServer, 2, 42)), 5);  // one run and four re-runs
    EXPECT_EQ(report.data_sources[0].runs, 5);
}

TEST_F(SqlServerRun, DropAfterASuccessfulCopyIsSent) {
    run();
    EXPECT_TRUE(sent(statement(Engine::SqlServer, 2, 10)));
    EXPECT_TRUE(sent(statement(Engine::SqlServer, 2, 43)));
}

TEST_F(SqlServerRun, LegacyCommentColumnsAreKeptAfterAnIncompleteMigration) {
    migration.complete = false;
    migration.message = "2 flagged quote lines could not be moved";
    run();
    for (int n = 142; n <= 145; ++n) EXPECT_FALSE(sent(statement(Engine::SqlServer, 2, n))) << n;
    EXPECT_TRUE(sent(statement(Engine::SqlServer, 2, 146)));
    EXPECT_EQ(view.messages(), std::vector<std::string>{migration.message});
    EXPECT_EQ(report.data_sources[0].comments, CommentMove::Kept);

    db = FakeDatabase{};
    view = RecordingView{};
    migration = MigrationOutcome{};
    run();
    for (int n = 142; n <= 145; ++n) EXPECT_TRUE(sent(statement(Engine::SqlServer, 2, n))) << n;
    EXPECT_EQ(report.data_sources[0].comments, CommentMove::Moved);
}

TEST_F(SqlServerRun, MigrationRunsBetween141And142WithProgressAt70) {
    std::vector<std::string> before;
    std::vector<int> progress_at_call;
    settings.migrate = [&](Session&, Engine engine) {
        EXPECT_EQ(engine, Engine::SqlServer);
        before = db.executed();
        progress_at_call = view.progress();
        return MigrationOutcome{};
    };
    run();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.back(), statement(Engine::SqlServer, 2, 141));
    EXPECT_EQ(progress_at_call.back(), 70);
}

}  // namespace
}  // namespace sp

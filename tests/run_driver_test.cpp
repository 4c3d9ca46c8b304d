// The run driver over the fake of our database interface: the labels and
// progress it shows, the connections it opens, its re-run rules, and how it
// carries on past data sources that cannot be used.
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

struct Driver : ::testing::Test {
    FakeDatabase db;
    RecordingView view;
    RunSettings settings;
    RunReport report;

    void run(DataSourceLists lists) {
        FakeConnector connector(db);
        report = run_upgrade(lists, connector, view, settings);
    }
    int count_connects(const std::string& dsn) const {
        int n = 0;
        for (const auto& c : db.connects) n += c.dsn == dsn;
        return n;
    }
};

TEST_F(Driver, NoDataSourcesStillPassesBothEngineCaptions) {
    run({});
    EXPECT_EQ(view.events, (std::vector<std::string>{"started", "status:Beginning update.",
                                                     "engine:Database Engine: SQL Server",
                                                     "engine:Database Engine: Pervasive", "engine:",
                                                     "status:Updating complete.", "finished"}));
    EXPECT_TRUE(db.connects.empty());
}

TEST_F(Driver, LabelsAndConnectionsForBothEngines) {
    run({{"sv01"}, {"svpv"}});
    EXPECT_EQ(view.labels(), (std::vector<std::string>{"status:Beginning update.", "engine:Database Engine: SQL Server",
                                                       "status:Updating database sv01.",
                                                       "engine:Database Engine: Pervasive",
                                                       "status:Updating database svpv.", "engine:",
                                                       "status:Updating complete."}));
    ASSERT_EQ(db.connects.size(), 2u);
    EXPECT_EQ(db.connects[0].dsn, "sv01");
    EXPECT_EQ(db.connects[0].login_timeout_s, 2400);
    EXPECT_EQ(db.connects[0].query_timeout_s, 30);
    EXPECT_EQ(db.connects[1].dsn, "svpv");
    EXPECT_EQ(db.connects[1].login_timeout_s, 15);
    // Each data source's progress starts at 0 and ends at 100.
    const auto p = view.progress();
    EXPECT_EQ(std::count(p.begin(), p.end(), 0), 2);
    EXPECT_EQ(std::count(p.begin(), p.end(), 100), 2);
    EXPECT_EQ(p.back(), 100);
}

TEST_F(Driver, TheEnginesFourRerunsAreSharedByItsDataSources) {
    const std::string slow = statement(Engine::SqlServer, 2, 1);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == slow) return sql_error("HYT00", 0, "Query timeout expired");
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {}});
    EXPECT_EQ(count_connects("sv01"), 5);
    EXPECT_EQ(count_connects("sv02"), 1);
    EXPECT_TRUE(view.messages().empty());
    // Each run shows the same name again with progress back at 0.
    int updating = 0;
    for (const auto& l : view.labels()) updating += l == "status:Updating database sv01.";
    EXPECT_EQ(updating, 5);
}

TEST_F(Driver, ATimeoutOnceMeansOneRerun) {
    const std::string slow = statement(Engine::SqlServer, 2, 1);
    int calls = 0;
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == slow && calls++ == 0) return sql_error("HYT00");
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {}});
    EXPECT_EQ(count_connects("sv01"), 2);
    EXPECT_EQ(count_connects("sv02"), 1);
    EXPECT_EQ(view.progress()[0], 0);
}

TEST_F(Driver, UnsafeNamesAreRefusedWithoutConnecting) {
    run({{"sv01;Database=master", "sv{x}", "sv02"}, {"svp=1"}});
    ASSERT_EQ(db.connects.size(), 1u);
    EXPECT_EQ(db.connects[0].dsn, "sv02");
    const auto m = view.messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NE(m[0].find("sv01;Database=master"), std::string::npos);
    ASSERT_EQ(report.data_sources.size(), 4u);
    EXPECT_EQ(report.data_sources[0].outcome, DataSourceOutcome::Refused);
    EXPECT_EQ(report.data_sources[2].outcome, DataSourceOutcome::Done);
    EXPECT_EQ(report.data_sources[3].outcome, DataSourceOutcome::Refused);
}

TEST_F(Driver, AnUnreachableDataSourceShowsOneMessageAndTheRunGoesOn) {
    db.fail_connect = [](const ConnectOptions& o) -> std::optional<DbError> {
        if (o.dsn == "sv01") return sql_error("08001", 0, "[unixODBC]could not connect to server");
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {}});
    const auto m = view.messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].rfind("-2147467259: [unixODBC]could not connect to server", 0), 0u);
    EXPECT_EQ(report.data_sources[0].outcome, DataSourceOutcome::ConnectFailed);
    EXPECT_EQ(report.data_sources[0].runs, 0);
    EXPECT_EQ(report.data_sources[1].outcome, DataSourceOutcome::Done);
    EXPECT_EQ(view.labels().back(), "status:Updating complete.");
}

TEST_F(Driver, ALostConnectionShowsOneMessageAndAbandonsOnlyThatDataSource) {
    bool lost = false;
    const std::string breaking = statement(Engine::SqlServer, 1, 40);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == breaking) lost = true;
        if (lost && db.connects.size() == 1) return sql_error("08S01", 0, "Communication link failure");
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {}});
    EXPECT_EQ(view.messages().size(), 1u);
    EXPECT_EQ(report.data_sources[0].outcome, DataSourceOutcome::ConnectionLost);
    EXPECT_EQ(report.data_sources[0].statements_sent, 40);
    EXPECT_EQ(report.data_sources[1].outcome, DataSourceOutcome::Done);
    EXPECT_EQ(report.data_sources[1].statements_sent, 326);
}

TEST_F(Driver, AStopRequestEndsTheRunAfterTheStatementInFlight) {
    std::atomic<bool> stop{false};
    settings.stop = &stop;
    std::vector<Session*> sessions;
    settings.on_session = [&](Session* s) { sessions.push_back(s); };
    const std::string last = statement(Engine::SqlServer, 1, 5);
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == last) {
            stop = true;  // as the interrupt watcher does, then the statement is cancelled
            return sql_error("HY008", 0, "Operation canceled");
        }
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {"svpv"}});
    EXPECT_EQ(db.executed().size(), 5u);
    EXPECT_TRUE(view.messages().empty());  // the cancelled statement is no failure
    EXPECT_TRUE(report.interrupted);
    ASSERT_EQ(report.data_sources.size(), 1u);
    EXPECT_EQ(report.data_sources[0].outcome, DataSourceOutcome::Interrupted);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_NE(sessions[0], nullptr);
    EXPECT_EQ(sessions[1], nullptr);
}

}  // namespace
}  // namespace sp

// Runs over the recording fake of our database interface, which stands in for SQL Server and Pervasive (neither can
// run here): what is sent and in which order, what the probes decide, how failures are treated, and the run driver's
// labels, connections and re-runs.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/report_format.h"
#include "core/run_driver.h"
#include "tests/support/fake_database.h"
#include "tests/support/recording_view.h"
#include "migration/statements.h"
#include "tests/support/script_helpers.h"

namespace sp {
namespace {

using testing::sql_error;
using testing::statement;
using Fail = std::optional<DbError>;

const std::string kSqlProbe = "SELECT * FROM [GridColumns] WHERE ([ColumnID] = 1);";
const std::string kPvProbe = "SELECT * FROM GridColumns WHERE (ColumnID = 1)";
const std::string kPvRemove = "DELETE FROM GridColumns WHERE ColumnID = 1";

struct Run : ::testing::Test {
    testing::FakeDatabase db;
    testing::RecordingView view;
    RunSettings settings;
    RunReport report;

    Run() { settings.migrate = [](Session&, Engine) { return MigrationOutcome{}; }; }  // a stand-in for the migration
    void run(DataSourceLists lists) {
        db.log.clear();
        db.connects.clear();
        view.events.clear();
        view.messages.clear();
        view.progress.clear();
        report = run_upgrade(lists, db, view, settings);
    }
    void fail_on(std::vector<std::string> texts, DbError error) {
        db.fail = [=](const std::string& sql) { return std::ranges::count(texts, sql) ? Fail(error) : std::nullopt; };
    }
    int sent(const std::string& sql) const { return static_cast<int>(std::ranges::count(db.executed(), sql)); }
};

// The grid rows a run sends, as the probe answers. SQL Server's sends them when its query finds no row or cannot run.
// Pervasive's removes the row it finds (reading to the end first where one statement runs at a time) and sends them
// when it could run. A close that fails once the answer is known keeps it.
TEST_F(Run, TheGridProbeDecidesWhetherTheGridRowsAreSent) {
    const struct {
        Engine engine;
        size_t rows;
        std::string failing;  // the statement that fails
        int failing_fetch;    // the fetch that fails, or -1
        bool close_fails, one_at_a_time, removed, grid_rows;  // the last two: whether they are sent
    } cases[] = {
        {Engine::SqlServer, 0, "", -1, false, false, false, true},
        {Engine::SqlServer, 1, "", -1, true, false, false, false},
        {Engine::SqlServer, 1, kSqlProbe, -1, false, false, false, true},
        {Engine::SqlServer, 1, "", 0, false, false, false, true},
        {Engine::Pervasive, 0, "", -1, false, false, false, true},
        {Engine::Pervasive, 1, kPvProbe, -1, false, false, false, false},
        {Engine::Pervasive, 1, kPvRemove, -1, false, false, true, false},
        {Engine::Pervasive, 1, "", -1, true, false, true, true},
        {Engine::Pervasive, 2, "", -1, false, true, true, true},
        {Engine::Pervasive, 2, "", 0, false, true, false, false},
        {Engine::Pervasive, 2, "", 1, false, true, false, false},
    };
    for (const auto& c : cases) {
        const std::string& probe = c.engine == Engine::SqlServer ? kSqlProbe : kPvProbe;
        SCOPED_TRACE(&c - cases);
        db = {};
        db.rows[probe].assign(c.rows, {"1", "Line"});
        fail_on({c.failing}, sql_error("HYT00", 0, "Query timeout expired"));
        if (c.failing_fetch >= 0) db.fetch_fail[probe] = {c.failing_fetch, sql_error("08S01", 0, "link failure")};
        if (c.close_fails) db.close_error = sql_error("HY000", 0, "close failed");
        db.write_while_reading = !c.one_at_a_time;
        run(c.engine == Engine::SqlServer ? DataSourceLists{{"sv01"}, {}} : DataSourceLists{{}, {"svpv"}});
        auto expected = testing::run_statements(c.engine, c.grid_rows);
        if (c.removed) expected.insert(expected.begin() + 7, kPvRemove);  // after statement 7, before the grid rows
        EXPECT_EQ(db.executed(), expected);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(report.data_sources.at(0).runs, 1);  // a timeout in phase one forces no re-run
    }
    // The last case's progress: none of the points of the skipped block.
    EXPECT_EQ(view.progress, (std::vector<int>{0, 5, 50, 60, 70, 80, 90, 95, 100}));
}

// A timeout in phase two is silent and the data source runs again on a fresh connection, from phase one with progress
// back at 0, while the engine's four re-runs last (shared by its data sources); a run goes on to its end after it,
// unless the driver dropped the connection (sv01 three times, sv02 each time). With no re-run left: one message.
// Elsewhere a timeout is shown like any failure. (Deadlocks and lock timeouts are timeouts: the error policy's test.)
TEST_F(Run, TimeoutsInPhaseTwoAreSilentAndRerunTheDataSourceWhileItsEnginesFourRerunsLast) {
    const std::string sql_slow = statement(Engine::SqlServer, 2, 60), pv_slow = statement(Engine::Pervasive, 2, 100);
    const DbError dropped{{{"HYT00", 0, "Timeout expired"}}, true};  // the connection is dead
    int drops = 0;
    db.fail = [&](const std::string& sql) -> Fail {
        if (sql == pv_slow) return sql_error("S1T00", 0, "Timeout expired");
        if (sql == sql_slow && (db.connects.back().dsn == "sv02" || drops++ < 3)) return dropped;
        return std::nullopt;
    };
    run({{"sv01", "sv02"}, {"svpv1", "svpv2"}});
    std::string summary;  // outcome, runs, timeouts, whether one forced a re-run, failures shown
    for (const auto& ds : report.data_sources)
        summary += ds.name + " " + outcome_text(ds.outcome) + " " + std::to_string(ds.runs) + " " +
                   std::to_string(ds.timed_out) + (ds.timeout_rerun ? " rerun " : " ") +
                   std::to_string(ds.failures.size()) + "\n";
    EXPECT_EQ(summary, "sv01 done 4 3 rerun 0\nsv02 connection lost, run abandoned 2 2 rerun 1\n"
                       "svpv1 not completed: phase two timed out after the re-runs 5 5 rerun 1\n"
                       "svpv2 not completed: phase two timed out after the re-runs 1 1 1\n");
    EXPECT_EQ(db.connects.size(), 12u);
    EXPECT_EQ(std::ranges::count(view.progress, 0), 12);
    EXPECT_EQ(sent(statement(Engine::SqlServer, 2, 61)), 1);
    EXPECT_EQ(sent(statement(Engine::Pervasive, 2, 101)), 6);
    ASSERT_EQ(view.messages.size(), 3u);  // the first: sv02's lost connection
    EXPECT_EQ(view.messages[1], "The update of data source svpv1 was not completed: 1 statement of phase two (number "
                                "100) still timed out after the re-runs allowed (4 per engine) were spent, so their "
                                "changes are missing. Running the update again finishes it.");

    fail_on({statement(Engine::SqlServer, 1, 41), statement(Engine::SqlServer, 3, 29)},
            sql_error("S1T00", 0, "Timeout expired"));
    run({{"sv01"}, {}});
    EXPECT_EQ(view.messages, std::vector<std::string>(2, "-2147217871: Timeout expired"));
    EXPECT_EQ(db.connects.size(), 1u);
    EXPECT_EQ(report.data_sources.at(0).failures.at(1).phase, 3);
}

TEST_F(Run, LabelsConnectionsAndTextsOfARunOfBothEngines) {
    run({{"sv01"}, {"svpv"}});
    EXPECT_EQ(view.events, (std::vector<std::string>{
                               "started", "status:Beginning update.", "engine:Database Engine: SQL Server",
                               "status:Updating database sv01.", "engine:Database Engine: Pervasive",
                               "status:Updating database svpv.", "engine:", "status:Updating complete.", "finished"}));
    EXPECT_EQ(db.connects.at(0).login_timeout_s, 2400);  // each engine's own login timeout
    EXPECT_EQ(db.connects.at(1).login_timeout_s, 15);
    // A few texts as the product's databases need them.
    const auto e = db.executed();
    EXPECT_EQ(e.at(17), "INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) "
                        "VALUES ('Line',1,1,0,435);");
    EXPECT_EQ(e.at(326 + 27), "INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES "
                                  "('Exp Ship Date',21,1,1,1110)");
}

// The migration itself over the fake: a lost connection abandons the data source with its error, any other failure
// keeps the comment columns with the migration's message. A drop that would lose values not saved in this run is held
// back: the one after a failed copy (statement 9 or 41 of phase two), and the comment columns' after such a migration.
TEST_F(Run, TheMigrationsFailuresThroughARunAndTheDropsHeldBack) {
    settings.migrate = nullptr;
    fail_on({migration_statements(Engine::SqlServer).read}, sql_error("08S01", 0, "Communication link failure"));
    run({{"sv01"}, {}});
    EXPECT_EQ(report.data_sources.at(0).outcome, DataSourceOutcome::ConnectionLost);
    EXPECT_EQ(db.executed().size(), 68u + 141);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].find("Communication link failure\nThe connection to data source sv01 was lost"),
              std::string::npos);

    const struct { Engine engine; std::vector<int> held, sent; } cases[] = {
        {Engine::SqlServer, {10, 43, 142, 143, 144, 145}, {42, 146}},
        {Engine::Pervasive, {10, 45, 130, 131}, {44, 132}}};
    fail_on({statement(Engine::SqlServer, 2, 9), statement(Engine::SqlServer, 2, 41),
             migration_statements(Engine::SqlServer).read, statement(Engine::Pervasive, 2, 9),
             statement(Engine::Pervasive, 2, 41), migration_statements(Engine::Pervasive).read},
            sql_error("42000", 229, "The SELECT permission was denied"));
    run({{"sv01"}, {"svpv"}});
    for (const auto& c : cases) {
        for (int n : c.held) EXPECT_EQ(sent(statement(c.engine, 2, n)), 0) << engine_key(c.engine) << n;
        for (int n : c.sent) EXPECT_EQ(sent(statement(c.engine, 2, n)), 1) << engine_key(c.engine) << n;
    }
    EXPECT_EQ(std::ranges::count_if(view.messages, [](const std::string& m) {
                  return m.find("stopped before any line was copied: The SELECT permission was denied.") != m.npos;
              }), 2);
}

TEST_F(Run, DataSourcesThatCannotBeUsedGetOneMessageAndTheRunGoesOn) {
    db.fail_connect = [](const ConnectOptions& o) {  // IM002: no hint to add
        return o.dsn == "svdown" ? Fail(sql_error("IM002", 0, "Data source name not found")) : std::nullopt;
    };
    const std::string breaking = statement(Engine::SqlServer, 1, 40);
    bool lost = false;
    db.fail = [&](const std::string& sql) -> Fail {
        lost = lost || sql == breaking;
        if (lost && db.connects.back().dsn == "svlost")  // as SQL Server sends them: an informational message first
            return DbError{{{"01000", 0, "Changed language setting"}, {"08S01", 0, "Communication link failure"}}};
        return std::nullopt;
    };
    run({{"sv01;Database=master", "svdown", "svlost", "sv{x}", "svok", "sv_a_name_of_thirty_three_chars_x"}, {}});
    ASSERT_EQ(db.connects.size(), 3u);  // unsafe and overlong names are never connected
    EXPECT_EQ(std::ranges::count(view.events, "login:svdown"), 0);  // no login to ask for
    const auto m = view.messages;
    ASSERT_EQ(m.size(), 5u);
    EXPECT_NE(m[4].find("its name is 33 characters long, and ODBC allows at most 32 characters"), std::string::npos);
    EXPECT_EQ(m[1], "-2147467259: Data source name not found\n"
                    "The data source svdown could not be connected and was not updated.");
    EXPECT_NE(m[2].find("svlost was lost"), std::string::npos);
    const auto& ds = report.data_sources;
    EXPECT_EQ(ds[2].outcome, DataSourceOutcome::ConnectionLost);
    EXPECT_EQ(ds[2].statements_sent, 40);
    // Where the connection broke, with the driver's codes and the statement's first line.
    const ReportedFailure& f = ds[2].failures.at(0);
    EXPECT_EQ(std::to_string(f.phase) + "." + std::to_string(f.number) + " " + f.sqlstate + " " +
                  std::to_string(f.ado_number) + " " + f.statement,
              "1.40 08S01 -2147467259 " + breaking.substr(0, breaking.find('\n')));
    EXPECT_EQ(ds[4].outcome, DataSourceOutcome::Done);
}

TEST_F(Run, ARefusedLoginIsAskedForOnceAndCancelSkipsTheDataSource) {
    // The server accepts sa/pw only; the run was given another login. Each case: the answer, the connections made and
    // the start of the one message, if any.
    db.fail_connect = [](const ConnectOptions& o) -> Fail {
        if (o.user == "sa" && o.password == "pw") return std::nullopt;
        return sql_error("42000", 18456, "Login failed for user '" + o.user + "'.");
    };
    settings.user = "guest";
    settings.password = "nope";
    const struct { LoginAnswer answer; std::string user; size_t connects; const char* message; } cases[] = {
        {LoginAnswer::Given, "sa", 2, nullptr},
        {LoginAnswer::Given, "other", 2, "-2147467259: Login failed for user 'other'."},
        {LoginAnswer::Cancelled, "", 1, "The data source sv01 was skipped"},
        {LoginAnswer::NotAsked, "", 1, "-2147467259: Login failed for user 'guest'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user + std::to_string(static_cast<int>(c.answer)));
        view.login_answer = c.answer;
        view.login_user = c.user;
        view.login_password = "pw";
        run({{"sv01"}, {}});
        EXPECT_EQ(db.connects.size(), c.connects);
        EXPECT_EQ(std::ranges::count(view.events, "login:sv01"), 1);
        EXPECT_EQ(report.data_sources.at(0).outcome,
                  c.message ? DataSourceOutcome::ConnectFailed : DataSourceOutcome::Done);
        ASSERT_EQ(view.messages.size(), c.message ? 1u : 0u);
        if (c.message) { EXPECT_EQ(view.messages[0].rfind(c.message, 0), 0u) << view.messages[0]; }
    }
}

TEST_F(Run, AStopRequestEndsTheRunAfterTheStatementInFlight) {
    std::atomic<bool> stop{false};
    settings.stop = &stop;
    std::vector<Session*> sessions;
    settings.on_session = [&](Session* s) { sessions.push_back(s); };
    db.fail = [&](const std::string& sql) -> Fail {
        if (sql != statement(Engine::SqlServer, 1, 5)) return std::nullopt;
        stop = true;  // as on Ctrl-C; the statement in flight is then cancelled
        return sql_error("HY008", 0, "Operation canceled");
    };
    run({{"sv01", "sv02"}, {"svpv"}});
    EXPECT_EQ(db.executed().size(), 5u);
    EXPECT_TRUE(view.messages.empty());  // the cancelled statement is no failure
    ASSERT_EQ(report.data_sources.size(), 1u);
    EXPECT_TRUE(report.interrupted && report.data_sources[0].outcome == DataSourceOutcome::Interrupted);
    EXPECT_EQ(sessions, (std::vector<Session*>{sessions.at(0), nullptr}));
    // Stopped while a connection attempt failed: interrupted, not a connection failure.
    db.fail_connect = [&](const ConnectOptions&) -> Fail { return stop = true, sql_error("08001", 0, "refused"); };
    stop = false;
    run({{"sv01"}, {}});
    EXPECT_EQ(report.data_sources.at(0).outcome, DataSourceOutcome::Interrupted);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace sp

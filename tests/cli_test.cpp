// The command line over the fake of our database interface and a fixed list
// of data sources: its outputs, its report and its exit statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#include "cli/cli.h"
#include "core/report_format.h"
#include "platform/display.h"
#include "tests/support/fake_database.h"
#include "tests/support/script_helpers.h"

namespace sp {
namespace {

using testing::FakeConnector;
using testing::FakeDatabase;
using testing::sql_error;

class FixedEnumerator : public DataSourceEnumerator {
public:
    std::vector<DataSourceEntry> entries;
    std::vector<DataSourceEntry> list() override { return entries; }
};

struct Cli : ::testing::Test {
    FakeDatabase db;
    FixedEnumerator machine;
    std::ostringstream out, err;

    void SetUp() override {
        machine.entries = {{"svpv", "Pervasive ODBC Engine Interface"},
                           {"sv01", "SQL Server"},
                           {"acct", "SQL Server"},
                           {"SV02", "SQL Server"}};
    }
    int run(std::vector<std::string> args) {
        FakeConnector connector(db);
        CliContext context{connector, machine, out, err};
        auto status = run_command_line(args, context);
        return status ? *status : -1;
    }
};

TEST_F(Cli, VersionAndListWithoutConnecting) {
    EXPECT_EQ(run({}), -1);  // no arguments: the window
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(run({"--list"}), 0);
    EXPECT_EQ(out.str(), "Selvane SP5.4 5.04.0002\nsqlserver\tsv01\nsqlserver\tSV02\npervasive\tsvpv\n");
    EXPECT_TRUE(db.connects.empty());
}

TEST_F(Cli, UsageErrorsExitTwoAndTouchNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--frobnicate"}, {"--run", "--report", "xml"}, {"--dsn", "sv01"}, {"--script", "oracle"},
        {"--format", "json"}, {"--run", "--command-timeout", "-1"}, {"--run", "--login-timeout", "soon"},
        {"--version", "--list"}, {"--run", "--dsn"}, {"--run", "--command-timeout", "1234567890"},
        {"--run", "--login-timeout="}, {"--report", "json"}, {"--command-timeout", "5"},
        {"--list", "--user", "sa"}, {"--run", "--user="},
    };
    for (const auto& args : wrong) {
        SCOPED_TRACE(args.front() + (args.size() > 1 ? " " + args[1] : ""));
        err.str("");
        EXPECT_EQ(run(args), 2);
        EXPECT_NE(err.str().find("Usage:"), std::string::npos);
    }
    EXPECT_TRUE(db.connects.empty());
    EXPECT_TRUE(out.str().empty());
}

TEST_F(Cli, UserAndItsPasswordReachEveryConnectionOfTheRun) {
    std::vector<std::string> prompts;
    FakeConnector connector(db);
    CliContext context{connector, machine, out, err};
    EXPECT_EQ(run_command_line({"--run", "--user", "sa"}, context), 2);  // no way to get a password
    EXPECT_NE(err.str().find("SELVANE_SP_PASSWORD"), std::string::npos);
    EXPECT_TRUE(db.connects.empty());

    context.password_for_user = [&](const std::string& prompt) -> std::optional<std::string> {
        prompts.push_back(prompt);
        return "p;w{d}";
    };
    EXPECT_EQ(run_command_line({"--run", "--dsn", "sv01", "--dsn", "svpv", "--user", "sa"}, context), 0);
    EXPECT_EQ(prompts, std::vector<std::string>{"Password for sa: "});  // asked once for the run
    ASSERT_EQ(db.connects.size(), 2u);
    for (const auto& c : db.connects) EXPECT_EQ(c.user + "/" + c.password, "sa/p;w{d}");
    EXPECT_EQ(out.str().find("p;w{d}"), std::string::npos);
    EXPECT_EQ(err.str().find("p;w{d}"), std::string::npos);
}

TEST_F(Cli, DsnSelectsDiscoveredDataSourcesAndTimeoutsReachTheirConnections) {
    EXPECT_EQ(run({"--run", "--dsn", "sv01", "--dsn", "acct"}), 2);  // acct is not listed for an upgrade
    EXPECT_NE(err.str().find("\"acct\""), std::string::npos);
    EXPECT_TRUE(db.connects.empty());

    EXPECT_EQ(run({"--run", "--dsn", "svpv", "--dsn=sv02", "--command-timeout", "0", "--login-timeout=7"}), 0);
    ASSERT_EQ(db.connects.size(), 2u);
    EXPECT_EQ(db.connects[0].dsn, "SV02");  // discovery order, the listed spelling
    EXPECT_EQ(db.connects[1].dsn, "svpv");
    for (const auto& c : db.connects) EXPECT_TRUE(c.query_timeout_s == 0 && c.login_timeout_s == 7);
}

TEST_F(Cli, ExitStatusesAndTheJsonReportCountWhatWasSent) {
    // sv01 upgrades cleanly, SV02 cannot be reached, svpv has one failing statement.
    const std::string failing = testing::statement(Engine::Pervasive, 2, 3);
    db.fail_connect = [](const ConnectOptions& o) -> std::optional<DbError> {
        if (o.dsn == "SV02") return sql_error("08001", 0, "could not connect to server");
        return std::nullopt;
    };
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == failing) return sql_error("23000", 0, "a \"quoted\"\nmessage\x1b[2J\xED\xA0\x80");
        return std::nullopt;
    };
    // A name that would rewrite the terminal; it is refused, and named in the report and the message.
    machine.entries.push_back({"sv\x1b]0;x\x07\xC0", "SQL Server"});
    EXPECT_EQ(run({"--run", "--report", "json"}), 3);
    const std::string json = out.str();
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(json)) << json;
    EXPECT_EQ(report["data_sources"][2]["name"], "sv\x1b]0;x\x07\xEF\xBF\xBD");
    EXPECT_EQ(report["data_sources"][3]["failures"][0]["message"],
              "-2147217873: a \"quoted\"\nmessage\x1b[2J\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos) << "nothing raw on the terminal";
    EXPECT_NE(err.str().find("\"sv\\x1b]0;x\\x07\xEF\xBF\xBD\""), std::string::npos) << err.str();
    EXPECT_EQ(json.find("Updating"), std::string::npos);  // status lines stay off the report's stream
    EXPECT_EQ(json.back(), '\n');
    EXPECT_NE(json.find("{\"name\":\"sv01\",\"engine\":\"sqlserver\",\"outcome\":\"done\",\"runs\":1,"
                        "\"statements_sent\":326,\"passed_silently\":0,\"timed_out\":0,\"failed\":0,"),
              std::string::npos);
    EXPECT_NE(json.find("{\"name\":\"SV02\",\"engine\":\"sqlserver\",\"outcome\":\"connect_failed\",\"runs\":0,"),
              std::string::npos);
    EXPECT_NE(json.find("\"statements_sent\":197,\"passed_silently\":0,\"timed_out\":0,\"failed\":1,\"failures\":"
                        "[{\"phase\":2,\"statement\":3,\"message\":\"-2147217873: a \\\"quoted\\\"\\nmessage\\u001b[2J"),
              std::string::npos);
    // Each message was also one line on the error stream.
    EXPECT_NE(err.str().find("-2147217873: a \"quoted\" message\\x1b[2J\xEF\xBF\xBD"), std::string::npos);

    // The text report shows the names escaped too.
    out.str("");
    EXPECT_EQ(run({"--run"}), 3);
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
    EXPECT_NE(out.str().find("\nsv\\x1b]0;x\\x07\xEF\xBF\xBD (SQL Server): refused"), std::string::npos) << out.str();
    machine.entries.pop_back();

    out.str("");
    db = FakeDatabase{};
    EXPECT_EQ(run({"--run", "--dsn", "sv01"}), 0);
    EXPECT_NE(out.str().find("Exit status: 0"), std::string::npos);

    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql == failing) return sql_error("HY000", 0, "general error");
        return std::nullopt;
    };
    EXPECT_EQ(run({"--run", "--dsn", "svpv"}), 1);
}

TEST_F(Cli, ScriptPrintsEveryStatementWithoutConnecting) {
    EXPECT_EQ(run({"--script", "pervasive", "--format", "json"}), 0);
    int statements = 0, records = 0;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line); ++records) {
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
        statements += line.find(",\"sql\":") != std::string::npos;
    }
    EXPECT_EQ(statements, 45 + 152);
    EXPECT_EQ(records, 45 + 152 + 12 + 2);  // with 12 progress points, the probe and the migration
    for (const char* record : {"{\"engine\":\"pervasive\",\"phase\":1,\"progress\":5}\n",
                               "{\"engine\":\"pervasive\",\"phase\":1,\"progress\":10,\"conditional\":true}\n",
                               "{\"engine\":\"pervasive\",\"phase\":2,\"progress\":95}\n",
                               "{\"engine\":\"pervasive\",\"phase\":2,\"migration\":{\"read\":"})
        EXPECT_NE(out.str().find(record), std::string::npos) << record;
    out.str("");
    EXPECT_EQ(run({"--script", "sqlserver"}), 0);
    EXPECT_TRUE(db.connects.empty());
    // The readable script holds every statement on a line of its own.
    const std::string text = "\n" + out.str();
    for (const auto& sql : testing::run_statements(Engine::SqlServer, true))
        EXPECT_NE(text.find("\n" + sql + "\n"), std::string::npos) << sql;
    for (const std::string lines : {"\n-- ===== Phase 2 (169 statements) =====\n",
                                    "\n-- The block below is sent only when the probe finds no row (ColumnID 1 absent)."
                                    "\n-- BEGIN probe block\n-- 1.18\nINSERT INTO [dbo].[GridColumns]",
                                    "VALUES ('Comments/Instructions',19,1,0,1710);\nGO\n-- END probe block\n-- 1.37\n"})
        EXPECT_NE(text.find(lines), std::string::npos) << lines;
}

// The window needs a display, or a platform that needs none.
TEST(Display, IsFoundInTheEnvironment) {
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::optional<std::string>> saved;
    for (const char* n : names) saved.push_back(std::getenv(n) ? std::optional<std::string>(std::getenv(n)) : std::nullopt);
    const struct { const char *display, *wayland, *platform; bool available; } cases[] = {
        {nullptr, nullptr, nullptr, false}, {"", "", "", false}, {":0", nullptr, nullptr, true},
        {nullptr, "wayland-0", nullptr, true}, {nullptr, nullptr, "offscreen", true}, {"", "", "offscreen", true},
    };
    for (const auto& c : cases) {
        const char* values[] = {c.display, c.wayland, c.platform};
        for (int i = 0; i < 3; ++i) values[i] ? (void)setenv(names[i], values[i], 1) : (void)unsetenv(names[i]);
        EXPECT_EQ(display_available(), c.available) << (c.display ? c.display : "-") << (c.wayland ? c.wayland : "-");
    }
    for (int i = 0; i < 3; ++i) saved[i] ? (void)setenv(names[i], saved[i]->c_str(), 1) : (void)unsetenv(names[i]);
}

// The report of a run as a person and a tool read it, from a report made by hand.
TEST(Report, TextAndJsonNameEveryOutcomeAndFailure) {
    RunReport report;
    DataSourceReport done{Engine::Pervasive, "svpv", 2, 200, 3, 1, {{2, 9, "-2147217873: a\nb"}, {2, 0, "moved"}},
                          true, CommentMove::Kept, 4, DataSourceOutcome::Done, std::chrono::milliseconds(1260)};
    DataSourceReport down{Engine::SqlServer, "sv01"};
    down.failures = {{0, 0, "-2147467259: could not connect"}};
    down.outcome = DataSourceOutcome::ConnectFailed;
    report.data_sources = {done, down};
    std::ostringstream text, json;
    print_report_text(report, text);
    EXPECT_EQ(text.str(), "\nReport: 2 data source(s)\n"
                          "\nsvpv (Pervasive): done\n  runs: 2 (a timeout in phase two forced a re-run)\n"
                          "  statements sent: 200, passed over silently: 3, timed out in phase two: 1, failed: 2\n"
                          "  item comments: not all moved; legacy comment columns kept, lines copied: 4\n"
                          "  elapsed: 1.3 s\n  - phase 2, statement 9: -2147217873: a b\n  - phase 2: moved\n"
                          "\nsv01 (SQL Server): could not be connected\n  runs: 0\n"
                          "  statements sent: 0, passed over silently: 0, timed out in phase two: 0, failed: 1\n"
                          "  item comments: migration not reached, lines copied: 0\n  elapsed: 0.0 s\n"
                          "  - connection: -2147467259: could not connect\n\nExit status: 3\n");
    print_report_json(report, json);
    const auto parsed = nlohmann::json::parse(json.str());
    EXPECT_EQ(parsed["exit_status"], 3);
    EXPECT_EQ(parsed["data_sources"][0]["failures"][1], nlohmann::json::parse(R"({"phase":2,"statement":0,"message":"moved"})"));
    EXPECT_EQ(parsed["data_sources"][1], nlohmann::json::parse(R"({"name":"sv01","engine":"sqlserver",
        "outcome":"connect_failed","runs":0,"statements_sent":0,"passed_silently":0,"timed_out":0,"failed":1,
        "failures":[{"phase":0,"statement":0,"message":"-2147467259: could not connect"}],"timeout_rerun":false,
        "item_comments":"not_reached","comments_copied":0,"elapsed_ms":0})"));
    // Each outcome by its key, and the exit status it gives with a clean data source beside it.
    report.data_sources[0].failures.clear();
    const struct { DataSourceOutcome outcome; const char* key; int exit; } outcomes[] = {
        {DataSourceOutcome::Done, "done", 0}, {DataSourceOutcome::Refused, "refused", 3},
        {DataSourceOutcome::NotProductDatabase, "not_product_database", 3},
        {DataSourceOutcome::ConnectionLost, "connection_lost", 3}, {DataSourceOutcome::TimedOut, "timed_out", 0},
        {DataSourceOutcome::Interrupted, "interrupted", 0}};
    for (const auto& o : outcomes) {
        report.data_sources[1] = DataSourceReport{Engine::SqlServer, "sv01"};
        report.data_sources[1].outcome = o.outcome;
        json.str("");
        print_report_json(report, json);
        EXPECT_EQ(nlohmann::json::parse(json.str())["data_sources"][1]["outcome"], o.key);
        EXPECT_EQ(exit_status(report), o.exit) << o.key;
    }
    report.interrupted = true;
    json.str("");
    print_report_json(report, json);
    EXPECT_EQ(json.str().rfind("{\"interrupted\":true,\"exit_status\":130,", 0), 0u);
}

}  // namespace
}  // namespace sp

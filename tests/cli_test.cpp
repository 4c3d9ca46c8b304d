// The command line over the fake of our database interface and a fixed list of data sources: its outputs, its report
// and its exit statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "core/report_format.h"
#include "tests/support/fake_database.h"
#include "tests/support/script_helpers.h"

namespace sp {
namespace {

using testing::FakeDatabase;
using testing::sql_error;
const std::string R = "\xEF\xBF\xBD";  // U+FFFD

// A log kept in memory; with nowhere to keep it, every write fails.
struct MemoryLog : LogFile {
    std::string* text;
    explicit MemoryLog(std::string* t) : text(t) {}
    bool append(std::string_view s) override {
        if (text) text->append(s);
        return text != nullptr;
    }
};

// The fixture is also the machine's list of data sources.
struct Cli : ::testing::Test, DataSourceEnumerator {
    FakeDatabase db;
    std::vector<DataSourceEntry> machine = {{"svpv", "Pervasive ODBC Engine Interface"}, {"sv01", "SQL Server"},
                                            {"acct", "SQL Server"}, {"SV02", "SQL Server"}};
    std::ostringstream out, err;
    std::string log;  // what the run log holds
    bool log_failing = false;
    std::optional<std::string> log_asked;  // the file given with --log
    LockAttempt lock;  // handed out by the lock
    std::function<std::optional<std::string>(const std::string&)> password;  // for --user

    std::vector<DataSourceEntry> list() override { return machine; }
    int run(std::vector<std::string> args) {
        CliContext context{db, *this, out, err};
        context.open_log = [this](const std::optional<std::string>& file, std::chrono::system_clock::time_point) {
            log_asked = file;
            return OpenedLog{std::make_unique<MemoryLog>(log_failing ? nullptr : &log), file.value_or("state/run.log"),
                             {}};
        };
        context.lock_for_run = [this] { return std::move(lock); };
        context.password_for_user = password;
        return run_command_line(args, context).value_or(-1);
    }
};

TEST_F(Cli, UsageErrorsExitTwoAndTouchNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--frobnicate"}, {"--run", "--report", "xml"}, {"--dsn", "sv01"}, {"--script", "oracle"}, {"--format", "json"},
        {"--run", "--command-timeout", "-1"}, {"--run", "--login-timeout", "soon"}, {"--version", "--list"},
        {"--run", "--dsn"}, {"--run", "--command-timeout", "1234567890"}, {"--run", "--login-timeout="},
        {"--report", "json"}, {"--command-timeout", "5"}, {"--list", "--user", "sa"}, {"--run", "--user="},
        {"--list", "--no-log"}, {"--run", "--all"}, {"--run", "--log"}, {"--run", "--log", "x", "--no-log"},
        {"--list=all"}, {"--check=1"}, {"--check", "--list"},
    };
    const std::regex usage("selvane-sp: [^\n]+\nTry 'selvane-sp --help'\\.\n");  // what is wrong, where help is
    for (const auto& args : wrong) {
        err.str("");
        EXPECT_EQ(run(args), 2);
        EXPECT_TRUE(std::regex_match(err.str(), usage)) << err.str();
    }
    EXPECT_TRUE(db.connects.empty() && out.str().empty());
}

TEST_F(Cli, DsnUserAndTimeoutsReachEveryConnectionOfTheRun) {
    EXPECT_EQ(run({"--run", "--dsn", "sv01", "--dsn", "acct"}), 2);  // acct is not listed for an upgrade
    EXPECT_NE(err.str().find("\"acct\""), std::string::npos);
    EXPECT_EQ(run({"--run", "--user", "sa"}), 2);  // no way to get a password
    EXPECT_NE(err.str().find("SELVANE_SP_PASSWORD"), std::string::npos);
    EXPECT_TRUE(db.connects.empty());

    std::vector<std::string> prompts;
    password = [&](const std::string& prompt) -> std::optional<std::string> {
        prompts.push_back(prompt);
        return "p;w{d}";
    };
    EXPECT_EQ(run({"--run", "--dsn", "svpv", "--dsn=sv02", "--user", "sa", "--command-timeout", "0",
                   "--login-timeout=7"}), 0);
    EXPECT_EQ(prompts, std::vector<std::string>{"Password for sa: "});  // asked once for the run
    std::string connects;  // in discovery order, the listed spelling
    for (const auto& c : db.connects)
        connects += c.dsn + " " + c.user + "/" + c.password + " " + std::to_string(c.query_timeout_s) + "," +
                    std::to_string(c.login_timeout_s) + "; ";
    EXPECT_EQ(connects, "SV02 sa/p;w{d} 0,7; svpv sa/p;w{d} 0,7; ");
    EXPECT_EQ((out.str() + err.str()).find("p;w{d}"), std::string::npos);
}

TEST_F(Cli, TheJsonReportHoldsEachFailureWithItsCodesAndNamesAreShownEscaped) {
    // sv01 upgrades cleanly, SV02 cannot be reached, svpv has one failing statement, and a name that
    // would rewrite the terminal is refused: shown escaped on the terminal, valid JSON (it parses).
    const std::string failing = testing::statement(Engine::Pervasive, 2, 3);
    const DbError error = sql_error("23000", 0, "a \"quoted\"\nmessage\x1b[2J\xED\xA0\x80"), down = sql_error("08001");
    db.fail = [&](const std::string& sql) { return sql == failing ? std::optional(error) : std::nullopt; };
    db.fail_connect = [&](const ConnectOptions& o) { return o.dsn == "SV02" ? std::optional(down) : std::nullopt; };
    machine.push_back({"sv\x1b]0;x\x07\xC0", "SQL Server"});
    EXPECT_EQ(run({"--run", "--report", "json"}), 3);
    const auto report = nlohmann::json::parse(out.str());  // valid JSON
    // Every failure with the driver's codes and its statement's first line.
    EXPECT_EQ(report["data_sources"][3]["failures"][0],
              (nlohmann::json{{"phase", 2}, {"statement", 3}, {"sqlstate", "23000"}, {"native_error", 0},
                              {"message", "-2147217873: a \"quoted\"\nmessage\x1b[2J" + R + R + R},
                              {"number", -2147217873}, {"sql", failing.substr(0, failing.find('\n'))}}));
    EXPECT_EQ(report["data_sources"][1]["failures"][0]["sqlstate"], "08001");
    const std::string started = report["started"], finished = report["finished"];  // UTC, in order
    EXPECT_TRUE(std::regex_match(started, std::regex("\\d{4}(-\\d\\d){2}T\\d\\d(:\\d\\d){2}Z")) && started <= finished);
    // Nothing raw on the error stream.
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\"sv\\x1b]0;x\\x07" + R + "\""), std::string::npos) << err.str();
}

TEST_F(Cli, TheRunLogHoldsEachFailureInContextAndNoPassword) {
    const std::string failing = testing::statement(Engine::SqlServer, 2, 141);
    const DbError error = sql_error("23000", 547, "bad value; DSN=sv01;UID=sa;PWD=s3cret;APP=x");
    db.fail = [&](const std::string& sql) { return sql == failing ? std::optional(error) : std::nullopt; };
    EXPECT_EQ(run({"--run", "--dsn", "sv01", "--log", "mine.log"}), 1);
    EXPECT_EQ(log_asked, "mine.log");
    EXPECT_EQ(log.rfind("Selvane SP5.4 5.04.0002: run log\nStarted: ", 0), 0u) << log;
    EXPECT_NE(log.find("\nStarted from: command line: selvane-sp --run --dsn sv01 --log mine.log\n"), log.npos);
    EXPECT_NE(log.find("\nsv01 (SQL Server): done; runs 1, statements sent 326, failed 1\n"
                       "  failure at phase 2, statement 141: SQLSTATE 23000, native error 547\n"
                       "    message: -2147217873: bad value; DSN=sv01;UID=sa;PWD=***;APP=x\n"
                       "    statement: " + failing.substr(0, failing.find('\n')) + "\n"),
              log.npos) << log;
    // Then the end and the report, which the console's report also shows with the log's place.
    EXPECT_NE(log.find("\nEnded: "), std::string::npos);
    EXPECT_NE(log.find("\nExit status: 1\n"), std::string::npos);
    EXPECT_EQ(out.str().substr(out.str().size() - 29), "Exit status: 1\nLog: mine.log\n");
    log.clear();
    EXPECT_EQ(run({"--run", "--no-log"}), 1);
    EXPECT_TRUE(log.empty());

    // A log that cannot be written is one warning; the run's status is its own.
    log_failing = true;
    out.str("");
    EXPECT_EQ(run({"--run", "--dsn", "sv01"}), 1);
    EXPECT_EQ(log_asked, std::nullopt);
    EXPECT_EQ(out.str().find("Log:"), std::string::npos);
    EXPECT_NE(err.str().find("selvane-sp: warning: the run log state/run.log could not be written"), std::string::npos);
}

TEST_F(Cli, VersionListsABusyMachineAndNothingToUpdate) {
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(run({"--list"}), 0);
    EXPECT_EQ(out.str(), "Selvane SP5.4 5.04.0002\nsqlserver\tsv01\nsqlserver\tSV02\npervasive\tsvpv\n");
    out.str("");
    machine = {{"acct", "SQL Server"}, {"svlib", "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"},
               {"sv", "ODBC Driver 18 for SQL Server"}, {"sv_a_name_of_thirty_three_chars_x", "SQL Server"},
               {"sv;x", "Pervasive ODBC Client Interface"},
               {"sv_a_name_of_thirty_two_chars_ok", "pervasive odbc engine interface"}};
    EXPECT_EQ(run({"--list", "--all"}), 0);
    EXPECT_EQ(out.str(),
              "-\tacct\tSQL Server\tleft out: the name does not start with \"sv\"\n"
              "-\tsvlib\t/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\tleft out: its driver is given as a library "
              "path; give the driver a section named \"SQL Server\" (or a Pervasive driver name) in odbcinst.ini and "
              "name that section here\n"
              "-\tsv\tODBC Driver 18 for SQL Server\tleft out: the driver \"ODBC Driver 18 for SQL Server\" is "
              "none of \"SQL Server\", \"Pervasive ODBC Engine Interface\", \"Pervasive ODBC Client Interface\"\n"
              "sqlserver\tsv_a_name_of_thirty_three_chars_x\tSQL Server\trefused by a run: the name is longer than "
              "the 32 characters ODBC allows\n"
              "pervasive\tsv;x\tPervasive ODBC Client Interface\trefused by a run: the name holds a character ODBC "
              "does not allow ([]{}(),;?*=!@\\)\n"
              "pervasive\tsv_a_name_of_thirty_two_chars_ok\tpervasive odbc engine interface\tlisted\n");

    // Another run holds the machine's lock: refused before anything is opened (and nothing was before).
    lock.busy = true;
    lock.message = "another run is under way";
    EXPECT_EQ(run({"--run"}), kExitBusy);
    EXPECT_TRUE(db.connects.empty() && log.empty());

    // Nothing the run would visit: a line of its own, a status of its own, no log.
    machine.resize(3);
    err.str("");
    EXPECT_EQ(run({"--run"}), kExitNothingFound);
    EXPECT_TRUE(std::regex_match(err.str(), std::regex("selvane-sp: no data source to update: .*--list --all.*\n")));
    EXPECT_TRUE(log.empty());
}

TEST_F(Cli, ScriptPrintsEveryStatementWithoutConnecting) {
    EXPECT_EQ(run({"--script", "pervasive", "--format", "json"}), 0);
    int records = 0;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line); ++records)
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    EXPECT_EQ(records, 45 + 152 + 12 + 2);  // the statements, 12 progress points, the probe and the migration
    for (const char* record : {"{\"engine\":\"pervasive\",\"phase\":1,\"progress\":5}\n",
                               "{\"engine\":\"pervasive\",\"phase\":1,\"progress\":10,\"conditional\":true}\n",
                               "{\"engine\":\"pervasive\",\"phase\":2,\"progress\":95}\n",
                               "{\"engine\":\"pervasive\",\"phase\":1,\"probe\":\"SELECT * FROM GridColumns WHERE "
                               "(ColumnID = 1)\",\"probe_deletes\":\"DELETE FROM GridColumns WHERE ColumnID = 1\"}\n",
                               "{\"engine\":\"pervasive\",\"phase\":2,\"migration\":{\"read\":"})
        EXPECT_NE(out.str().find(record), std::string::npos) << record;
    out.str("");
    EXPECT_EQ(run({"--script", "sqlserver"}), 0);
    EXPECT_TRUE(db.connects.empty());
    // The readable script holds every statement on a line of its own.
    const std::string text = "\n" + out.str();
    for (const auto& sql : testing::run_statements(Engine::SqlServer, true))
        EXPECT_NE(text.find("\n" + sql + "\n"), std::string::npos) << sql;
    for (const std::string lines : {"\n-- ===== Phase 2 (169 statements) =====\n", "GO\n-- progress 5%\n-- 1.8\n",
                                    "GO\n-- progress 10%\n-- GridColumns probe, a query: SELECT * FROM [GridColumns] "
                                    "WHERE ([ColumnID] = 1);\n-- The block below is sent only when the probe finds no "
                                    "row (ColumnID 1 absent).\n-- BEGIN probe block\n-- 1.18\nINSERT INTO",
                                    "VALUES ('Comments/Instructions',19,1,0,1710);\nGO\n-- END probe block\n-- 1.37\n"})
        EXPECT_NE(text.find(lines), std::string::npos) << lines;
}

// The report of a run as a person and a tool read it, from a report made by hand.
TEST(Report, TextAndJsonNameEveryOutcomeAndFailure) {
    RunReport report;
    report.data_sources = {
        {Engine::Pervasive, "sv\x1bpv", 2, 200, 3, 1, {{2, 9, "-2147217873: a\nb"}, {2, 0, "moved"}}, true,
         CommentMove::Kept, 4, DataSourceOutcome::Done, std::chrono::milliseconds(1260)},
        {Engine::SqlServer, "sv01", 0, 0, 0, 0, {{0, 0, "-2147467259: could not connect"}}, false,
         CommentMove::NotReached, 0, DataSourceOutcome::ConnectFailed, {}}};
    std::ostringstream text;
    print_report_text(report, text);
    EXPECT_EQ(text.str(), "\nReport: 2 data source(s)\n"
                          "\nsv\\x1bpv (Pervasive): done\n  runs: 2 (a timeout in phase two forced a re-run)\n"
                          "  statements sent: 200, passed over silently: 3, timed out in phase two: 1, failed: 2\n"
                          "  item comments: not all moved; legacy comment columns kept, lines copied: 4\n"
                          "  elapsed: 1.3 s\n  - phase 2, statement 9: -2147217873: a b\n  - phase 2: moved\n"
                          "\nsv01 (SQL Server): could not be connected\n  runs: 0\n"
                          "  statements sent: 0, passed over silently: 0, timed out in phase two: 0, failed: 1\n"
                          "  item comments: migration not reached, lines copied: 0\n  elapsed: 0.0 s\n"
                          "  - connection: -2147467259: could not connect\n\nExit status: 3\n");
    const auto json = [&report] {
        std::ostringstream out;
        print_report_json(report, out);
        return nlohmann::json::parse(out.str());
    };
    EXPECT_EQ(json()["data_sources"][1], nlohmann::json::parse(R"({"name":"sv01","engine":"sqlserver",
        "outcome":"connect_failed","runs":0,"statements_sent":0,"passed_silently":0,"timed_out":0,"failed":1,
        "failures":[{"phase":0,"statement":0,"message":"-2147467259: could not connect","sqlstate":null,
        "native_error":0,"number":null,"sql":null}],"timeout_rerun":false,
        "item_comments":"not_reached","comments_copied":0,"elapsed_ms":0})"));
    // Each outcome by its key, and the exit status it gives with a clean data source beside it.
    for (auto& d : report.data_sources) d.failures.clear();
    using O = DataSourceOutcome;
    const struct { O outcome; const char* key; int exit; } outcomes[] = {
        {O::Done, "done", 0}, {O::Refused, "refused", 3}, {O::NotProductDatabase, "not_product_database", 3},
        {O::ConnectionLost, "connection_lost", 3}, {O::TimedOut, "timed_out", 0}, {O::Interrupted, "interrupted", 0},
        {O::Busy, "busy", 5}};
    for (const auto& o : outcomes) {
        report.data_sources[1].outcome = o.outcome;
        EXPECT_EQ(json()["data_sources"][1]["outcome"], o.key);
        EXPECT_EQ(exit_status(report), o.exit) << o.key;
    }
    report.interrupted = true;
    EXPECT_EQ(json()["interrupted"], true);
    EXPECT_EQ(json()["exit_status"], 130);
}

}  // namespace
}  // namespace sp

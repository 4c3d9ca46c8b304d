// SQL Server through the real FreeTDS ODBC driver, against the TDS test server tests/support/tds_server.py: how its
// failures are classified, logins, one whole run with what the server got, a cancel, and the program logging in.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "core/database_lock.h"
#include "core/error_policy.h"
#include "core/run_driver.h"
#include "odbc/odbc_session.h"
#include "tests/support/odbc_sandbox.h"
#include "tests/support/recording_view.h"
#include "tests/support/script_helpers.h"

namespace sp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The test server on 127.0.0.1, started once; it ends with this process, which holds its standard input.
// It answers from a plan (JSON, see tds_server.py) and logs each message it received as a JSON array.
struct TdsServer {
    TdsServer() {
        if (!mkdtemp(dir.data())) throw std::runtime_error("cannot make a temporary directory");
        const std::string command = "exec python3 '" SP_SOURCE_DIR "/tests/support/tds_server.py' " + dir;
        if (!popen(command.c_str(), "we")) throw std::runtime_error("cannot start the TDS test server");
        for (int i = 0; i < 200 && !(std::ifstream(dir + "/port") >> port); ++i)
            std::this_thread::sleep_for(50ms);
        if (port == 0) throw std::runtime_error("the TDS test server did not start (is python3 installed?)");
    }
    ~TdsServer() { std::error_code ignored; fs::remove_all(dir, ignored); }

    // Also forgets what was received.
    void set_plan(const std::string& json) {
        std::ofstream(dir + "/log", std::ios::trunc);
        std::ofstream(dir + "/plan.json", std::ios::trunc) << json;
    }
    // Each message as tds_server.py logs it: ["login", USER, PASSWORD, DATABASE], ["batch", SQL], ...
    std::vector<std::vector<std::string>> received() const {
        std::vector<std::vector<std::string>> out;
        std::ifstream in(dir + "/log");
        for (std::string line; std::getline(in, line);)
            out.push_back(nlohmann::json::parse(line).get<std::vector<std::string>>());
        return out;
    }
    // The statement texts of batches and RPCs, in order.
    std::vector<std::string> statements() const {
        std::vector<std::string> out;
        for (const auto& m : received())
            if (m[0] == "batch" || (m[0] == "rpc" && m[2] != "NULL")) out.push_back(m[m[0] == "batch" ? 1 : 2]);
        return out;
    }

    std::string dir = (fs::temp_directory_path() / "sp-tds.XXXXXX").string();
    int port = 0;
};

TdsServer server;

// Added before the first ODBC call.
const std::string kTds = testing::OdbcSandbox::instance().add(
    {"svtds", {{"Driver", "SQL Server"}, {"Server", "127.0.0.1"}, {"Port", std::to_string(server.port)},
               {"TDS_Version", "7.4"}, {"Database", "sv"}}});

Result<std::unique_ptr<Session>> connect(const std::string& dsn, int query_timeout_s = 5, std::string user = "sa",
                                         std::string password = "secret", int login_timeout_s = 3) {
    return OdbcConnector().connect({.dsn = dsn, .login_timeout_s = login_timeout_s, .query_timeout_s = query_timeout_s,
                                    .user = std::move(user), .password = std::move(password)});
}

// What a statement's failure becomes through FreeTDS: its treatment, the server's number, and whether the connection
// is dead (the session does not go on). One server number of each severity and treatment (the error-policy test
// has them all); a connection closed or reset; a timeout whose cancel the server acknowledges or not.
TEST(FreeTds, StatementFailuresAreClassified) {
    using K = FailureKind;
    const struct { int number, severity; K kind; std::string action = {}; bool dead = false; } cases[] = {
        {208, 16, K::TableMissing}, {3701, 11, K::AlreadyDone}, {156, 15, K::AlreadyDone}, {1205, 13, K::Timeout},
        {9002, 17, K::Reported},    {701, 19, K::Reported},     {596, 21, K::Reported},     {229, 14, K::Reported},
        {0, 0, K::ConnectionLost, R"("action": "close")", true},
        {0, 0, K::ConnectionLost, R"("action": "reset")", true},
        {0, 0, K::Timeout, R"("action": "hang", "ack": true)"},
        {0, 0, K::Timeout, R"("action": "hang", "ack": false)", true},
    };
    for (const auto& c : cases) {
        const std::string rule = c.number ? R"("action": "error", "number": )" + std::to_string(c.number) +
                                                R"(, "severity": )" + std::to_string(c.severity) : c.action;
        SCOPED_TRACE(rule);
        server.set_plan(R"({"rules": [{"match": "probe", "times": 1, )" + rule + "}]}");
        auto session = connect(kTds, 1);
        ASSERT_TRUE(session) << session.error().messages();
        auto r = (*session)->execute("UPDATE probe SET x = 1");
        ASSERT_FALSE(r);
        EXPECT_EQ(classify(r.error(), Engine::SqlServer).kind, c.kind) << r.error().sqlstate() << r.error().messages();
        EXPECT_EQ(r.error().connection_dead, c.dead);
        EXPECT_NE(bool((*session)->execute("SELECT 1")), c.dead);
        EXPECT_TRUE(!c.number || r.error().native_error() == c.number) << r.error().native_error();
    }
}

// Credentials reach the server as given (quoted in the connection string); a closing brace is refused unsent. A server
// that never answers within the login timeout (a refused login: the program test below).
TEST(FreeTds, LoginsAndWhyTheyFail) {
    server.set_plan(R"({"login": {"user": "sel;vane", "password": "p{w;d=x"}})");
    EXPECT_TRUE(connect(kTds, 5, "sel;vane", "p{w;d=x"));
    EXPECT_EQ(server.received().at(0), (std::vector<std::string>{"login", "sel;vane", "p{w;d=x", "sv"}));
    server.set_plan("{}");
    auto brace = connect(kTds, 5, "sa", "pw}d");
    ASSERT_FALSE(brace);
    EXPECT_NE(brace.error().messages().find("FreeTDS"), std::string::npos);
    EXPECT_TRUE(server.received().empty());

    server.set_plan(R"({"login": "silent"})");
    const auto started = std::chrono::steady_clock::now();
    auto failed = connect(kTds, 5, "sa", "secret", 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "the login timeout was not kept";
    ASSERT_FALSE(failed);
    EXPECT_EQ(connect_failure(failed.error()), ConnectFailure::Unreachable) << failed.error().messages();
}

// The probe finds the grid row (a cursor with rows pending, which FreeTDS's one active statement would
// trip over if it were left open); what the probe's other answers send is the fake's run test.
TEST(FreeTds, AWholeRunSendsEveryPhaseTheProbeAndTheMigration) {
    server.set_plan(R"({"login": {"user": "sa", "password": "secret"}, "rules": [
        {"match": "[ColumnID] = 1", "action": "rows", "columns": [["ColumnID", "int"]], "rows": [[1]]},
        {"match": "FROM [Details]", "action": "rows",
         "columns": [["QuoteID", "int"], ["Line", "int"], ["deItemComType", "tinyint"], ["deItemCom", "nvarchar"]],
         "rows": [[7, 1, 2, "Blue, not red"], [7, 2, 0, null]]}]})");
    OdbcConnector connector;
    testing::RecordingView view;
    RunSettings settings;
    settings.user = "sa";
    settings.password = "secret";
    const RunReport report = run_upgrade({{kTds}, {}}, connector, view, settings);
    EXPECT_TRUE(view.messages.empty()) << view.messages.front();
    EXPECT_EQ(report.data_sources.at(0).comments, CommentMove::Moved);

    // The database's application lock is taken first and let go last.
    auto all = server.statements();
    ASSERT_GE(all.size(), 2u);
    EXPECT_NE(all.front().find("sp_getapplock"), std::string::npos) << all.front();
    EXPECT_NE(all.back().find("sp_releaseapplock"), std::string::npos) << all.back();
    // Between them, the statements of the files; the probe and the migration's are looked at below.
    const std::regex not_from_files(R"(INSERT INTO \[CommIns\]|\[ColumnID\] = 1|FROM \[(Details|CommIns)\]|applock)");
    std::erase_if(all, [&](const std::string& s) { return std::regex_search(s, not_from_files); });
    EXPECT_EQ(all, testing::run_statements(Engine::SqlServer, false));

    // FreeTDS allows one active statement: the flagged lines are read on a connection of their own,
    // opened with the run's login right before. Then the migration inserts them with SQL Server's types
    // as one array: FreeTDS says how it reports on arrays (SQL_PARC_BATCH) and sends one RPC per line.
    std::vector<std::string> migration;
    for (const auto& m : server.received()) {
        if (m[0] == "login" || (m[0] == "batch" && m[1].rfind("SELECT [QuoteID]", 0) == 0 &&
                                m[1].find("FROM [Details]") != std::string::npos))
            migration.push_back(m[0] == "login" ? m[1] + "/" + m[2] : "read");
        if (m[0] != "rpc" || m[2].find("INSERT INTO [CommIns]") == std::string::npos) continue;
        std::string line = m[1];
        for (size_t i = 3; i < m.size(); ++i) line += "|" + m[i];
        migration.push_back(line);
    }
    EXPECT_EQ(migration, (std::vector<std::string>{"sa/secret", "sa/secret", "read",
                                                   "sp_prepare|@P1 INT,@P2 INT,@P3 TINYINT,@P4 INT,@P5 VARCHAR(80)",
                                                   "sp_execute|NULL|int=7|int=1|tinyint=3|int=1|varchar=Blue, not red",
                                                   "sp_execute|NULL|int=7|int=2|tinyint=1|int=1|varchar="}));
}

// The migration's reads on their own connection (above) are cancelled with the session's statements.
TEST(FreeTds, ACancelAlsoReachesTheSecondConnectionThatReads) {
    server.set_plan(R"({"rules": [{"match": "FROM [Details]", "action": "hang", "ack": true}]})");
    auto session = connect(kTds, 30);
    ASSERT_TRUE(session) << session.error().messages();
    auto reader = (*session)->open_reader();
    ASSERT_TRUE(reader) << reader.error().messages();
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        (*session)->cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE((*reader)->query("SELECT [QuoteID] FROM [Details]"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "not cancelled";
    canceller.join();
}

// Runs `selvane-sp --run --dsn svtds --user sa` with this process's ODBC configuration and the password in its
// environment; returns its exit status and standard error.
std::pair<int, std::string> run_program(const std::string& password) {
    FILE* program = popen(("SELVANE_SP_LOCK_FILE=/tmp/sp-tds-test-$PPID.lock SELVANE_SP_PASSWORD='" + password +
                           "' " SP_BINARY " --run --dsn " + kTds + " --user sa 2>&1 >/dev/null").c_str(), "r");
    std::string err;
    for (int c; (c = fgetc(program)) != EOF;) err += static_cast<char>(c);
    const int status = pclose(program);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(FreeTds, TheCommandLineLogsInWithUserAndPasswordAndSaysWhyItCouldNotUpdate) {
    // Another session holds the database's application lock (a run elsewhere): the program logs in with the run's
    // user and password, then the data source is refused with one message and nothing sent but the lock request.
    server.set_plan(R"({"login": {"user": "sa", "password": "s3cret;x"}})");
    auto holder = connect(kTds, 5, "sa", "s3cret;x");
    ASSERT_TRUE(holder) << holder.error().messages();
    ASSERT_EQ(lock_database(**holder, Engine::SqlServer), DatabaseLock::Held);
    EXPECT_EQ(run_program("s3cret;x"), std::pair(5, kTds + ": " + database_busy_message(kTds) + "\n"));
    EXPECT_EQ(server.statements().size(), 2u) << server.statements().back();

    // The wrong password: one message that points at the login, exit 3.
    server.set_plan(R"({"login": {"user": "sa", "password": "right"}})");
    auto [status, err] = run_program("wrong");
    EXPECT_EQ(status, 3) << err;
    EXPECT_NE(err.find("check the user name and password"), std::string::npos) << err;
    EXPECT_EQ(err.find("wrong"), std::string::npos) << err;  // the password is never shown
}

}  // namespace
}  // namespace sp

// The program itself, run from the command line as an administrator's script
// would run it, against the real unixODBC driver manager and a real
// PostgreSQL server. Its odbcinst.ini names psqlODBC "Pervasive ODBC Engine
// Interface" and "SQL Server", so that discovery lists PostgreSQL databases
// as the product's data sources; PostgreSQL then answers the Pervasive
// wording of the upgrade (with domains standing in for TINYINT and CURRENCY).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "core/run_driver.h"
#include "odbc/odbc_session.h"
#include "tests/support/recording_view.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::OdbcSandbox;
namespace fs = std::filesystem;

// Databases of this process's server, made afresh per test through these data sources.
const std::string kClean = OdbcSandbox::instance().add_postgres("clean");
const std::string kFailing = OdbcSandbox::instance().add_postgres("failing");
const std::string kSlow = OdbcSandbox::instance().add_postgres("slow");
const std::string kKilled = OdbcSandbox::instance().add_postgres("killed");
const std::string kBig = OdbcSandbox::instance().add_postgres("big");
const std::string kChecked = OdbcSandbox::instance().add_postgres("checked");
const std::string kForeign = OdbcSandbox::instance().add_postgres("foreign");

const std::string kDetails = "(1, 1, 1, 0, 'first comment', 0, 0, 'c', 1), (1, 2, 0, 1, 'not flagged', 3, 0, 'c', 1), "
                             "(2, 1, 1, 2, NULL, 0, 0, 'c', 1)";

struct Outcome {
    int status = -1;
    std::string out, err;
    std::chrono::milliseconds took{0};
};

std::string read_file(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class UnattendedRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sp-cli-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string driver = testing::odbc_driver_library("psqlodbcw.so");
        std::ofstream(dir_ / "odbcinst.ini") << "[Pervasive ODBC Engine Interface]\nDriver=" << driver
                                             << "\n\n[SQL Server]\nDriver=" << driver << "\n";
        std::ofstream(dir_ / "user.ini");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A data source of the program's configuration on a database of this process's server.
    void add_data_source(const std::string& name, const std::string& driver, const std::string& sandbox_dsn) {
        const auto login = testing::PostgresLogin::from_environment();
        odbc_ini_ << "[" << name << "]\nDriver=" << driver << "\nServername=" << login.host
                  << "\nPort=" << login.port << "\nDatabase=" << OdbcSandbox::instance().postgres_database(sandbox_dsn)
                  << "\nUsername=" << login.user << "\nPassword=" << login.password << "\n\n";
    }
    void add_unreachable(const std::string& name) {
        odbc_ini_ << "[" << name << "]\nDriver=SQL Server\nServername=127.0.0.1\nPort=" << testing::closed_local_port()
                  << "\nDatabase=x\nUsername=x\nPassword=x\n\n";
    }

    std::unique_ptr<Session> database(const std::string& sandbox_dsn, bool legacy_schema) {
        EXPECT_TRUE(OdbcSandbox::instance().prepare_postgres(sandbox_dsn));
        OdbcConnector connector;
        auto session = connector.connect({sandbox_dsn, 10, 30});
        EXPECT_TRUE(session) << (session ? "" : session.error().messages());
        if (!session) return nullptr;
        if (legacy_schema)
            for (const std::string& sql : testing::legacy_schema(true, kDetails)) {
                auto r = (*session)->execute(sql);
                EXPECT_TRUE(r) << sql << ": " << (r ? "" : r.error().messages());
            }
        return std::move(*session);
    }

    // Runs the program with this test's ODBC configuration, log folder and
    // lock. With interrupt_when, sends the signal (0: none) as soon as it
    // answers true, then calls after_interrupt.
    Outcome run(const std::vector<std::string>& args, std::function<bool()> interrupt_when = nullptr,
                std::function<void()> after_interrupt = nullptr, int signal = SIGINT) {
        std::ofstream(dir_ / "odbc.ini") << odbc_ini_.str();
        const std::string serial = std::to_string(++runs_);
        const fs::path out = dir_ / ("out" + serial + ".txt"), err = dir_ / ("err" + serial + ".txt");
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("ODBCSYSINI", dir_.c_str(), 1);
            setenv("ODBCINSTINI", "odbcinst.ini", 1);
            setenv("ODBCINI", (dir_ / "user.ini").c_str(), 1);
            setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
            setenv("SELVANE_SP_LOCK_FILE", (dir_ / "lock").c_str(), 1);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            std::vector<char*> argv{const_cast<char*>(binary_)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(binary_, argv.data());
            _exit(127);
        }
        Outcome o;
        int wstatus = 0;
        std::chrono::steady_clock::time_point interrupted;
        for (;;) {
            if (waitpid(pid, &wstatus, WNOHANG) == pid) break;
            if (interrupt_when && interrupt_when()) {
                interrupted = std::chrono::steady_clock::now();
                if (signal) kill(pid, signal);
                if (after_interrupt) after_interrupt();
                interrupt_when = nullptr;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto from = interrupted.time_since_epoch().count() ? interrupted : started;
        o.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - from);
        o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        o.out = read_file(out);
        o.err = read_file(err);
        return o;
    }

    static std::string scalar(Session& s, const std::string& sql) {
        auto cursor = s.query(sql);
        if (!cursor) return "error: " + cursor.error().messages();
        auto row = (*cursor)->fetch();
        if (!row || !row->has_value() || (**row).empty() || !(**row)[0]) return "none";
        return *(**row)[0];
    }

    fs::path dir_;
    std::ostringstream odbc_ini_;
    const char* binary_ = SP_BINARY;
    int runs_ = 0;
};

TEST_F(UnattendedRun, ListShowsTheProductsDataSourcesAndRunReportsEachOne) {
    SP_REQUIRE_POSTGRES(kClean);
    auto clean = database(kClean, true);
    auto failing = database(kFailing, true);
    ASSERT_TRUE(clean && failing);
    // Copying quDiscount into quCommNote (statement 9 of phase two) fails on this one.
    ASSERT_TRUE(failing->execute("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                 "$$BEGIN RAISE EXCEPTION 'quotes are read-only'; END$$"));
    ASSERT_TRUE(failing->execute("CREATE TRIGGER readonly BEFORE UPDATE ON Quote FOR EACH ROW EXECUTE FUNCTION refuse()"));

    add_data_source("svclean", "Pervasive ODBC Engine Interface", kClean);
    add_unreachable("svdown");
    add_data_source("acct", "Pervasive ODBC Engine Interface", kClean);  // not the product's prefix
    add_data_source("svnodriver", "Pervasive ODBC Client Interface", kFailing);  // listed; its driver is not installed
    add_data_source("SVfail2", "pervasive odbc engine interface", kFailing);

    Outcome list = run({"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "sqlserver\tsvdown\npervasive\tsvclean\npervasive\tsvnodriver\npervasive\tSVfail2\n");

    Outcome o = run({"--run", "--report", "json", "--login-timeout", "5"});
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_TRUE(nlohmann::json::accept(o.out)) << o.out;
    // sv clean: phase one without the grid rows (no GridColumns on this engine: its IDENTITY
    // is not PostgreSQL's) and all of phase two: 45 - 26 + 152.
    EXPECT_NE(o.out.find("{\"name\":\"svclean\",\"engine\":\"pervasive\",\"outcome\":\"done\",\"runs\":1,"
                         "\"statements_sent\":171,"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("\"failed\":0,\"failures\":[],\"timeout_rerun\":false,\"item_comments\":\"moved\""),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("{\"name\":\"svdown\",\"engine\":\"sqlserver\",\"outcome\":\"connect_failed\",\"runs\":0,"
                         "\"statements_sent\":0,"),
              std::string::npos);
    // The failing copy is reported, and the drop of quDiscount (statement 10) is held back.
    EXPECT_NE(o.out.find("{\"name\":\"SVfail2\",\"engine\":\"pervasive\",\"outcome\":\"done\",\"runs\":1,"
                         "\"statements_sent\":170,"),
              std::string::npos);
    EXPECT_NE(o.out.find("\"failed\":1,\"failures\":[{\"phase\":2,\"statement\":9,\"message\":"), std::string::npos);
    EXPECT_NE(o.out.find("quotes are read-only"), std::string::npos);
    // One line on the error stream for each message, after its data source and
    // statement (with a JSON report the status lines go there too): two data
    // sources that cannot be connected, one failure.
    int lines = 0;
    std::istringstream err(o.err);
    for (std::string line; std::getline(err, line);)
        lines += std::regex_search(line, std::regex("^[A-Za-z0-9]+( [0-9]\\.[0-9]+)?: -?[0-9]+: "));
    EXPECT_NE(o.err.find("\nSVfail2 2.9: 1: ERROR: quotes are read-only"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("quotes are read-only"), std::string::npos);
    EXPECT_NE(o.err.find("svdown could not be connected"), std::string::npos);
    EXPECT_NE(o.err.find("svnodriver could not be connected"), std::string::npos);
    EXPECT_EQ(lines, 3) << o.err;
    // The run's log, in the state folder, holds each failure in its context.
    const auto at = o.out.find("\"log\":\"");
    ASSERT_NE(at, std::string::npos) << o.out;
    const fs::path log_path = o.out.substr(at + 7, o.out.find('"', at + 7) - at - 7);
    EXPECT_EQ(log_path.parent_path(), dir_ / "state" / "selvane-sp");
    const std::string log = read_file(log_path);
    EXPECT_NE(log.find("\nsvdown (SQL Server): could not be connected; runs 0, statements sent 0, failed 1\n"
                       "  failure at connection: SQLSTATE 08001"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nSVfail2 (Pervasive): done; runs 1, statements sent 170, failed 1\n"
                       "  failure at phase 2, statement 9: SQLSTATE P0001, native error "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("quotes are read-only; Error while executing the query\n"
                       "    statement: UPDATE Quote SET quCommNote = quDiscount\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nExit status: 3\n"), std::string::npos);
    EXPECT_EQ(log.find(testing::PostgresLogin::from_environment().password), std::string::npos);
    EXPECT_NE(o.out.find("{\"name\":\"svnodriver\",\"engine\":\"pervasive\",\"outcome\":\"connect_failed\""),
              std::string::npos);

    // What the databases now hold.
    EXPECT_EQ(scalar(*clean, "SELECT string_agg(QuoteID || ':' || quCommNote, ',' ORDER BY QuoteID) FROM Quote"), "1:5,2:7");
    EXPECT_EQ(scalar(*clean, "SELECT string_agg(QuoteID || '/' || Line || '/' || CoInType || '/' || Number || '/' || "
                             "CommIns, ',' ORDER BY QuoteID, Line) FROM CommIns"),
              "1/1/1/1/first comment,2/1/3/1/");
    EXPECT_EQ(scalar(*clean, "SELECT count(*) FROM information_schema.columns WHERE table_name = 'details' "
                             "AND column_name IN ('deitemcom', 'deitemcomtype')"),
              "0");
    EXPECT_EQ(scalar(*clean, "SELECT anUseQuoteNum FROM Defaults WHERE DefaultID = 1"), "1");
    EXPECT_EQ(scalar(*failing, "SELECT count(*) FROM information_schema.columns WHERE table_name = 'quote' "
                               "AND column_name = 'qudiscount'"),
              "1");

    // A second run finds everything done and says nothing.
    Outcome again = run({"--run", "--dsn", "svclean"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_NE(again.out.find("item comments: all moved"), std::string::npos);
    EXPECT_EQ(again.out.find('\r'), std::string::npos) << "progress rewritten in place in a file";
    EXPECT_EQ(scalar(*clean, "SELECT count(*) FROM CommIns"), "2");
}

// A run whose phase two waits on a lock: a second run meanwhile is refused at
// once, and the first goes on; SIGTERM and SIGINT cancel the statement in flight.
TEST_F(UnattendedRun, OneRunAtATimeAndASignalCancelsTheStatementInFlight) {
    SP_REQUIRE_POSTGRES(kSlow);
    auto db = database(kSlow, true);
    ASSERT_TRUE(db);
    OdbcConnector connector;
    auto locker = connector.connect({kSlow, 10, 30});
    ASSERT_TRUE(locker);
    add_data_source("svslow", "Pervasive ODBC Engine Interface", kSlow);
    const std::string waiting = "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = '" +
                                OdbcSandbox::instance().postgres_database(kSlow) + "'";
    // Phase two's first statement alters Quote; it waits behind this lock.
    auto lock_quote = [&] {
        ASSERT_TRUE((*locker)->execute("BEGIN"));
        ASSERT_TRUE((*locker)->execute("LOCK TABLE Quote IN ACCESS EXCLUSIVE MODE"));
    };
    auto blocked = [&, deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60)] {
        return std::chrono::steady_clock::now() > deadline || scalar(*db, waiting) == "1";
    };

    lock_quote();
    Outcome second;
    Outcome first = run({"--run"}, [&] {
        if (!blocked()) return false;
        second = run({"--run"});
        (void)(*locker)->execute("ROLLBACK");  // the first goes on
        return true;
    }, nullptr, 0 /* no signal */);
    EXPECT_EQ(second.status, 5);
    EXPECT_EQ(second.err, "selvane-sp: another run of the service pack is under way on this machine; try again "
                          "when it has ended\n");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");

    for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        SCOPED_TRACE(signal);
        lock_quote();
        Outcome o = run({"--run", "--command-timeout", "0"}, blocked, nullptr, signal);
        EXPECT_EQ(o.status, status) << o.out << o.err;
        RecordProperty("signal_to_exit_ms", static_cast<int>(o.took.count()));
        EXPECT_LT(o.took.count(), 1000) << "from the signal to exit";
        EXPECT_NE(o.out.find("svslow (Pervasive): interrupted"), std::string::npos) << o.out;
        EXPECT_NE(o.out.find("run interrupted"), std::string::npos);
        EXPECT_EQ(o.err.find("-2147"), std::string::npos) << "the cancelled statement is no failure: " << o.err;
        // Nothing waits on the lock any more: the statement was cancelled, not left running.
        EXPECT_EQ(scalar(*db, waiting), "0");
        (void)(*locker)->execute("ROLLBACK");
    }
}

// A server that takes the connection and never says a word: a TCP listener on 127.0.0.1.
class SilentServer {
public:
    SilentServer() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 8) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
        fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~SilentServer() {
        for (int fd : accepted_) close(fd);
        close(fd_);
    }
    int port() const { return port_; }
    // True once a client has connected; its connection is held open, unanswered.
    bool client_waiting() {
        if (const int fd = accept(fd_, nullptr, nullptr); fd >= 0) accepted_.push_back(fd);
        return !accepted_.empty();
    }

private:
    int fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
    std::vector<int> accepted_;
};

TEST_F(UnattendedRun, WithoutArgumentsOrADisplayItSaysHowToUpdateWithoutTheWindow) {
    const std::string platform = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    Outcome o = run({});
    binary_ = SP_WINDOW_BINARY;
    Outcome window = run({});
    // With a display but no window program beside it.
    const fs::path alone = dir_ / "selvane-sp";
    fs::copy_file(SP_BINARY, alone);
    binary_ = alone.c_str();
    setenv("DISPLAY", ":99", 1);
    Outcome missing = run({});
    unsetenv("DISPLAY");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot start the window (" + (dir_ / "selvane-sp-window").string()), std::string::npos)
        << missing.err;
    if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("no display to open the window on; 'selvane-sp --run' updates without one"), std::string::npos)
        << o.err;
    EXPECT_EQ(window.status, 2);
    EXPECT_NE(window.err.find("display"), std::string::npos) << window.err;
}

TEST_F(UnattendedRun, AnInterruptWhileConnectingLetsTheLoginGoAndReports) {
    SilentServer server;
    ASSERT_NE(server.port(), 0);
    odbc_ini_ << "[svsilent]\nDriver=SQL Server\nServername=127.0.0.1\nPort=" << server.port()
              << "\nDatabase=x\nUsername=x\nPassword=x\n\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    Outcome o = run({"--run", "--login-timeout", "120"},
                    [&] { return server.client_waiting() || std::chrono::steady_clock::now() > deadline; });
    ASSERT_TRUE(server.client_waiting()) << "the program never connected";
    EXPECT_EQ(o.status, 130) << o.out << o.err;
    RecordProperty("sigint_to_exit_while_connecting_ms", static_cast<int>(o.took.count()));
    EXPECT_LT(o.took.count(), 1000) << "from SIGINT to exit";
    EXPECT_NE(o.out.find("svsilent (SQL Server): interrupted"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("Exit status: 130"), std::string::npos);
    EXPECT_EQ(o.err.find("could not be connected"), std::string::npos) << o.err;
}

// The item-comment migration interrupted half-way: what it copied stays and is counted, nothing is
// inserted after the signal beyond the line in flight, and the legacy comment columns are kept.
TEST_F(UnattendedRun, AnInterruptInTheMigrationStopsAfterTheLineInFlight) {
    SP_REQUIRE_POSTGRES(kBig);
    auto db = database(kBig, true);
    ASSERT_TRUE(db);
    constexpr int kLines = 100000;
    ASSERT_TRUE(db->execute("INSERT INTO Details SELECT q, 1, 1, 0, 'comment ' || q, 0, 0, 'c', 1 "
                            "FROM generate_series(3, " + std::to_string(kLines + 2) + ") q"));
    // CommIns as phase one makes it, with a stamp of the server's clock on every row.
    ASSERT_TRUE(db->execute("CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType tinyint "
                            "DEFAULT '0' NOT NULL, Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, DateEnter "
                            "DATE, UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20), Stamp timestamptz "
                            "DEFAULT clock_timestamp(), PRIMARY KEY (QuoteID, Line, CoInType, Number))"));
    add_data_source("svbig", "Pervasive ODBC Engine Interface", kBig);

    std::string signalled;  // the server's clock just after SIGINT was sent
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    Outcome o = run({"--run"}, [&] {
        return std::chrono::steady_clock::now() > deadline || std::stoi(scalar(*db, "SELECT count(*) FROM CommIns")) >= 2000;
    }, [&] { signalled = scalar(*db, "SELECT clock_timestamp()"); });
    EXPECT_EQ(o.status, 130) << o.out << o.err;
    const int copied = std::stoi(scalar(*db, "SELECT count(*) FROM CommIns"));
    const int after = std::stoi(scalar(*db, "SELECT count(*) FROM CommIns WHERE Stamp > '" + signalled + "'"));
    RecordProperty("sigint_to_exit_in_migration_ms", static_cast<int>(o.took.count()));
    RecordProperty("rows_inserted_after_sigint", after);
    EXPECT_LT(o.took.count(), 1000) << "from SIGINT to exit";
    // On psqlODBC the lines go in arrays of 500, each one round trip: the one in flight may still be committed.
    EXPECT_LE(after, 500) << "rows inserted after the signal";
    EXPECT_LT(copied, kLines);
    EXPECT_NE(o.out.find("item comments: not all moved; legacy comment columns kept, lines copied: " +
                         std::to_string(copied) + "\n"),
              std::string::npos)
        << o.out;
    EXPECT_EQ(scalar(*db, "SELECT count(*) FROM information_schema.columns WHERE table_name = 'details' "
                          "AND column_name IN ('deitemcom', 'deitemcomtype')"),
              "2");
}

TEST_F(UnattendedRun, CheckChangesNothingAndARunRefusesAForeignDatabase) {
    SP_REQUIRE_POSTGRES(kChecked);
    auto db = database(kChecked, true);
    auto foreign = database(kForeign, false);
    ASSERT_TRUE(db && foreign);
    ASSERT_TRUE(db->execute("CREATE DOMAIN identity AS integer"));  // Pervasive's IDENTITY, so the run makes every table
    ASSERT_TRUE(foreign->execute("CREATE TABLE ledger (id int)"));
    add_data_source("svother", "SQL Server", kForeign);
    add_unreachable("svdown");
    add_data_source("svquotes", "Pervasive ODBC Engine Interface", kChecked);

    // Objects, rows and the server's counts of written rows; the counts of this session are sent first.
    auto state = [&] {
        (void)db->execute("SELECT pg_stat_force_next_flush()");
        return scalar(*db, "SELECT (SELECT count(*) FROM pg_class) || '/' || (SELECT count(*) FROM pg_type) || '/' || "
                           "(SELECT sum(n_tup_ins + n_tup_upd + n_tup_del) FROM pg_stat_user_tables) || '/' || "
                           "(SELECT md5(string_agg(d::text, ',' ORDER BY d::text)) FROM Details d)");
    };
    const std::string database_name = OdbcSandbox::instance().postgres_database(kChecked);
    auto others_gone = [&] {  // a backend sends its counts before it leaves pg_stat_activity
        for (int i = 0; i < 250; ++i) {
            if (scalar(*db, "SELECT count(*) FROM pg_stat_activity WHERE datname = '" + database_name +
                                "' AND pid <> pg_backend_pid()") == "0")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    };
    const std::string before = state();

    Outcome o = run({"--check", "--report", "json", "--login-timeout", "5"});
    EXPECT_EQ(o.status, 3) << o.err;
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(o.out)) << o.out;
    std::map<std::string, nlohmann::json> by_name;
    for (const auto& d : report["data_sources"]) by_name[d["name"]] = d;
    ASSERT_EQ(by_name.size(), 3u) << o.out;
    EXPECT_EQ(by_name["svother"]["verdict"], "not_product_database");
    EXPECT_EQ(by_name["svother"]["dbms_name"], "PostgreSQL");
    EXPECT_EQ(by_name["svother"]["engine_matches"], false);
    EXPECT_EQ(by_name["svdown"]["verdict"], "cannot_connect");
    const auto& quotes = by_name["svquotes"];
    EXPECT_EQ(quotes["verdict"], "needs_update");
    EXPECT_EQ(quotes["missing_tables"].size(), 19u);
    EXPECT_EQ(quotes["columns_to_drop"].size(), 6u);
    EXPECT_EQ(quotes["item_comments"]["to_move"], 2);
    EXPECT_EQ(quotes["item_comments"]["cannot_move"].size(), 0u);

    Outcome text = run({"--check", "--dsn", "svquotes"});
    EXPECT_EQ(text.status, 1) << text.err;
    EXPECT_NE(text.out.find("svquotes     Pervasive  PostgreSQL"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("needs the update: 19 tables to create, 106 columns to add, 6 columns to drop, "
                            "2 comments to move\n"),
              std::string::npos)
        << text.out;
    ASSERT_TRUE(others_gone());
    EXPECT_EQ(state(), before) << "a check changed the database";

    // A run refuses the foreign one with one message and updates the product's.
    Outcome r = run({"--run", "--report", "json", "--login-timeout", "5"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("{\"name\":\"svother\",\"engine\":\"sqlserver\",\"outcome\":\"not_product_database\","
                         "\"runs\":0,\"statements_sent\":0,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("svother was not updated: it is not a Selvane database. Its driver reports PostgreSQL"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(scalar(*foreign, "SELECT string_agg(table_name, ',') FROM information_schema.tables "
                               "WHERE table_schema = 'public'"),
              "ledger");
    Outcome after = run({"--check", "--dsn", "svquotes"});
    EXPECT_EQ(after.status, 0) << after.out;
    EXPECT_NE(after.out.find("up to date"), std::string::npos);
}

// In process: the run driver over the real ODBC layer, its connection killed
// by the server in the middle of phase two.
TEST_F(UnattendedRun, AConnectionKilledInAPhaseShowsOneMessageAndAbandonsTheDataSource) {
    SP_REQUIRE_POSTGRES(kKilled);
    auto admin = database(kKilled, true);
    ASSERT_TRUE(admin);
    const std::string database_name = OdbcSandbox::instance().postgres_database(kKilled);

    struct KillingView : testing::RecordingView {
        Session* admin;
        std::string database;
        bool killed = false;
        void set_progress(int value) override {
            RecordingView::set_progress(value);
            if (value == 70 && !std::exchange(killed, true))
                (void)admin->execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                                     database + "' AND pid <> pg_backend_pid()");
        }
    } view;
    view.admin = admin.get();
    view.database = database_name;

    OdbcConnector connector;
    // The same data source twice: the second visit connects afresh and finishes.
    const RunReport report = run_upgrade(DataSourceLists{{}, {kKilled, kKilled}}, connector, view);
    ASSERT_EQ(report.data_sources.size(), 2u);
    EXPECT_EQ(report.data_sources[0].outcome, DataSourceOutcome::ConnectionLost);
    ASSERT_EQ(view.messages().size(), 1u) << view.messages().back();
    EXPECT_NE(view.messages()[0].find("terminating connection"), std::string::npos) << view.messages()[0];
    EXPECT_NE(view.messages()[0].find("was lost"), std::string::npos);
    // Progress 70 comes after 19 statements of phase one (no grid rows here) and 25 of phase
    // two; the 45th met the broken connection and nothing was sent after it.
    EXPECT_EQ(report.data_sources[0].statements_sent, 45);
    EXPECT_EQ(report.data_sources[1].outcome, DataSourceOutcome::Done);
    EXPECT_TRUE(report.data_sources[1].failures.empty());
    EXPECT_EQ(view.labels().back(), "status:Updating complete.");
}

}  // namespace
}  // namespace sp

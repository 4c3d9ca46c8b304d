// The program run as an administrator's script would run it, against the real unixODBC driver manager and a
// real PostgreSQL server: its odbcinst.ini names psqlODBC "Pervasive ODBC Engine Interface" and "SQL Server", and
// PostgreSQL answers the Pervasive wording (with domains standing in for TINYINT and CURRENCY).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#include <csignal>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "odbc/odbc_session.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::OdbcSandbox;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Databases of this process's server, made afresh per test through these data sources.
const std::string kClean = OdbcSandbox::instance().add_postgres("clean");
const std::string kFailing = OdbcSandbox::instance().add_postgres("failing");
const std::string kSlow = OdbcSandbox::instance().add_postgres("slow");
const std::string kBig = OdbcSandbox::instance().add_postgres("big");
const std::string kForeign = OdbcSandbox::instance().add_postgres("foreign");

std::string read_file(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

#ifdef _WIN32
#ifndef SIGKILL
#define SIGKILL 9
#endif
// The operating system's part, all here. Windows: the program gets a console of its own, where Ctrl-C is pressed
// (AttachConsole, GenerateConsoleCtrlEvent); SIGKILL ends it as TerminateProcess does.
struct Child {
    PROCESS_INFORMATION process{};
    static constexpr std::pair<int, int> kStops[] = {{SIGINT, 130}};  // closing a console cannot be sent

    static void set_variable(const char* name, const fs::path& value) {
        _wputenv_s(fs::path(name).c_str(), value.c_str());
    }
    static Child start(const char* binary, const std::vector<std::string>& args, const fs::path& out,
                       const fs::path& err) {
        Child c;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        auto open = [&](const fs::path& p, DWORD access, DWORD how) {
            return CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, how, 0, nullptr);
        };
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = open("NUL", GENERIC_READ, OPEN_EXISTING);
        startup.hStdOutput = open(out, GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = open(err, GENERIC_WRITE, CREATE_ALWAYS);
        std::wstring command = L"\"" + fs::path(binary).wstring() + L"\"";
        for (const auto& a : args) command += L" \"" + fs::path(a).wstring() + L"\"";
        const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE,
                                            nullptr, nullptr, &startup, &c.process);
        for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) CloseHandle(h);
        EXPECT_TRUE(started) << "CreateProcessW: error " << GetLastError();
        return c;
    }
    std::optional<int> exit_status() const {
        DWORD code = 127;  // when it did not start
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) return std::nullopt;
        GetExitCodeProcess(process.hProcess, &code);
        return static_cast<int>(code);
    }
    void interrupt(int signal) const {
        if (signal == SIGKILL) TerminateProcess(process.hProcess, 128 + SIGKILL);
        if (signal != SIGINT) return;
        FreeConsole();
        AttachConsole(process.dwProcessId);
        SetConsoleCtrlHandler(nullptr, TRUE);  // not for this process
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        FreeConsole();
    }
};
#else
// The operating system's part, all here: sets a variable for the programs to come; starts the program with its output
// and errors in files; answers its exit status once it has ended; sends it a signal.
struct Child {
    pid_t pid;
    static void set_variable(const char* name, const fs::path& value) { setenv(name, value.c_str(), 1); }
    static Child start(const char* binary, const std::vector<std::string>& args, const fs::path& out,
                       const fs::path& err) {
        const pid_t pid = fork();
        if (pid != 0) return {pid};
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv{const_cast<char*>(binary)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary, argv.data());
        _exit(127);
    }
    std::optional<int> exit_status() const {
        int s = 0;
        if (waitpid(pid, &s, WNOHANG) != pid) return std::nullopt;
        return WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
    }
    void interrupt(int signal) const { kill(pid, signal); }
    static constexpr std::pair<int, int> kStops[] = {{SIGTERM, 143}, {SIGINT, 130}};  // signal, exit status
};
#endif

struct Outcome {
    int status = -1;
    std::string out, err;
    std::chrono::milliseconds took{0};  // from the signal (or the start) to the exit
};

class UnattendedRun : public ::testing::Test {
protected:
    // The program's log folder and lock are this test's own.
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        for (const char* folder : {"XDG_STATE_HOME", "LOCALAPPDATA"}) Child::set_variable(folder, dir_ / "state");
        Child::set_variable("SELVANE_SP_LOCK_FILE", dir_ / "lock");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A data source of the program's configuration on a database of this process's server, or on another port.
    void add_data_source(const std::string& name, const std::string& driver, const std::string& sandbox_dsn,
                         int port = 0) {
        const auto login = testing::PostgresLogin::from_environment();
        data_sources_.push_back({name, {{"Driver", driver}, {"Servername", login.host},
                                        {"Port", port ? std::to_string(port) : login.port},
                                        {"Database", OdbcSandbox::instance().postgres_database(sandbox_dsn)},
                                        {"Username", login.user}, {"Password", login.password}}});
    }

    // A database of the previous version.
    std::unique_ptr<Session> database(const std::string& sandbox_dsn) {
        EXPECT_TRUE(OdbcSandbox::instance().prepare_postgres(sandbox_dsn));
        auto session = OdbcConnector().connect({sandbox_dsn, 10, 30});
        EXPECT_TRUE(session) << (session ? "" : session.error().messages());
        if (!session) return nullptr;
        testing::run(**session, testing::legacy_schema(true, "(1, 1, 1, 0, 'first comment', 0, 0, 'c', 1), "
                                                             "(1, 2, 0, 1, 'not flagged', 3, 0, 'c', 1), "
                                                             "(2, 1, 1, 2, NULL, 0, 0, 'c', 1)"));
        return std::move(*session);
    }

    // Runs the program with this test's data sources and drivers, which the driver manager's files hold until it has
    // ended. Once interrupt_when answers true, sends the signal (0: none).
    Outcome run(const std::vector<std::string>& args, std::function<bool()> interrupt_when = nullptr,
                int signal = SIGINT) {
        const std::string driver = testing::odbc_driver_library("psqlodbcw.so");
        const std::string serial = std::to_string(++runs_);
        const fs::path out = dir_ / ("out" + serial), err = dir_ / ("err" + serial);
        auto from = Clock::now();
        std::optional<int> status;
        OdbcSandbox::run_isolated({}, data_sources_, [&] {
            const Child child = Child::start(binary_, args, out, err);
            while (!(status = child.exit_status())) {
                if (interrupt_when && interrupt_when()) {
                    from = Clock::now();
                    if (signal) child.interrupt(signal);
                    interrupt_when = nullptr;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }, {{"Pervasive ODBC Engine Interface", {{"Driver", driver}}}, {"SQL Server", {{"Driver", driver}}}});
        return {*status, read_file(out), read_file(err),
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from)};
    }

    // The first value of a query's first row; "" for none, or when the query fails.
    static std::string scalar(Session& s, const std::string& sql) {
        auto cursor = s.query(sql);
        auto row = cursor ? (*cursor)->fetch() : cursor.error();
        return row && *row && !(**row).empty() && (**row)[0] ? *(**row)[0] : "";
    }

    fs::path dir_ = fs::temp_directory_path() / ("sp-cli-" + std::to_string(getpid()));  // a process per test
    std::vector<testing::DsnEntry> data_sources_;
    const char* binary_ = SP_BINARY;
    int runs_ = 0;
};

// A check first changes nothing; then a run reports each data source, and a second finds everything done.
TEST_F(UnattendedRun, ACheckChangesNothingARunReportsEachDataSourceAndASecondFindsItDone) {
    SP_REQUIRE_POSTGRES(kClean);
    auto db = database(kClean);
    auto failing = database(kFailing);
    ASSERT_TRUE(db && failing && OdbcSandbox::instance().prepare_postgres(kForeign));
    // Copying quDiscount into quCommNote (statement 9 of phase two) fails on this one.
    ASSERT_TRUE(failing->execute("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                 "$$BEGIN RAISE EXCEPTION 'quotes are read-only: modification refusée'; END$$"));
    ASSERT_TRUE(failing->execute("CREATE TRIGGER readonly BEFORE UPDATE ON Quote FOR EACH ROW "
                                 "EXECUTE FUNCTION refuse()"));

    add_data_source("svclean", "Pervasive ODBC Engine Interface", kClean);
    add_data_source("svother", "SQL Server", kForeign);
    add_data_source("svdown", "SQL Server", kClean, testing::closed_local_port());
    add_data_source("svnodriver", "Pervasive ODBC Client Interface", kFailing);  // listed; its driver is not installed
    add_data_source("SVfäil2", "pervasive odbc engine interface", kFailing);

    // Objects, rows and the server's counts of written rows, once every other session has left (a backend sends its
    // counts before it leaves pg_stat_activity).
    const std::string others = "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
                               "pg_backend_pid()";
    auto state = [&] {
        for (int i = 0; i < 250 && scalar(*db, others) != "0"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        (void)db->execute("SELECT pg_stat_force_next_flush()");
        return scalar(*db, "SELECT (SELECT count(*) FROM pg_class) || '/' || (SELECT count(*) FROM pg_type) || '/' || "
                           "(SELECT sum(n_tup_ins + n_tup_upd + n_tup_del) FROM pg_stat_user_tables) || '/' || "
                           "(SELECT md5(string_agg(d::text, ',' ORDER BY d::text)) FROM Details d)");
    };
    const std::string before = state();
    Outcome check = run({"--check", "--login-timeout", "5"});
    EXPECT_EQ(check.status, 3) << check.err;
    for (const char* line : {"(not SQL Server)  not the product's database\nsvdown       SQL Server  -               "
                             "                     cannot be connected: 101: ",
                             "needs the update: 19 tables to create, 106 columns to add, 6 columns to drop, 2 comments "
                             "to move\n"})
        EXPECT_NE(check.out.find(line), std::string::npos) << check.out;
    check = run({"--check", "--report", "json", "--login-timeout", "5"});
    EXPECT_EQ(check.status, 3) << check.err;
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(check.out)) << check.out;
    std::string summary;  // verdict, tables to create / columns to drop / comments to move
    for (const auto& d : report["data_sources"])
        summary += d["name"].get<std::string>() + " " + d["verdict"].get<std::string>() + " " +
                   std::to_string(d["missing_tables"].size()) + "/" + std::to_string(d["columns_to_drop"].size()) +
                   "/" + d["item_comments"]["to_move"].dump() + "\n";
    EXPECT_EQ(summary, "svother not_product_database 0/0/0\nsvdown cannot_connect 0/0/0\n"
                       "svclean needs_update 19/6/2\nsvnodriver cannot_connect 0/0/0\nSVfäil2 needs_update 19/6/2\n");
    EXPECT_EQ(state(), before) << "a check changed the database";

    Outcome o = run({"--run", "--report", "json", "--login-timeout", "5"});
    EXPECT_EQ(o.status, 3) << o.err;
    ASSERT_NO_THROW(report = nlohmann::json::parse(o.out)) << o.out;
    // svclean: phase one without the grid rows (no GridColumns on this engine: its IDENTITY
    // is not PostgreSQL's) and all of phase two: 45 - 26 + 152; SVfäil2 holds back the drop of quDiscount.
    summary.clear();
    for (const auto& d : report["data_sources"])
        summary += d["name"].get<std::string>() + " " + d["engine"].get<std::string>() + " " +
                   d["outcome"].get<std::string>() + " " + d["statements_sent"].dump() + " " + d["failed"].dump() +
                   " " + d["item_comments"].get<std::string>() + "\n";
    EXPECT_EQ(summary, "svother sqlserver not_product_database 0 1 not_reached\n"
                       "svdown sqlserver connect_failed 0 1 not_reached\nsvclean pervasive done 171 0 moved\n"
                       "svnodriver pervasive connect_failed 0 1 not_reached\nSVfäil2 pervasive done 170 1 moved\n");
    EXPECT_NE(o.err.find("\nSVfäil2 2.9: 1: ERROR: quotes are read-only: modification refusée"), std::string::npos)
        << o.err;
    // The run's log is written in the state folder.
    const fs::path log_path = report["log"].get<std::string>();
    EXPECT_EQ(log_path.parent_path().parent_path(), dir_ / "state");
    EXPECT_NE(read_file(log_path).find("\nSVfäil2 (Pervasive): done; runs 1, statements sent 170, failed 1\n"),
              std::string::npos);

    // A second run finds everything done and says nothing; in a file no progress is rewritten in place.
    Outcome again = run({"--run", "--dsn", "svclean"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_NE(again.out.find("item comments: all moved"), std::string::npos);
    EXPECT_EQ(again.out.find('\r'), std::string::npos);
}

// A run whose phase two waits on a lock: a second run meanwhile is refused at once, and the first goes on; SIGTERM and
// SIGINT cancel the statement in flight.
TEST_F(UnattendedRun, OneRunAtATimeAndASignalCancelsTheStatementInFlight) {
    SP_REQUIRE_POSTGRES(kSlow);
    auto db = database(kSlow);
    auto locker = OdbcConnector().connect({kSlow, 10, 30});
    ASSERT_TRUE(db && locker);
    add_data_source("svslow", "Pervasive ODBC Engine Interface", kSlow);
    const std::string waiting = "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = "
                                "current_database()";
    // Phase two's first statement alters Quote; it waits behind this lock.
    auto lock_quote = [&] {
        return (*locker)->execute("BEGIN") && (*locker)->execute("LOCK TABLE Quote IN ACCESS EXCLUSIVE MODE");
    };
    auto blocked = [&, deadline = Clock::now() + std::chrono::seconds(60)] {
        return Clock::now() > deadline || scalar(*db, waiting) == "1";
    };

    ASSERT_TRUE(lock_quote());
    Outcome second;
    Outcome first = run({"--run"}, [&] {
        if (!blocked()) return false;
        second = run({"--run"});
        (void)(*locker)->execute("ROLLBACK");  // the first goes on
        return true;
    }, 0 /* no signal */);
    EXPECT_EQ(second.status, 5);
    EXPECT_EQ(second.err, "selvane-sp: another run of the service pack is under way on this machine; try again "
                          "when it has ended\n");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");

    for (const auto& [signal, status] : Child::kStops) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(lock_quote());
        Outcome o = run({"--run", "--command-timeout", "0"}, blocked, signal);
        EXPECT_EQ(o.status, status) << o.out << o.err;
        EXPECT_LT(o.took.count(), 1000) << "from the signal to exit";
        EXPECT_NE(o.out.find("svslow (Pervasive): interrupted"), std::string::npos) << o.out;
        EXPECT_EQ(o.err, "") << "the cancelled statement is no failure";
        // Nothing waits on the lock any more: the statement was cancelled, not left running.
        EXPECT_EQ(scalar(*db, waiting), "0");
        (void)(*locker)->execute("ROLLBACK");
    }
    // A run killed while it holds the lock does not hold up the next.
    ASSERT_TRUE(lock_quote());
    run({"--run"}, blocked, SIGKILL);
    (void)(*locker)->execute("ROLLBACK");
    EXPECT_EQ(run({"--run"}).status, 0);
}

// Not on Windows: glibc's loader lists what it loads; a Windows session always has its desktop; the silent server is
// a POSIX socket.
#ifndef _WIN32
TEST_F(UnattendedRun, VersionLoadsNoGuiLibrary) {
    setenv("LD_DEBUG", "files", 1);  // the loader names each library it loads on standard error
    const Outcome o = run({"--version"});
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.err.find("file=libodbc.so"), std::string::npos) << o.err;
    for (const char* gui : {"libQt", "libX11", "libxcb", "libGL", "libEGL", "libwayland", "libxkb", "libfontconfig"})
        EXPECT_EQ(o.err.find(std::string("file=") + gui), std::string::npos) << gui;
}

// With a display, or a platform that needs none, it starts the window program beside it: here a copy alone.
TEST_F(UnattendedRun, WithoutArgumentsItStartsTheWindowOnADisplayElseSaysHowToUpdateWithoutIt) {
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const fs::path alone = dir_ / "selvane-sp";
    fs::copy_file(SP_BINARY, alone);
    binary_ = alone.c_str();
    // '-' unset, ':' empty, '0' set; the last leaves no display for the window program.
    for (const std::string values : {"0--", "-0-", "--0", "::0", "---", ":::"}) {
        for (int i = 0; i < 3; ++i)
            values[i] == '-' ? (void)unsetenv(names[i]) : (void)setenv(names[i], values[i] == ':' ? "" : ":0", 1);
        const Outcome o = run({});
        EXPECT_EQ(o.status, 2) << values;
        const std::string expected = values.find('0') != std::string::npos
                                         ? "cannot start the window (" + (dir_ / "selvane-sp-window").string()
                                         : "no display to open the window on; 'selvane-sp --run' updates without one";
        EXPECT_NE(o.err.find(expected), std::string::npos) << values << o.err;
    }
    binary_ = SP_WINDOW_BINARY;
    Outcome window = run({});
    EXPECT_EQ(window.status, 2);
    EXPECT_NE(window.err.find("display"), std::string::npos) << window.err;
}

TEST_F(UnattendedRun, AnInterruptWhileConnectingLetsTheLoginGoAndReports) {
    // A server that takes the connection and never says a word.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_TRUE(bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listener, 8) == 0 &&
                getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    fcntl(listener, F_SETFL, O_NONBLOCK);
    add_data_source("svsilent", "SQL Server", kClean, ntohs(address.sin_port));
    int client = -1;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    Outcome o = run({"--run", "--login-timeout", "120"}, [&] {
        return (client = accept(listener, nullptr, nullptr)) >= 0 || Clock::now() > deadline;
    });
    close(client);
    close(listener);
    ASSERT_GE(client, 0) << "the program never connected";
    EXPECT_EQ(o.status, 130) << o.out << o.err;
    EXPECT_LT(o.took.count(), 1000) << "from SIGINT to exit";
    EXPECT_NE(o.out.find("svsilent (SQL Server): interrupted"), std::string::npos) << o.out;
}

#endif

// The item-comment migration interrupted half-way by a signal: the program ends at once, what it copied stays and is
// counted, and the legacy comment columns are kept. (Which lines a stop lets finish is the migration test's.)
TEST_F(UnattendedRun, AnInterruptInTheMigrationEndsTheRunAtOnceAndKeepsWhatItCopied) {
    SP_REQUIRE_POSTGRES(kBig);
    auto db = database(kBig);
    ASSERT_TRUE(db);
    constexpr int kLines = 100000;
    ASSERT_TRUE(db->execute("INSERT INTO Details SELECT q, 1, 1, 0, 'comment ' || q, 0, 0, 'c', 1 "
                            "FROM generate_series(3, " + std::to_string(kLines + 2) + ") q"));
    add_data_source("svbig", "Pervasive ODBC Engine Interface", kBig);

    const auto deadline = Clock::now() + std::chrono::seconds(120);
    // Phase one makes CommIns: until then there is no count (an error, read as 0).
    auto copied = [&] { return std::atoi(scalar(*db, "SELECT count(*) FROM CommIns").c_str()); };
    Outcome o = run({"--run"}, [&] { return Clock::now() > deadline || copied() >= 2000; });
    EXPECT_EQ(o.status, 130) << o.out << o.err;
    EXPECT_LT(o.took.count(), 1000) << "from SIGINT to exit";
    EXPECT_LT(copied(), kLines);
    const std::string kept = "item comments: not all moved; legacy comment columns kept, lines copied: ";
    EXPECT_NE(o.out.find(kept + std::to_string(copied()) + "\n"), std::string::npos) << o.out;
    EXPECT_EQ(scalar(*db, "SELECT count(*) FROM information_schema.columns WHERE table_name = 'details' AND "
                          "column_name IN ('deitemcom', 'deitemcomtype')"), "2");
}

}  // namespace
}  // namespace sp

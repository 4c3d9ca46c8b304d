// Measures the statement runner and the start of the command line:
//   whole run     run_upgrade() over one data source (PostgreSQL through
//                 psqlODBC, with the SQL Server and then the Pervasive
//                 statement lists; PostgreSQL refuses every SQL Server one and,
//                 given Pervasive's type names as domains, accepts many
//                 Pervasive ones, so both paths are exercised) against a
//                 hand-written ODBC loop that connects and sends the very
//                 statements the run sent, reading each failure's message;
//                 each attempt starts on a fresh database;
//   start-up      `selvane-sp --version` against a plain program linked with
//                 unixODBC, started alternately; time to exit and peak memory.
// Figures: min/median/max over the attempts, the ways taking turns.
//
//   run-bench [R]      R attempts of each way (default 10)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/run_driver.h"

namespace fs = std::filesystem;
using namespace sp;
using namespace sp::bench;

namespace {

constexpr const char* bench_database = "sp_run_bench";
using Clock = std::chrono::steady_clock;

class SilentView : public RunView {
public:
    void run_started() override {}
    void set_engine_label(const std::string&) override {}
    void set_status_label(const std::string&) override {}
    void set_progress(int) override {}
    void show_message(const std::string&) override {}
    void run_finished() override {}
};

// What a run sent, in order: statements, queries and prepared statements.
struct Sent {
    enum class Kind { Execute, Query, Prepare } kind;
    std::string sql;
};

class RecordingSession : public Session {
public:
    RecordingSession(std::unique_ptr<Session> inner, std::vector<Sent>& log) : inner_(std::move(inner)), log_(log) {}
    Result<void> execute(const std::string& sql) override {
        log_.push_back({Sent::Kind::Execute, sql});
        return inner_->execute(sql);
    }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override {
        log_.push_back({Sent::Kind::Query, sql});
        return inner_->query(sql);
    }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        log_.push_back({Sent::Kind::Prepare, sql});
        return inner_->prepare(sql, params);
    }
    bool can_write_while_reading() const override { return inner_->can_write_while_reading(); }
    void cancel() override { inner_->cancel(); }

private:
    std::unique_ptr<Session> inner_;
    std::vector<Sent>& log_;
};

class RecordingConnector : public Connector {
public:
    std::vector<Sent> log;
    Result<std::unique_ptr<Session>> connect(const ConnectOptions& options) override {
        auto session = inner_.connect(options);
        if (!session) return session.error();
        return std::unique_ptr<Session>(std::make_unique<RecordingSession>(std::move(*session), log));
    }

private:
    OdbcConnector inner_;
};

// The baseline: connect, send every statement on one handle, read the first
// diagnostic record of a failure, consume every result, disconnect.
void raw_run(const std::string& dsn, const std::vector<Sent>& sent) {
    RawConnection connection(dsn);
    SQLHSTMT stmt = connection.statement();
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(30), 0);
    SQLCHAR state[6], message[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    char cell[4096];
    SQLLEN indicator = 0;
    for (const Sent& s : sent) {
        auto* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.sql.c_str()));
        const SQLRETURN rc = s.kind == Sent::Kind::Prepare ? SQLPrepare(stmt, text, SQL_NTS)
                                                           : SQLExecDirect(stmt, text, SQL_NTS);
        if (rc == SQL_ERROR) {
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length);
        } else if (s.kind == Sent::Kind::Query) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmt, &columns);
            while (SQL_SUCCEEDED(SQLFetch(stmt)))
                for (SQLUSMALLINT c = 1; c <= columns; ++c)
                    SQLGetData(stmt, c, SQL_C_CHAR, cell, sizeof cell, &indicator);
        } else if (s.kind == Sent::Kind::Execute) {
            while (SQL_SUCCEEDED(SQLMoreResults(stmt))) {
            }
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void print_row(const std::string& name, const Timings& t, double scale, const char* unit) {
    std::printf("  %-44s %9.2f %9.2f %9.2f %s\n", name.c_str(), t.min() * scale, t.median() * scale, t.max() * scale,
                unit);
}

void whole_run_bench(Session& admin, int attempts) {
    auto fresh_database = [&] {
        run(admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
        run(admin, std::string("CREATE DATABASE ") + bench_database);
        // Pervasive's type names, so that PostgreSQL accepts many of its statements.
        OdbcConnector connector;
        auto session = connect(connector, "bench_pg");
        run(*session, "CREATE DOMAIN TINYINT AS SMALLINT");
        run(*session, "CREATE DOMAIN IDENTITY AS INTEGER");
    };
    for (Engine engine : {Engine::SqlServer, Engine::Pervasive}) {
        DataSourceLists lists;
        (engine == Engine::SqlServer ? lists.sqlserver : lists.pervasive).push_back("bench_pg");
        SilentView view;
        // What a run sends, taken from a run of ours.
        fresh_database();
        RecordingConnector recorder;
        const RunReport first = run_upgrade(lists, recorder, view);
        const std::vector<Sent> sent = recorder.log;

        Timings ours, raw, ours_cpu, raw_cpu;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            for (int k = 0; k < 2; ++k) {
                const bool ours_now = (k + attempt) % 2 == 0;
                fresh_database();
                const double cpu_start = process_cpu_seconds();
                const auto start = Clock::now();
                if (ours_now) {
                    OdbcConnector connector;
                    run_upgrade(lists, connector, view);
                } else {
                    raw_run("bench_pg", sent);
                }
                (ours_now ? ours : raw).seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
                (ours_now ? ours_cpu : raw_cpu).seconds.push_back(process_cpu_seconds() - cpu_start);
            }
        }
        const DataSourceReport& ds = first.data_sources.at(0);
        std::printf("\nWhole run, %s statement lists on PostgreSQL: %zu calls (%d statements, %d passed over, "
                    "%zu shown failures); %d attempts; ms min / median / max\n",
                    engine_caption(engine), sent.size(), ds.statements_sent, ds.passed_silently, ds.failures.size(),
                    attempts);
        print_row("ours, run_upgrade()", ours, 1000, "ms");
        print_row("raw ODBC loop, same calls", raw, 1000, "ms");
        print_row("ours, client CPU (ours and the driver's)", ours_cpu, 1000, "ms");
        print_row("raw ODBC loop, client CPU", raw_cpu, 1000, "ms");
        std::printf("  ours / raw loop, medians: %.2f elapsed, %.2f client CPU\n", ours.median() / raw.median(),
                    ours_cpu.median() / raw_cpu.median());
    }
}

// Time to exit and peak memory of one start of a program.
std::pair<double, double> start_once(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "run-bench: " << program << " failed\n";
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

void startup_bench(const std::string& own_folder, int attempts) {
    const std::string ours = own_folder + "/../cli/selvane-sp", plain = own_folder + "/plain-odbc-version";
    Timings ours_time, plain_time, ours_memory, plain_memory;
    for (int attempt = 0; attempt < attempts * 5; ++attempt) {
        for (int k = 0; k < 2; ++k) {
            const bool ours_now = (k + attempt) % 2 == 0;
            const auto [seconds, mb] = start_once(ours_now ? ours : plain, {"--version"});
            (ours_now ? ours_time : plain_time).seconds.push_back(seconds);
            (ours_now ? ours_memory : plain_memory).seconds.push_back(mb);
        }
    }
    std::printf("\nStart-up to exit, %d starts each, alternating; ms and MB, min / median / max\n", attempts * 5);
    print_row("selvane-sp --version", ours_time, 1000, "ms");
    print_row("plain program linked with unixODBC", plain_time, 1000, "ms");
    print_row("selvane-sp --version, peak memory", ours_memory, 1, "MB");
    print_row("plain program, peak memory", plain_memory, 1, "MB");
    std::printf("  ours / plain, medians: %.2f\n", ours_time.median() / plain_time.median());
}

std::string own_folder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.find_last_of('/'));
}

}  // namespace

int main(int argc, char** argv) {
    int attempts = 10;
    if (argc > 2 || (argc == 2 && (attempts = std::atoi(argv[1])) < 1)) {
        std::cerr << "usage: run-bench [R]   (R attempts of each way, default 10)\n";
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    startup_bench(own_folder(), attempts);
    if (!PostgresServer::configured()) {
        std::printf("\nWhole run: skipped (run through tests/with-postgres.sh)\n");
        return 0;
    }
    const fs::path dir = write_odbc_config({{"bench_pg_admin", BenchDsn::Kind::Postgres, "postgres"},
                                            {"bench_pg", BenchDsn::Kind::Postgres, bench_database}});
    {
        OdbcConnector connector;
        auto admin = connect(connector, "bench_pg_admin");
        whole_run_bench(*admin, attempts);
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

// Measures the item-comment migration on real engines and prints its speed
// beside yardsticks on the same data, directly and through links with a
// chosen round trip (a delaying proxy of ours on 127.0.0.1):
//   server-side   one INSERT ... SELECT that copies every flagged line inside
//                 the database: the upper limit for any client-side copy;
//   literal text  the old way: for every line an INSERT with the line's values
//                 written into its text, sent unprepared;
//   new handle    for every line a new handle, SQLPrepare, the five parameters
//                 bound, SQLExecute, handle freed;
//   raw loop      a hand-written ODBC loop: bound columns, one insert prepared
//                 once and executed per line;
//   ours          migrate_item_comments(), streaming, and again as on a
//                 connection that cannot write while reading.
// The ways take turns (each attempt starts with the next one); CommIns is
// emptied the same way before every attempt, and every attempt must leave
// exactly one row per flagged line. Figures: rows per second, min/median/max.
//
//   migration-bench [N [R]]      N flagged lines at 0 ms (default 20000; a
//                                quarter of that at 0.5 ms, a tenth at 2 ms),
//                                R attempts of each way (default 3)
//   migration-bench --memory N   peak resident memory of a whole migration of
//                                N flagged lines on PostgreSQL, CommIns empty,
//                                then again with every line already present
//
// SQLite runs in a temporary file. PostgreSQL runs when SP_PG_HOST, SP_PG_PORT,
// SP_PG_USER and SP_PG_PASSWORD name a server, as tests/with-postgres.sh sets
// them; the benchmark makes and drops a database of its own there.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/delay_proxy.h"
#include "migration/item_comments.h"
#include "migration/statements.h"

namespace fs = std::filesystem;
using namespace sp;
using namespace sp::bench;

namespace {

constexpr const char* bench_database = "sp_migration_bench";

struct Target {
    std::string caption;
    std::string dsn;
    std::string tinyint;  // the engine's name for a one-byte integer column
    std::string fill;     // fills Details; {N} is replaced by the line count
    std::string clear;    // empties CommIns
    long long lines;      // flagged lines
};

const std::string sqlite_fill =
    "WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < {N}) "
    "INSERT INTO Details SELECT 1 + (n - 1) / 25, 1 + (n - 1) % 25, CASE WHEN n % 5 = 0 THEN 0 ELSE 1 END, "
    "n % 4, CASE WHEN n % 50 = 1 THEN NULL ELSE 'Item comment of line ' || n END FROM g";
const std::string postgres_fill =
    "INSERT INTO Details SELECT 1 + (n - 1) / 25, 1 + (n - 1) % 25, CASE WHEN n % 5 = 0 THEN 0 ELSE 1 END, "
    "n % 4, CASE WHEN n % 50 = 1 THEN NULL ELSE 'Item comment of line ' || n END "
    "FROM generate_series(1, {N}) AS n";

// A connection that allows one active statement: the flagged lines are read
// on a second connection (second_connection) or else all before the first insert.
class OneStatementSession : public Session {
public:
    OneStatementSession(Session& inner, bool second_connection) : inner_(inner), second_(second_connection) {}
    Result<void> execute(const std::string& sql) override { return inner_.execute(sql); }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override { return inner_.query(sql); }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        return inner_.prepare(sql, params);
    }
    Result<std::unique_ptr<PreparedStatement>> prepare_array(const std::string& sql,
                                                             const std::vector<ParamSpec>& params,
                                                             std::size_t sets) override {
        return inner_.prepare_array(sql, params, sets);
    }
    bool can_write_while_reading() const override { return false; }
    void cancel() override { inner_.cancel(); }
    Result<std::unique_ptr<Session>> open_reader() override {
        return second_ ? inner_.open_reader() : Session::open_reader();
    }

private:
    Session& inner_;
    bool second_;
};

std::string sql_literal(const Value& text) { return "'" + replace_all(text.value_or(""), "'", "''") + "'"; }

// Every line through a statement of its own: a new prepared handle per line,
// or (literal_values) the values written into the statement text.
void copy_line_by_line(Session& session, bool literal_values) {
    const MigrationStatements& statements = migration_statements(Engine::Pervasive);
    const std::vector<ParamSpec> params{{ParamType::Integer}, {ParamType::Integer}, {ParamType::TinyInt},
                                        {ParamType::Integer}, {ParamType::VarChar, 80}};
    auto cursor = session.query(statements.read);
    if (!cursor) fail(statements.read, cursor.error());
    for (;;) {
        auto row = (*cursor)->fetch();
        if (!row) fail("reading Details", row.error());
        if (!*row) break;
        const Row& line = **row;
        if (literal_values) {
            run(session, "INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) VALUES (" + *line[0] + "," +
                             *line[1] + "," + std::to_string(std::stoll(*line[2]) + 1) + ",1," + sql_literal(line[3]) +
                             ")");
            continue;
        }
        auto insert = session.prepare(statements.insert, params);
        if (!insert) fail(statements.insert, insert.error());
        auto done = (*insert)->execute({ParamValue::of(std::stoll(*line[0])), ParamValue::of(std::stoll(*line[1])),
                                        ParamValue::of(std::stoll(*line[2]) + 1), ParamValue::of(1),
                                        ParamValue::of(line[3].value_or(""))});
        if (!done) fail(statements.insert, done.error());
    }
}

// The hand-written baseline: read with bound columns, one prepared insert
// executed per line, on a connection of its own (made before the clock starts).
void raw_prepared_loop(RawConnection& connection) {
    const MigrationStatements& statements = migration_statements(Engine::Pervasive);
    SQLHSTMT read = connection.statement(), insert = connection.statement();
    auto sql = [](const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); };
    SQLINTEGER quote = 0, line = 0, number = 1;
    SQLSMALLINT type = 0, co_in_type = 0;
    char comment[256];
    SQLLEN quote_ind = 0, line_ind = 0, type_ind = 0, comment_ind = 0, number_ind = 0, co_in_type_ind = 0;
    RawConnection::check(SQLExecDirect(read, sql(statements.read), SQL_NTS), SQL_HANDLE_STMT, read, "read");
    SQLBindCol(read, 1, SQL_C_SLONG, &quote, 0, &quote_ind);
    SQLBindCol(read, 2, SQL_C_SLONG, &line, 0, &line_ind);
    SQLBindCol(read, 3, SQL_C_SSHORT, &type, 0, &type_ind);
    SQLBindCol(read, 4, SQL_C_CHAR, comment, sizeof comment, &comment_ind);
    RawConnection::check(SQLPrepare(insert, sql(statements.insert), SQL_NTS), SQL_HANDLE_STMT, insert, "prepare");
    SQLBindParameter(insert, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &quote, 0, &quote_ind);
    SQLBindParameter(insert, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &line, 0, &line_ind);
    SQLBindParameter(insert, 3, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_TINYINT, 0, 0, &co_in_type, 0, &co_in_type_ind);
    SQLBindParameter(insert, 4, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, &number_ind);
    SQLBindParameter(insert, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 80, 0, comment, sizeof comment, &comment_ind);
    for (;;) {
        const SQLRETURN rc = SQLFetch(read);
        if (rc == SQL_NO_DATA) break;
        RawConnection::check(rc, SQL_HANDLE_STMT, read, "fetch");
        co_in_type = static_cast<SQLSMALLINT>(type + 1);
        if (comment_ind == SQL_NULL_DATA) comment[0] = '\0', comment_ind = 0;
        RawConnection::check(SQLExecute(insert), SQL_HANDLE_STMT, insert, "insert");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, insert);
    SQLFreeHandle(SQL_HANDLE_STMT, read);
}

void migrate(Session& session) {
    MigrationResult r = migrate_item_comments(session, Engine::Pervasive);
    if (!r.complete()) fail("migrating", r.stopped_by.value_or(DbError::make("", kept_columns_message(r))));
}

void make_tables(Session& session, const Target& target, long long details_lines) {
    run(session, "DROP TABLE IF EXISTS CommIns");
    run(session, "DROP TABLE IF EXISTS Details");
    run(session,
        "CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
        "deItemComType SMALLINT, deItemCom VARCHAR(255), PRIMARY KEY (QuoteID, Line))");
    run(session, "CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType " + target.tinyint +
                     " DEFAULT '0' NOT NULL, Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, DateEnter DATE, "
                     "UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20), "
                     "PRIMARY KEY (QuoteID, Line, CoInType, Number))");
    run(session, replace_all(target.fill, "{N}", std::to_string(details_lines)));
}

struct Way {
    std::string name;
    std::function<void()> run;
    Timings timings = {};
};

void measure(Connector& connector, const Target& target, Session& admin, int attempts) {
    // Every fifth line unflagged, so that the read has something to pass over.
    const long long details_lines = target.lines + target.lines / 4;
    make_tables(admin, target, details_lines);
    const long long flagged = count(admin, "SELECT COUNT(*) FROM Details WHERE deHasItemCom = 1");
    auto session = connect(connector, target.dsn);
    std::optional<RawConnection> raw;

    std::vector<Way> ways{
        {"server-side INSERT ... SELECT",
         [&] {
             run(*session, "INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) SELECT QuoteID,Line,"
                           "deItemComType+1,1,COALESCE(deItemCom,'') FROM Details WHERE deHasItemCom = 1");
         }},
        {"per line, literal text (old way)", [&] { copy_line_by_line(*session, true); }},
        {"per line, new prepared handle", [&] { copy_line_by_line(*session, false); }},
        {"raw loop, prepared once", [&] { raw_prepared_loop(*raw); }},
        {"ours, streaming", [&] { migrate(*session); }},
        {"ours, read first",
         [&] {
             OneStatementSession read_first(*session, false);
             migrate(read_first);
         }},
        {"ours, reading on a second connection",
         [&] {
             OneStatementSession second(*session, true);
             migrate(second);
         }},
    };
    for (int attempt = 0; attempt < attempts; ++attempt) {
        for (std::size_t k = 0; k < ways.size(); ++k) {
            Way& way = ways[(k + static_cast<std::size_t>(attempt)) % ways.size()];
            run(admin, target.clear);
            if (way.name.rfind("raw", 0) == 0) raw.emplace(target.dsn);
            const auto start = std::chrono::steady_clock::now();
            way.run();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            raw.reset();
            const long long copied = count(admin, "SELECT COUNT(*) FROM CommIns");
            if (copied != flagged) {
                std::cerr << "migration-bench: " << way.name << " copied " << copied << " of " << flagged << " lines\n";
                std::exit(1);
            }
            way.timings.seconds.push_back(took.count());
        }
    }

    std::printf("\n%s: %lld flagged lines, %d attempts; rows per second min / median / max\n",
                target.caption.c_str(), flagged, attempts);
    for (const Way& w : ways)
        std::printf("  %-34s %10.0f %10.0f %10.0f\n", w.name.c_str(), flagged / w.timings.max(),
                    flagged / w.timings.median(), flagged / w.timings.min());
    const double literal = ways[1].timings.median(), raw_loop = ways[3].timings.median(),
                 server = ways[0].timings.median();
    std::printf("  medians, ours streaming against:  literal text %.2fx   raw loop %.2fx   server-side %.3fx\n",
                literal / ways[4].timings.median(), raw_loop / ways[4].timings.median(),
                server / ways[4].timings.median());
}

// The round trip of a trivial statement, median of 200, in microseconds.
double round_trip_us(Connector& connector, const std::string& dsn) {
    auto session = connect(connector, dsn);
    Timings t;
    for (int i = 0; i < 200; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run(*session, "SELECT 1");
        t.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return t.median() * 1e6;
}

// Peak resident memory of a child process that runs body; in MB.
double peak_memory_mb(const std::function<void()>& body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "migration-bench: the measured child failed\n";
        std::exit(1);
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Peak memory of whole migrations of `lines` flagged lines; every step runs
// in a child of its own, so that no figure carries another's memory.
int memory_bench(long long lines) {
    if (!PostgresServer::configured()) {
        std::cerr << "migration-bench --memory: run through tests/with-postgres.sh\n";
        return 2;
    }
    const fs::path dir = write_odbc_config({{"bench_pg_admin", BenchDsn::Kind::Postgres, "postgres"},
                                            {"bench_pg", BenchDsn::Kind::Postgres, bench_database}});
    const Target target{"PostgreSQL", "bench_pg", "SMALLINT", postgres_fill, "TRUNCATE TABLE CommIns", lines};
    peak_memory_mb([&] {
        OdbcConnector connector;
        auto admin = connect(connector, "bench_pg_admin");
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
        run(*admin, std::string("CREATE DATABASE ") + bench_database);
        auto session = connect(connector, target.dsn);
        make_tables(*session, target, lines + lines / 4);
    });
    std::printf("Peak resident memory of the whole process, %lld flagged lines on PostgreSQL (psqlODBC):\n",
                (lines + lines / 4) * 4 / 5);
    double seconds = 0;
    const double first = peak_memory_mb([&] {
        OdbcConnector connector;
        auto session = connect(connector, target.dsn);
        const auto start = std::chrono::steady_clock::now();
        migrate(*session);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  CommIns empty:          (%.1f s)", seconds);
    });
    std::printf("  %8.1f MB\n", first);
    const double again = peak_memory_mb([&] {
        OdbcConnector connector;
        auto session = connect(connector, target.dsn);
        const auto start = std::chrono::steady_clock::now();
        migrate(*session);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  every line present:     (%.1f s)", seconds);
    });
    std::printf("  %8.1f MB\n", again);
    const double second = peak_memory_mb([&] {
        OdbcConnector connector;
        auto session = connect(connector, target.dsn);
        run(*session, target.clear);
        OneStatementSession one_statement(*session, true);
        const auto start = std::chrono::steady_clock::now();
        migrate(one_statement);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  one active statement, read on a second connection, CommIns empty: (%.1f s)", seconds);
    });
    std::printf("  %8.1f MB\n", second);
    const double idle = peak_memory_mb([&] {
        OdbcConnector connector;
        auto session = connect(connector, target.dsn);
        run(*session, "SELECT 1");
    });
    std::printf("  connected, doing nothing: %6.1f MB\n", idle);
    peak_memory_mb([&] {
        OdbcConnector connector;
        auto admin = connect(connector, "bench_pg_admin");
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
    });
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

bool parse_number(const char* text, long long low, long long high, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
    long long lines = 20000, attempts = 3;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 3 && std::string(argv[1]) == "--memory" && parse_number(argv[2], 1, 50000000, lines))
        return memory_bench(lines);
    if (argc > 3 || (argc > 1 && !parse_number(argv[1], 10, 50000000, lines)) ||
        (argc > 2 && !parse_number(argv[2], 1, 100, attempts))) {
        std::cerr << "usage: migration-bench [N [R]]      N flagged lines at 0 ms (default 20000), R attempts (3)\n"
                     "       migration-bench --memory N   peak memory of a migration of N flagged lines\n";
        return 2;
    }
    const bool with_postgres = PostgresServer::configured();
    // The links are up before the configuration is written: it names their ports.
    std::vector<std::pair<int, std::unique_ptr<DelayProxy>>> links;  // round trip in microseconds
    std::vector<BenchDsn> dsns{{"bench_sqlite_nosync", BenchDsn::Kind::SqliteNoSync, "bench-nosync.sqlite"},
                               {"bench_sqlite", BenchDsn::Kind::Sqlite, "bench.sqlite"}};
    if (with_postgres) {
        const PostgresServer server = PostgresServer::from_environment();
        dsns.push_back({"bench_pg_admin", BenchDsn::Kind::Postgres, "postgres"});
        dsns.push_back({"bench_pg_0", BenchDsn::Kind::Postgres, bench_database});
        for (int us : {500, 2000}) {
            links.emplace_back(us, std::make_unique<DelayProxy>(server.host, std::stoi(server.port),
                                                                std::chrono::microseconds(us)));
            dsns.push_back({"bench_pg_" + std::to_string(us), BenchDsn::Kind::Postgres, bench_database,
                            links.back().second->port()});
        }
    }
    const fs::path dir = write_odbc_config(dsns);
    std::printf("Item-comment migration: rows per second of each way (see the head of bench/migration_bench.cpp).\n");
    OdbcConnector connector;

    for (const Target& sqlite :
         {Target{"SQLite (sqliteodbc, file on disk, synchronous=OFF)", "bench_sqlite_nosync", "TINYINT", sqlite_fill,
                 "DELETE FROM CommIns", lines},
          Target{"SQLite (sqliteodbc, file on disk, synchronous=FULL)", "bench_sqlite", "TINYINT", sqlite_fill,
                 "DELETE FROM CommIns", std::max(10LL, lines / 10)}}) {
        auto admin = connect(connector, sqlite.dsn);
        measure(connector, sqlite, *admin, static_cast<int>(attempts));
    }
    if (with_postgres) {
        auto admin = connect(connector, "bench_pg_admin");
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
        run(*admin, std::string("CREATE DATABASE ") + bench_database);
        {
            auto direct = connect(connector, "bench_pg_0");
            const std::string settings = "fsync=" + first_value(*direct, "SHOW fsync") +
                                         ", synchronous_commit=" + first_value(*direct, "SHOW synchronous_commit");
            std::printf("\nPostgreSQL round trip of SELECT 1 (median of 200):");
            for (const std::string dsn : {"bench_pg_0", "bench_pg_500", "bench_pg_2000"})
                std::printf("  %s %.0f us", dsn.c_str(), round_trip_us(connector, dsn));
            std::printf("\n");
            for (const auto& [round_trip, lines_at] :
                 {std::pair<int, long long>{0, lines}, {500, std::max(10LL, lines / 4)},
                  {2000, std::max(10LL, lines / 10)}}) {
                char caption[160];
                std::snprintf(caption, sizeof caption, "PostgreSQL (psqlODBC, %s), link round trip %.1f ms",
                              settings.c_str(), round_trip / 1000.0);
                const Target target{caption, "bench_pg_" + std::to_string(round_trip), "SMALLINT", postgres_fill,
                                    "TRUNCATE TABLE CommIns", lines_at};
                measure(connector, target, *direct, static_cast<int>(attempts));
            }
        }
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
    } else {
        std::printf("\nPostgreSQL: skipped (SP_PG_HOST, SP_PG_PORT, SP_PG_USER, SP_PG_PASSWORD not set; "
                    "run through tests/with-postgres.sh)\n");
    }
    links.clear();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

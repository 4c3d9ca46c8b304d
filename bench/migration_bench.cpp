// Measures the item-comment migration on real engines and prints its speed
// beside yardsticks on the same data:
//   server-side   one INSERT ... SELECT that copies every flagged line inside
//                 the database: the upper limit for any client-side copy;
//   per line      an unprepared statement for every line, modelled two ways
//                 through our interface, which has no one-shot execute with
//                 parameters: (a) a new handle per line, SQLPrepare, the five
//                 parameters bound, SQLExecute, handle freed; (b) SQLExecDirect
//                 of an INSERT with the line's values written in as literals;
//   ours          migrate_item_comments(): one prepared insert executed per
//                 line, streaming, and again reading every line first (the
//                 path of a SQL Server connection without MARS).
// Every way but the server-side one commits each row on its own.
//
//   migration-bench [N [R]]      N flagged lines (100000 by default), each way
//                                timed R times (1 by default), the best time kept
//
// SQLite runs in a temporary file. PostgreSQL runs when SP_PG_HOST, SP_PG_PORT,
// SP_PG_USER and SP_PG_PASSWORD name a server, as tests/with-postgres.sh sets
// them; the benchmark makes and drops a database of its own there.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "migration/item_comments.h"
#include "migration/statements.h"
#include "odbc/odbc_session.h"

namespace fs = std::filesystem;
using namespace sp;

namespace {

constexpr const char* bench_database = "sp_migration_bench";

struct Target {
    std::string caption;
    std::string dsn;
    std::string tinyint;     // the engine's name for a one-byte integer column
    std::string fill;        // fills Details; {N} is replaced by the line count
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string driver_library(const std::string& file) {
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/", "/usr/lib/odbc/"})
        if (fs::exists(std::string(dir) + file)) return std::string(dir) + file;
    return file;
}

// A private ODBC configuration; must be in place before the first ODBC call.
fs::path write_odbc_config(bool with_postgres) {
    char pattern[] = "/tmp/sp-migration-bench.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    const fs::path dir = pattern;
    std::ofstream(dir / "odbcinst.ini") << "[SQLite3]\nDriver=" << driver_library("libsqlite3odbc.so")
                                        << "\n\n[PostgreSQL]\nDriver=" << driver_library("psqlodbcw.so") << "\n";
    std::ofstream ini(dir / "odbc.ini");
    ini << "[bench_sqlite]\nDriver=SQLite3\nDatabase=" << (dir / "bench.sqlite").string() << "\nTimeout=2000\n";
    // The same without waiting for the disk at each commit: what is left is the client's and driver's share.
    ini << "\n[bench_sqlite_nosync]\nDriver=SQLite3\nDatabase=" << (dir / "bench-nosync.sqlite").string()
        << "\nTimeout=2000\nSyncPragma=OFF\n";
    if (with_postgres) {
        for (const auto& [name, database] : {std::pair<std::string, std::string>{"bench_pg_admin", "postgres"},
                                             {"bench_pg", bench_database}})
            ini << "\n[" << name << "]\nDriver=PostgreSQL\nServername=" << std::getenv("SP_PG_HOST")
                << "\nPort=" << std::getenv("SP_PG_PORT") << "\nUsername=" << std::getenv("SP_PG_USER")
                << "\nPassword=" << std::getenv("SP_PG_PASSWORD") << "\nDatabase=" << database
                << "\nSSLmode=disable\n";
    }
    ini.close();
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
    return dir;
}

[[noreturn]] void fail(const std::string& what, const DbError& error) {
    std::cerr << "migration-bench: " << what << ": " << error.sqlstate() << ' ' << error.messages() << '\n';
    std::exit(1);
}

std::unique_ptr<Session> connect(OdbcConnector& connector, const std::string& dsn) {
    ConnectOptions options;
    options.dsn = dsn;
    options.login_timeout_s = 10;
    options.query_timeout_s = 0;  // the server-side copy of a large table may take a while
    auto session = connector.connect(options);
    if (!session) fail("connecting to " + dsn, session.error());
    return std::move(*session);
}

void run(Session& session, const std::string& sql) {
    if (auto r = session.execute(sql); !r) fail(sql, r.error());
}

std::string first_value(Session& session, const std::string& sql) {
    auto cursor = session.query(sql);
    if (!cursor) fail(sql, cursor.error());
    auto row = (*cursor)->fetch();
    if (!row || !*row || (**row).empty() || !(**row)[0]) fail(sql, row ? DbError::make("", "no answer") : row.error());
    return *(**row)[0];
}

long long count(Session& session, const std::string& sql) { return std::stoll(first_value(session, sql)); }

// Forces the path that reads every flagged line before the first insert.
class ReadFirstSession : public Session {
public:
    explicit ReadFirstSession(Session& inner) : inner_(inner) {}
    Result<void> execute(const std::string& sql) override { return inner_.execute(sql); }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override { return inner_.query(sql); }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        return inner_.prepare(sql, params);
    }
    bool can_write_while_reading() const override { return false; }
    void cancel() override { inner_.cancel(); }

private:
    Session& inner_;
};

std::string sql_literal(const Value& text) {
    return "'" + replace_all(text.value_or(""), "'", "''") + "'";
}

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

struct Measure {
    std::string name;
    double seconds = 0;
};

void bench(const Target& target, Session& session, long long lines, int repeats) {
    run(session, "DROP TABLE IF EXISTS CommIns");
    run(session, "DROP TABLE IF EXISTS Details");
    run(session,
        "CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
        "deItemComType SMALLINT, deItemCom VARCHAR(255), PRIMARY KEY (QuoteID, Line))");
    run(session, "CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType " + target.tinyint +
                     " DEFAULT '0' NOT NULL, Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, DateEnter DATE, "
                     "UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20), "
                     "PRIMARY KEY (QuoteID, Line, CoInType, Number))");
    // Every fifth line unflagged, so that the read has something to pass over.
    run(session, replace_all(target.fill, "{N}", std::to_string(lines + lines / 4)));
    const long long flagged = count(session, "SELECT COUNT(*) FROM Details WHERE deHasItemCom = 1");

    const std::vector<std::pair<std::string, std::function<void()>>> ways{
        {"server-side INSERT ... SELECT",
         [&] {
             run(session, "INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) SELECT QuoteID,Line,"
                          "deItemComType+1,1,COALESCE(deItemCom,'') FROM Details WHERE deHasItemCom = 1");
         }},
        {"per line, new prepared handle", [&] { copy_line_by_line(session, false); }},
        {"per line, literal values", [&] { copy_line_by_line(session, true); }},
        {"ours, prepared once, streaming",
         [&] {
             MigrationResult r = migrate_item_comments(session, Engine::Pervasive);
             if (!r.complete()) fail("migrating", r.stopped_by.value_or(DbError::make("", kept_columns_message(r))));
         }},
        {"ours, prepared once, read first",
         [&] {
             ReadFirstSession read_first(session);
             MigrationResult r = migrate_item_comments(read_first, Engine::Pervasive);
             if (!r.complete()) fail("migrating", r.stopped_by.value_or(DbError::make("", kept_columns_message(r))));
         }},
    };
    std::vector<Measure> measures;
    for (const auto& [name, way] : ways) {
        Measure best{name, 0};
        for (int attempt = 0; attempt < repeats; ++attempt) {
            run(session, "DELETE FROM CommIns");
            const auto start = std::chrono::steady_clock::now();
            way();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            const long long copied = count(session, "SELECT COUNT(*) FROM CommIns");
            if (copied != flagged) {
                std::cerr << "migration-bench: " << name << " copied " << copied << " of " << flagged << " lines\n";
                std::exit(1);
            }
            if (attempt == 0 || took.count() < best.seconds) best.seconds = took.count();
        }
        measures.push_back(best);
    }

    std::printf("\n%s: %lld flagged lines (%lld lines in Details)\n", target.caption.c_str(), flagged,
                lines + lines / 4);
    for (const auto& m : measures)
        std::printf("  %-34s %9.3f s %12.0f rows/s\n", m.name.c_str(), m.seconds, flagged / m.seconds);
    const double server = measures[0].seconds, per_handle = measures[1].seconds, per_literal = measures[2].seconds;
    std::printf("  speed of ours relative to:        per line (handle)  per line (literals)  server-side\n");
    for (std::size_t i : {3u, 4u})
        std::printf("  %-34s %14.2fx %19.2fx %11.3fx\n", measures[i].name.c_str(), per_handle / measures[i].seconds,
                    per_literal / measures[i].seconds, server / measures[i].seconds);
}

}  // namespace

int main(int argc, char** argv) {
    long long lines = 100000, repeats = 1;
    auto number = [](const char* text, long long low, long long high, long long& out) {
        char* end = nullptr;
        out = std::strtoll(text, &end, 10);
        return *end == '\0' && out >= low && out <= high;
    };
    if (argc > 3 || (argc > 1 && !number(argv[1], 1, 50000000, lines)) ||
        (argc > 2 && !number(argv[2], 1, 100, repeats))) {
        std::cerr << "usage: migration-bench [N [R]]   (N flagged lines, 1 to 50000000, default 100000;\n"
                     "                                  R timings of each way, 1 to 100, default 1)\n";
        return 2;
    }
    const bool with_postgres = std::getenv("SP_PG_HOST") && std::getenv("SP_PG_PORT") && std::getenv("SP_PG_USER") &&
                               std::getenv("SP_PG_PASSWORD");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path dir = write_odbc_config(with_postgres);
    std::printf("Item-comment migration: rows per second of each way; every way but the server-side one commits\n"
                "each row on its own. Per line (new handle): SQLPrepare, parameters bound, SQLExecute and handle\n"
                "freed for every line; per line (literal values): SQLExecDirect of an INSERT with the values in\n"
                "its text; ours: migrate_item_comments(), one prepared insert executed per line.\n");
    OdbcConnector connector;

    const std::string sqlite_fill =
        "WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < {N}) "
        "INSERT INTO Details SELECT 1 + (n - 1) / 25, 1 + (n - 1) % 25, CASE WHEN n % 5 = 0 THEN 0 ELSE 1 END, "
        "n % 4, CASE WHEN n % 50 = 1 THEN NULL ELSE 'Item comment of line ' || n END FROM g";
    for (const Target& sqlite :
         {Target{"SQLite (sqliteodbc, file on disk, synchronous=OFF)", "bench_sqlite_nosync", "TINYINT",
                 sqlite_fill},
          Target{"SQLite (sqliteodbc, file on disk, synchronous=FULL)", "bench_sqlite", "TINYINT", sqlite_fill}}) {
        auto session = connect(connector, sqlite.dsn);
        bench(sqlite, *session, lines, static_cast<int>(repeats));
    }
    if (with_postgres) {
        auto admin = connect(connector, "bench_pg_admin");
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
        run(*admin, std::string("CREATE DATABASE ") + bench_database);
        {
            Target postgres{"PostgreSQL " + std::string(std::getenv("SP_PG_HOST")) + ":" +
                                      std::getenv("SP_PG_PORT") + " (psqlODBC)",
                                  "bench_pg", "SMALLINT",
                                  "INSERT INTO Details SELECT 1 + (n - 1) / 25, 1 + (n - 1) % 25, "
                                  "CASE WHEN n % 5 = 0 THEN 0 ELSE 1 END, n % 4, "
                                  "CASE WHEN n % 50 = 1 THEN NULL ELSE 'Item comment of line ' || n END "
                                  "FROM generate_series(1, {N}) AS n"};
            auto session = connect(connector, postgres.dsn);
            // Commit durability decides much of the per-row cost; say what this server does.
            postgres.caption += ", fsync=" + first_value(*session, "SHOW fsync") +
                                ", synchronous_commit=" + first_value(*session, "SHOW synchronous_commit");
            bench(postgres, *session, lines, static_cast<int>(repeats));
        }
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + bench_database + " WITH (FORCE)");
    } else {
        std::printf("\nPostgreSQL: skipped (SP_PG_HOST, SP_PG_PORT, SP_PG_USER, SP_PG_PASSWORD not set; "
                    "run through tests/with-postgres.sh)\n");
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

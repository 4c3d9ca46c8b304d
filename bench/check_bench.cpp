// Measures the read-only check on PostgreSQL (through psqlODBC) over a
// database that holds the full set of objects the statement lists expect:
// every product table and created table with every added column, and for the
// SQL Server lists a function per stored procedure and the function, so that
// SQLProcedures has them all to list. Three ways:
//   full, SQL Server lists   inspect_database() on an updated database: catalog calls only
//   full, Pervasive lists    the same with the Pervasive lists
//   half, Pervasive lists    the legacy comment columns still there and N flagged
//                            lines, which the check reads and sorts as a migration would
//   whole check              check_data_sources() over one data source: connecting included
// Figures: min/median/max seconds over R attempts, the ways taking turns.
//
//   check-bench [R] [N]   R attempts (default 10), N flagged lines (default 10000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <set>

#include "bench/bench_support.h"
#include "core/check.h"

namespace fs = std::filesystem;
using namespace sp;
using namespace sp::bench;

namespace {

constexpr const char* full_database = "sp_check_bench_full";
constexpr const char* half_database = "sp_check_bench_half";
using Clock = std::chrono::steady_clock;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every table of both engines' lists with its columns; the legacy comment columns with `legacy`.
void make_schema(Session& db, bool legacy, int flagged_lines) {
    std::map<std::string, std::set<std::string>> tables;
    for (Engine engine : {Engine::SqlServer, Engine::Pervasive}) {
        const ExpectedObjects& e = expected_objects(engine);
        for (const auto& t : e.product_tables) tables[lower(t)];
        for (const auto& t : e.created_tables) tables[lower(t)];
        for (const auto& c : e.added_columns) tables[lower(c.table)].insert(lower(c.column));
    }
    for (const char* c : {"quoteid", "line", "dehasitemcom"}) tables["details"].insert(c);
    if (legacy)
        for (const char* c : {"deitemcomtype", "deitemcom"}) tables["details"].insert(c);
    for (const char* c : {"quoteid", "line", "cointype", "number", "commins"}) tables["commins"].insert(c);
    for (const auto& [table, columns] : tables) {
        std::string sql = "CREATE TABLE " + table + " (";
        bool first = true;
        for (const auto& c : columns) {
            sql += (first ? "" : ", ") + c + (c == "deitemcom" || c == "commins" ? " varchar(250)" : " int");
            first = false;
        }
        if (columns.empty()) sql += "id int";
        run(db, sql + ")");
    }
    for (const auto& r : expected_objects(Engine::SqlServer).routines)
        run(db, "CREATE FUNCTION " + r + "() RETURNS int LANGUAGE sql AS 'SELECT 1'");
    if (legacy)
        run(db, "INSERT INTO details (quoteid, line, dehasitemcom, deitemcomtype, deitemcom) SELECT g / 10, g % 10, 1, "
                "g % 3, 'comment ' || g FROM generate_series(1, " + std::to_string(flagged_lines) + ") g");
}

}  // namespace

int main(int argc, char** argv) {
    int attempts = 10, lines = 10000;
    if (argc > 3 || (argc >= 2 && (attempts = std::atoi(argv[1])) < 1) ||
        (argc == 3 && (lines = std::atoi(argv[2])) < 0)) {
        std::cerr << "usage: check-bench [R] [N]   (R attempts, default 10; N flagged lines, default 10000)\n";
        return 2;
    }
    if (!PostgresServer::configured()) {
        std::printf("check-bench: skipped (run through tests/with-postgres.sh)\n");
        return 0;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path dir = write_odbc_config({{"bench_pg_admin", BenchDsn::Kind::Postgres, "postgres"},
                                            {"bench_full", BenchDsn::Kind::Postgres, full_database},
                                            {"bench_half", BenchDsn::Kind::Postgres, half_database}});
    OdbcConnector connector;
    auto admin = connect(connector, "bench_pg_admin");
    for (const char* name : {full_database, half_database}) {
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + name + " WITH (FORCE)");
        run(*admin, std::string("CREATE DATABASE ") + name);
    }
    {
        auto full = connect(connector, "bench_full");
        make_schema(*full, false, 0);
        auto half = connect(connector, "bench_half");
        make_schema(*half, true, lines);
    }
    auto full = connect(connector, "bench_full");
    auto half = connect(connector, "bench_half");

    struct Way {
        std::string name;
        std::function<std::string()> once;  // returns the verdict, so that a wrong state shows
        Timings timings;
    };
    auto inspect = [](Session& s, Engine e) {
        const DataSourceCheck d = inspect_database(s, e);
        return std::to_string(static_cast<int>(d.verdict)) + " (" + std::to_string(d.missing_tables.size()) + " tables, " +
               std::to_string(d.missing_columns.size()) + " columns, " + std::to_string(d.missing_routines.size()) +
               " procedures missing; " + std::to_string(d.lines_to_move) + " lines to move)";
    };
    std::vector<Way> ways{
        {"full, SQL Server lists", [&] { return inspect(*full, Engine::SqlServer); }, {}},
        {"full, Pervasive lists", [&] { return inspect(*full, Engine::Pervasive); }, {}},
        {"half, Pervasive lists, " + std::to_string(lines) + " lines", [&] { return inspect(*half, Engine::Pervasive); }, {}},
        {"whole check, connecting included",
         [&] {
             const CheckReport r = check_data_sources({{"bench_full"}, {}}, connector, {});
             return std::to_string(static_cast<int>(r.data_sources.at(0).verdict));
         },
         {}},
    };
    std::vector<std::string> verdicts(ways.size());
    for (int attempt = 0; attempt < attempts; ++attempt)
        for (std::size_t i = 0; i < ways.size(); ++i) {
            const auto started = Clock::now();
            verdicts[i] = ways[i].once();
            ways[i].timings.seconds.push_back(std::chrono::duration<double>(Clock::now() - started).count());
        }
    std::printf("Check of one data source on PostgreSQL, %d attempts, seconds (min / median / max); verdict 0: up to date, "
                "1: needs the update\n",
                attempts);
    for (std::size_t i = 0; i < ways.size(); ++i)
        std::printf("  %-40s %.4f / %.4f / %.4f   verdict %s\n", ways[i].name.c_str(), ways[i].timings.min(),
                    ways[i].timings.median(), ways[i].timings.max(), verdicts[i].c_str());
    full.reset();
    half.reset();
    for (const char* name : {full_database, half_database})
        run(*admin, std::string("DROP DATABASE IF EXISTS ") + name + " WITH (FORCE)");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}

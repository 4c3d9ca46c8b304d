// A private ODBC configuration for a test process, so that tests run against
// the real unixODBC driver manager, the SQLite ODBC driver and a real
// PostgreSQL server without touching the machine's own data sources.
//
// unixODBC reads ODBCSYSINI/ODBCINSTINI once per process, at its first call,
// and caches ini contents for a while. So every data source a test executable
// needs is defined up front, before the first ODBC call of the process: from a
// static initialiser of the test file, e.g.
//
//   const std::string kLite = sp::testing::OdbcSandbox::instance().add_sqlite("lite");
//   const std::string kPg = sp::testing::OdbcSandbox::instance().add_postgres("pg");
//
// and in the test (or its SetUp), before connecting to kPg:
//
//   SP_REQUIRE_POSTGRES(kPg);
//
// which skips when SP_PG_PORT is not set (the test runs outside
// tests/with-postgres.sh) and fails when it is set but the server cannot be
// reached. The odbcinst.ini of the sandbox names two drivers: "SQLite3"
// (libsqlite3odbc.so) and "PostgreSQL" (psqlodbcw.so).
//
// Tests that need several different configurations in one executable (data
// source discovery) use run_isolated(), which runs a function in a child
// process with a configuration of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "odbc/database.h"

namespace sp::testing {

// One section of odbc.ini: a data source and its attributes in file order.
struct DsnEntry {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// A data source whose only attribute is Driver= (when driver is not empty).
DsnEntry dsn_with_driver(std::string name, std::string driver);

// The connection of a PostgreSQL data source; by default that of the server
// of tests/with-postgres.sh (SP_PG_HOST, SP_PG_PORT, SP_PG_USER, SP_PG_PASSWORD).
struct PostgresLogin {
    std::string host;
    std::string port;
    std::string user;
    std::string password;
    static PostgresLogin from_environment();
};

// Full path of a driver library in the usual Debian places, or the bare file
// name when it is not found there.
std::string odbc_driver_library(const std::string& file);

// A TCP port on 127.0.0.1 on which nothing listens (just released by us).
int closed_local_port();

class OdbcSandbox {
public:
    // The process's sandbox, made on first use: a temporary directory with
    // odbcinst.ini, a system odbc.ini and a user odbc.ini, and ODBCSYSINI,
    // ODBCINSTINI and ODBCINI pointing at them. Removed at exit.
    static OdbcSandbox& instance();

    // True when SP_PG_PORT is set: PostgreSQL tests must then run, and fail
    // when the server cannot be reached.
    static bool postgres_configured();

    // An SQLite data source whose database is a file of the sandbox (made by
    // the driver on first connection). Returns the name.
    std::string add_sqlite(const std::string& name);
    // A PostgreSQL data source on a database of its own, named after the
    // process and the data source; prepare_postgres() makes it.
    std::string add_postgres(const std::string& name, PostgresLogin login = PostgresLogin::from_environment());
    void add_system_dsn(DsnEntry entry);
    void add_user_dsn(DsnEntry entry);

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path sqlite_file(const std::string& name) const { return dir_ / (name + ".sqlite"); }
    // The database behind a data source of add_postgres().
    std::string postgres_database(const std::string& dsn) const;

    // Makes the database of a data source of add_postgres() afresh (dropping
    // what an earlier run left), once per process; a failure says why.
    ::testing::AssertionResult prepare_postgres(const std::string& dsn);
    // Drops the databases prepare_postgres() made; run after the last test.
    void drop_databases();
    // A superuser session on the server's "postgres" database.
    Result<std::unique_ptr<Session>> connect_admin();

    // Runs body in a child process whose ODBC configuration holds exactly
    // the given user and system data sources, and returns what body returned
    // (or a text beginning with "child failed" when the child did not finish).
    // The calling process must not have made an ODBC call before: a child
    // shares the driver manager's cached state of its parent.
    static std::string run_isolated(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                                    const std::function<std::string()>& body);

    ~OdbcSandbox();
    OdbcSandbox(const OdbcSandbox&) = delete;
    OdbcSandbox& operator=(const OdbcSandbox&) = delete;

private:
    OdbcSandbox();
    void write_files() const;

    std::filesystem::path dir_;
    std::vector<DsnEntry> user_;
    std::vector<DsnEntry> system_;
    std::vector<std::string> created_databases_;
};

}  // namespace sp::testing

// Skips the test when no PostgreSQL server is configured; fails it when one
// is configured but the data source's database cannot be made.
#define SP_REQUIRE_POSTGRES(dsn)                                                                          \
    do {                                                                                                  \
        if (!::sp::testing::OdbcSandbox::postgres_configured())                                           \
            GTEST_SKIP() << "SP_PG_PORT is not set: run the tests through tests/with-postgres.sh to include " \
                            "the PostgreSQL cases";                                                       \
        ASSERT_TRUE(::sp::testing::OdbcSandbox::instance().prepare_postgres(dsn));                        \
    } while (0)

// A private ODBC configuration for a test process: the real unixODBC driver manager with the SQLite and
// PostgreSQL drivers, and none of the machine's data sources. unixODBC finds it at the first ODBC call, so
// data sources are added before, in static initialisers; a test on a PostgreSQL one calls SP_REQUIRE_POSTGRES.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "odbc/odbc_session.h"

namespace sp::testing {

// One section of odbc.ini: a data source and its attributes in file order.
struct DsnEntry {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// By default the server of tests/with-postgres.sh (SP_PG_HOST, SP_PG_PORT, SP_PG_USER, SP_PG_PASSWORD).
struct PostgresLogin {
    std::string host, port, user, password;
    static PostgresLogin from_environment();
};

// Full path of a driver library in the usual Debian places, or the bare file name.
std::string odbc_driver_library(const std::string& file);

// A quote database of the previous version, as far as the statements need it, in the Pervasive wording
// (on PostgreSQL with domains for TINYINT and CURRENCY); `details` are the rows of Details.
std::vector<std::string> legacy_schema(bool postgres, const std::string& details);

// A TCP port on 127.0.0.1 on which nothing listens (tcpmux's, which no test machine serves).
inline int closed_local_port() { return 1; }

class OdbcSandbox {
public:
    // Made on first use; its drivers are "SQLite3", "PostgreSQL" and "SQL Server" (FreeTDS).
    static OdbcSandbox& instance();

    // Each adds a data source and returns its name. An SQLite database is a file here; a PostgreSQL
    // data source has a database of its own, made by prepare_postgres().
    std::string add(DsnEntry entry);
    std::string add_sqlite(const std::string& name);
    std::string add_postgres(const std::string& name);
    std::filesystem::path sqlite_file(const std::string& name) const { return dir_ / (name + ".sqlite"); }
    std::string postgres_database(const std::string& dsn) const;
    bool is_postgres(const std::string& dsn) const;

    // True when SP_PG_PORT is set: PostgreSQL tests must then run.
    static bool postgres_configured();
    // Makes the database afresh, once per process; a failure says why.
    ::testing::AssertionResult prepare_postgres(const std::string& dsn);
    // A superuser session on the server's "postgres" database.
    Result<std::unique_ptr<Session>> connect_admin();

    // Runs body while the driver manager's files hold exactly these data sources and drivers (none given: the
    // sandbox's), then puts back what they held, so that one may run inside another.
    static void run_isolated(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                             const std::function<void()>& body, const std::vector<DsnEntry>& drivers = {});

    OdbcSandbox(const OdbcSandbox&) = delete;
    ~OdbcSandbox();

private:
    struct DropDatabases;  // after the last test
    OdbcSandbox();

    std::filesystem::path dir_;
    std::vector<DsnEntry> system_;
    std::vector<std::string> created_databases_;
};

// Each statement in turn; a failure fails the test and ends the list.
void run(Session& session, const std::vector<std::string>& sql);
// Every row of a query; a failure fails the test.
std::vector<Row> rows(Session& session, const std::string& sql);

// A test on SQLite and on PostgreSQL through their drivers, the parameter being the data source: each test
// starts connected to an empty database (the PostgreSQL case is skipped without a server).
class OnEngine : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override;
    bool postgres() const { return OdbcSandbox::instance().is_postgres(GetParam()); }
    std::unique_ptr<Session> connect(int query_timeout_s = 30);  // nullptr, and a failure, if it cannot
    void run(const std::string& sql) { testing::run(*session_, {sql}); }
    std::vector<Row> rows(const std::string& sql) { return testing::rows(*session_, sql); }

    OdbcConnector connector_;
    std::unique_ptr<Session> session_;
};
// Names the instantiations "SQLite" and "PostgreSQL".
std::string engine_name(const ::testing::TestParamInfo<std::string>& info);

}  // namespace sp::testing

// Skips the test without a PostgreSQL server; fails it when the data source's database cannot be made.
#define SP_REQUIRE_POSTGRES(dsn)                                                                  \
    do {                                                                                          \
        if (!::sp::testing::OdbcSandbox::postgres_configured())                                   \
            GTEST_SKIP() << "SP_PG_PORT is not set: run the tests through tests/with-postgres.sh"; \
        ASSERT_TRUE(::sp::testing::OdbcSandbox::instance().prepare_postgres(dsn));                \
    } while (0)

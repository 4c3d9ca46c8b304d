// What the benchmark programs share: a private ODBC configuration, sessions
// that end the program on failure, a hand-written ODBC connection for the
// raw baselines, and figures as min/median/max over interleaved attempts.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "odbc/odbc_session.h"

namespace sp::bench {

// The PostgreSQL server of tests/with-postgres.sh, when its variables are set.
struct PostgresServer {
    std::string host, port, user, password;
    static bool configured();
    static PostgresServer from_environment();
};

// A data source of the private configuration.
struct BenchDsn {
    std::string name;
    enum class Kind { Sqlite, SqliteNoSync, Postgres } kind;
    std::string database;  // SQLite: a file; PostgreSQL: a database name
    int port = 0;          // PostgreSQL: 0 for the server's own port, else a proxy's
};

// Writes odbcinst.ini and odbc.ini into a fresh temporary folder and points
// unixODBC at it; must come before the first ODBC call. Returns the folder.
std::filesystem::path write_odbc_config(const std::vector<BenchDsn>& dsns);

std::string driver_library(const std::string& file);

[[noreturn]] void fail(const std::string& what, const DbError& error);
std::unique_ptr<Session> connect(Connector& connector, const std::string& dsn);
void run(Session& session, const std::string& sql);
std::string first_value(Session& session, const std::string& sql);
long long count(Session& session, const std::string& sql);
std::string replace_all(std::string text, const std::string& from, const std::string& to);

// A connection made with the ODBC API alone, as a hand-written program
// would; the baseline that ours is compared with. Exits on failure.
class RawConnection {
public:
    explicit RawConnection(const std::string& dsn);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    SQLHDBC dbc() const { return dbc_; }
    // A statement handle of this connection; freed by the caller.
    SQLHSTMT statement() const;
    // Exits with the first diagnostic record when rc is a failure.
    static void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what);

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
};

// Times of one way over several attempts.
struct Timings {
    std::vector<double> seconds;
    double min() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double max() const { return *std::max_element(seconds.begin(), seconds.end()); }
    double median() const;
};

}  // namespace sp::bench

#include "bench/bench_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace sp::bench {

bool PostgresServer::configured() {
    return std::getenv("SP_PG_HOST") && std::getenv("SP_PG_PORT") && std::getenv("SP_PG_USER") &&
           std::getenv("SP_PG_PASSWORD");
}

PostgresServer PostgresServer::from_environment() {
    return {std::getenv("SP_PG_HOST"), std::getenv("SP_PG_PORT"), std::getenv("SP_PG_USER"),
            std::getenv("SP_PG_PASSWORD")};
}

std::string driver_library(const std::string& file) {
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/", "/usr/lib/odbc/"})
        if (fs::exists(std::string(dir) + file)) return std::string(dir) + file;
    return file;
}

fs::path write_odbc_config(const std::vector<BenchDsn>& dsns) {
    char pattern[] = "/tmp/sp-bench.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    const fs::path dir = pattern;
    std::ofstream(dir / "odbcinst.ini") << "[SQLite3]\nDriver=" << driver_library("libsqlite3odbc.so")
                                        << "\n\n[PostgreSQL]\nDriver=" << driver_library("psqlodbcw.so") << "\n";
    std::ofstream ini(dir / "odbc.ini");
    for (const BenchDsn& dsn : dsns) {
        ini << "[" << dsn.name << "]\n";
        if (dsn.kind == BenchDsn::Kind::Postgres) {
            const PostgresServer server = PostgresServer::from_environment();
            ini << "Driver=PostgreSQL\nServername=" << server.host
                << "\nPort=" << (dsn.port ? std::to_string(dsn.port) : server.port) << "\nUsername=" << server.user
                << "\nPassword=" << server.password << "\nDatabase=" << dsn.database << "\nSSLmode=disable\n\n";
        } else {
            ini << "Driver=SQLite3\nDatabase=" << (dir / dsn.database).string() << "\nTimeout=2000\n"
                << (dsn.kind == BenchDsn::Kind::SqliteNoSync ? "SyncPragma=OFF\n" : "") << "\n";
        }
    }
    ini.close();
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
    return dir;
}

void fail(const std::string& what, const DbError& error) {
    std::cerr << "bench: " << what << ": " << error.sqlstate() << ' ' << error.messages() << '\n';
    std::exit(1);
}

std::unique_ptr<Session> connect(Connector& connector, const std::string& dsn) {
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

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void RawConnection::check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
    SQLCHAR state[6] = {}, message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    std::cerr << "bench: " << what << ": " << state << ' ' << message << '\n';
    std::exit(1);
}

RawConnection::RawConnection(const std::string& dsn) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    // As the program connects (odbc_session.cpp), so that only the way of sending differs.
    const std::string text = "DSN=" + dsn + ";UseDeclareFetch=1;Fetch=2000";
    check(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS,
                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc_, "connecting to " + dsn);
}

RawConnection::~RawConnection() {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLHSTMT RawConnection::statement() const {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_, "allocating a statement");
    return stmt;
}

double Timings::median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

}  // namespace sp::bench

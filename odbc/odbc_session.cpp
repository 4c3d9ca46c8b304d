#include "odbc/odbc_session.h"

#include <strings.h>

#include <cstring>
#include <string_view>

#include "odbc/credentials.h"
#include "odbc/odbc_cursor.h"
#include "odbc/odbc_prepared.h"

namespace sp::odbc {

namespace {

SQLCHAR* text_of(const std::string& sql) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())); }

SQLCHAR* pattern(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// Runs one catalog function on a new statement and reads the wanted columns
// (1-based) of every row of its result.
template <class Call>
Result<std::vector<Row>> read_catalog(const std::shared_ptr<Connection>& connection, const char* name,
                                      std::vector<std::size_t> wanted, Call&& call) {
    auto stmt = connection->new_statement();
    if (!stmt) return stmt.error();
    auto r = connection->run(*stmt, name, [&] { return call(stmt->get()); });
    if (!r) return r.error();
    SQLSMALLINT count = 0;
    if (auto c = SP_ODBC_CALL(stmt->diag(), SQLNumResultCols, stmt->get(), &count); !c) return c.error();
    OdbcCursor cursor(connection, std::move(stmt).value(), count);
    std::vector<Row> rows;
    for (;;) {
        auto row = cursor.fetch();
        if (!row) return row.error();
        if (!*row) break;
        Row picked;
        for (std::size_t column : wanted) picked.push_back(column <= (**row).size() ? (**row)[column - 1] : Value{});
        rows.push_back(std::move(picked));
    }
    (void)cursor.close();
    return rows;
}

Result<std::string> info_text(const DbcHandle& dbc, SQLUSMALLINT type) {
    char buffer[512] = {};
    SQLSMALLINT length = 0;
    if (auto r = SP_ODBC_CALL(dbc.diag(), SQLGetInfo, dbc.get(), type, buffer, static_cast<SQLSMALLINT>(sizeof buffer),
                              &length);
        !r)
        return r.error();
    return std::string(buffer);
}

// The driver library of a data source, as unixODBC knows it: the DSN's driver
// name (SQLDataSources), then that driver's "Driver=" attribute (SQLDrivers).
std::string driver_library(const EnvHandle& env, const std::string& dsn) {
    SQLCHAR name[1024], description[1024];
    SQLSMALLINT name_length = 0, description_length = 0;
    std::string driver;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = SQLDataSources(env.get(), direction, name, sizeof name, &name_length, description,
                                            sizeof description, &description_length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (strcasecmp(reinterpret_cast<const char*>(name), dsn.c_str()) == 0)
            driver = reinterpret_cast<const char*>(description);
    }
    if (driver.find('/') != std::string::npos) return driver;
    SQLCHAR attributes[4096];
    SQLSMALLINT attributes_length = 0;
    std::string library;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = SQLDrivers(env.get(), direction, name, sizeof name, &name_length, attributes,
                                        sizeof attributes, &attributes_length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (strcasecmp(reinterpret_cast<const char*>(name), driver.c_str()) != 0) continue;
        // Attributes: "key=value\0key=value\0\0".
        for (const char* a = reinterpret_cast<const char*>(attributes); *a; a += std::strlen(a) + 1)
            if (std::strncmp(a, "Driver=", 7) == 0) library = a + 7;
    }
    return library;
}

// FreeTDS ends a braced value at the first "}" followed by ";" or the end and
// does not undouble "}}": such a value would reach the server changed.
bool refuses_closing_brace(const EnvHandle& env, const std::string& dsn) {
    return driver_library(env, dsn).find("tdsodbc") != std::string::npos;
}

}  // namespace

Result<void> OdbcSession::execute(const std::string& sql) {
    if (!runner_) {
        auto stmt = connection_->new_statement();
        if (!stmt) return stmt.error();
        runner_ = std::move(stmt).value();
    }
    auto r = connection_->run(runner_, "SQLExecDirect", [&] {
        return SQLExecDirect(runner_.get(), text_of(sql), static_cast<SQLINTEGER>(sql.size()));
    });
    // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row; success.
    Result<void> outcome = r ? connection_->discard_results(runner_) : Result<void>(r.error());
    // After a failure results may still be pending: the next call needs the handle free.
    if (!outcome) SQLFreeStmt(runner_.get(), SQL_CLOSE);
    return outcome;
}

Result<std::unique_ptr<Cursor>> OdbcSession::query(const std::string& sql) {
    auto stmt = connection_->new_statement();
    if (!stmt) return stmt.error();
    auto r = connection_->run(*stmt, "SQLExecDirect", [&] {
        return SQLExecDirect(stmt->get(), text_of(sql), static_cast<SQLINTEGER>(sql.size()));
    });
    if (!r) return r.error();
    // The first result that has columns is the cursor's; results before it
    // (row counts of a batch) are passed over.
    SQLSMALLINT columns = 0;
    for (;;) {
        if (auto c = SP_ODBC_CALL(stmt->diag(), SQLNumResultCols, stmt->get(), &columns); !c) return c.error();
        if (columns > 0) break;
        auto more = connection_->run(*stmt, "SQLMoreResults", [&] { return SQLMoreResults(stmt->get()); });
        if (!more) return more.error();
        if (*more == SQL_NO_DATA) break;
    }
    return std::unique_ptr<Cursor>(std::make_unique<OdbcCursor>(connection_, std::move(stmt).value(), columns));
}

Result<std::unique_ptr<PreparedStatement>> OdbcSession::prepare(const std::string& sql,
                                                                const std::vector<ParamSpec>& params) {
    return OdbcPreparedStatement::prepare(connection_, sql, params);
}

Result<ServerInfo> OdbcSession::server_info() {
    ServerInfo info;
    auto name = info_text(connection_->dbc(), SQL_DBMS_NAME);
    if (!name) return name.error();
    info.dbms_name = std::move(*name);
    if (auto version = info_text(connection_->dbc(), SQL_DBMS_VER)) info.dbms_version = std::move(*version);
    if (auto database = info_text(connection_->dbc(), SQL_DATABASE_NAME)) info.database = std::move(*database);
    return info;
}

Result<std::vector<std::string>> OdbcSession::tables() {
    auto rows = read_catalog(connection_, "SQLTables", {3}, [](SQLHSTMT stmt) {
        return SQLTables(stmt, nullptr, 0, nullptr, 0, pattern("%"), SQL_NTS, pattern("TABLE"), SQL_NTS);
    });
    if (!rows) return rows.error();
    std::vector<std::string> names;
    for (const Row& row : *rows)
        if (row[0]) names.push_back(*row[0]);
    return names;
}

Result<std::vector<ColumnName>> OdbcSession::columns() {
    auto rows = read_catalog(connection_, "SQLColumns", {3, 4}, [](SQLHSTMT stmt) {
        return SQLColumns(stmt, nullptr, 0, nullptr, 0, pattern("%"), SQL_NTS, pattern("%"), SQL_NTS);
    });
    if (!rows) return rows.error();
    std::vector<ColumnName> names;
    for (const Row& row : *rows)
        if (row[0] && row[1]) names.push_back({*row[0], *row[1]});
    return names;
}

Result<std::vector<std::string>> OdbcSession::procedures() {
    auto rows = read_catalog(connection_, "SQLProcedures", {3}, [](SQLHSTMT stmt) {
        return SQLProcedures(stmt, nullptr, 0, nullptr, 0, pattern("%"), SQL_NTS);
    });
    if (!rows) return rows.error();
    std::vector<std::string> names;
    for (const Row& row : *rows) {
        if (!row[0]) continue;
        // SQL Server names a procedure with its group number: "sprQuoteType;1".
        const std::string& name = *row[0];
        names.push_back(name.substr(0, name.find(';')));
    }
    return names;
}

Result<std::unique_ptr<PreparedStatement>> OdbcSession::prepare_array(const std::string& sql,
                                                                      const std::vector<ParamSpec>& params,
                                                                      std::size_t sets) {
    return OdbcPreparedStatement::prepare(connection_, sql, params, sets);
}

namespace {
// Opens a session as OdbcConnector::connect() describes. env is held by value:
// the connector may be gone before a login it no longer waits for ends.
Result<std::unique_ptr<Session>> open_session(std::shared_ptr<const EnvHandle> env, const ConnectOptions& options);
}  // namespace

OdbcSession::~OdbcSession() { wipe(options_.password); }

Result<std::unique_ptr<Session>> OdbcSession::open_reader() {
    ConnectOptions options = options_;
    WipeOnExit wipe_copy(options.password);
    options.read_only = true;
    auto reader = open_session(connection_->env(), options);
    if (reader) {
        std::lock_guard<std::mutex> lock(reader_mutex_);
        reader_ = static_cast<OdbcSession&>(**reader).connection_;
    }
    return reader;
}

void OdbcSession::cancel() {
    connection_->cancel();
    std::shared_ptr<Connection> reader;
    {
        std::lock_guard<std::mutex> lock(reader_mutex_);
        reader = reader_.lock();
    }
    if (reader) reader->cancel();
}

Result<std::unique_ptr<Session>> OdbcConnector::connect(const ConnectOptions& options) {
    if (!env_) {
        auto env = allocate_environment();
        if (!env) return env.error();
        env_ = std::make_shared<const EnvHandle>(std::move(env).value());
    }
    return open_session(env_, options);
}

namespace {

Result<std::unique_ptr<Session>> open_session(std::shared_ptr<const EnvHandle> env, const ConnectOptions& options) {
    auto dbc = allocate_connection(*env);
    if (!dbc) return dbc.error();
    const auto login_timeout = static_cast<SQLULEN>(options.login_timeout_s > 0 ? options.login_timeout_s : 0);
    if (auto r = SP_ODBC_CALL(dbc->diag(), SQLSetConnectAttr, dbc->get(), SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(login_timeout), 0);
        !r)
        return r.error();

    // psqlODBC reads a whole result into memory when it executes a query,
    // unless told to fetch it through a server-side cursor, a block of rows
    // at a time (a cursor kept over commits, so that statements sent while
    // it is open still commit on their own). Drivers that do not know these
    // attributes pass them over (ODBC: 01S00 at most).
    std::string text = "DSN=" + options.dsn + ";UseDeclareFetch=1;Fetch=2000";
    WipeOnExit wipe_text(text);
    if (!options.user.empty() || !options.password.empty()) {
        const bool brace = (options.user + options.password).find('}') != std::string::npos;
        if (brace && refuses_closing_brace(*env, options.dsn))
            return DbError::make("28000",
                                 "The user name or password contains \"}\", which the FreeTDS driver of this data "
                                 "source cannot receive in a connection string: it would send a different value. "
                                 "Choose a password without \"}\" for this login.");
        // Each value ends with "};": FreeTDS takes a final "}" without ";" as part of the value.
        text += ";UID=" + braced(options.user) + ";PWD=" + braced(options.password) + ";";
    }
    if (auto r = SP_ODBC_CALL(dbc->diag(), SQLDriverConnect, dbc->get(), nullptr, text_of(text),
                              static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        !r)
        return r.error();
    dbc->mark_connected();

    if (auto r = SP_ODBC_CALL(dbc->diag(), SQLSetConnectAttr, dbc->get(), SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)), 0);
        !r)
        return r.error();

    // A hint to the driver: some enforce it, others ignore it or refuse the
    // attribute (optional in ODBC). Either way the caller sends no change.
    if (options.read_only)
        (void)SP_ODBC_CALL(dbc->diag(), SQLSetConnectAttr, dbc->get(), SQL_ATTR_ACCESS_MODE,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_ONLY)), 0);

    // A driver that cannot say is taken to allow one active statement only.
    SQLUSMALLINT activities = 1;
    if (auto r = SP_ODBC_CALL(dbc->diag(), SQLGetInfo, dbc->get(), SQL_MAX_CONCURRENT_ACTIVITIES, &activities,
                              static_cast<SQLSMALLINT>(sizeof activities), nullptr);
        !r)
        activities = 1;

    // sqliteodbc's SQLCancel also closes the statement, freeing its results
    // under the feet of the thread that runs it (a crash, seen here); with it
    // a statement cannot be cancelled from another thread.
    char driver[256] = {};
    SQLSMALLINT driver_length = 0;
    bool cancel_across_threads = true;
    if (auto r = SP_ODBC_CALL(dbc->diag(), SQLGetInfo, dbc->get(), SQL_DRIVER_NAME, driver,
                              static_cast<SQLSMALLINT>(sizeof driver), &driver_length);
        r && std::string_view(driver).find("sqlite") != std::string_view::npos)
        cancel_across_threads = false;

    auto connection = std::make_shared<Connection>(env, std::move(dbc).value(), options.query_timeout_s,
                                                   cancel_across_threads);
    return std::unique_ptr<Session>(std::make_unique<OdbcSession>(std::move(connection), activities, options));
}

}  // namespace

}  // namespace sp::odbc

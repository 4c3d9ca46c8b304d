// The database interface over a real ODBC driver manager (unixODBC): a
// connector that opens sessions to data sources by name, and the session that
// sends statements through one connection.
#pragma once

#include <memory>
#include <mutex>

#include "odbc/connection.h"
#include "odbc/database.h"

namespace sp::odbc {

class OdbcSession : public Session {
public:
    // max_concurrent_activities as SQLGetInfo reports it (0: no limit).
    // options: how the session was opened, for open_reader().
    OdbcSession(std::shared_ptr<Connection> connection, SQLUSMALLINT max_concurrent_activities,
                ConnectOptions options)
        : connection_(std::move(connection)), max_activities_(max_concurrent_activities), options_(std::move(options)) {}
    ~OdbcSession() override;

    // SQLExecDirect of the exact text; every result is consumed. One
    // statement handle serves every call, its timeout set when it is made.
    Result<void> execute(const std::string& sql) override;
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override;
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override;
    Result<std::unique_ptr<PreparedStatement>> prepare_array(const std::string& sql,
                                                             const std::vector<ParamSpec>& params,
                                                             std::size_t sets) override;
    // A driver that allows one active statement (SQL Server without MARS)
    // cannot run a statement while a cursor has rows pending.
    bool can_write_while_reading() const override { return max_activities_ != 1; }
    // Also cancels the statement in flight on the connection open_reader() opened.
    void cancel() override;

    Result<ServerInfo> server_info() override;
    Result<std::vector<std::string>> tables() override;
    Result<std::vector<ColumnName>> columns() override;
    Result<std::vector<std::string>> procedures() override;
    // Connects again as this session did, asking for a read-only connection.
    Result<std::unique_ptr<Session>> open_reader() override;

private:
    std::shared_ptr<Connection> connection_;
    SQLUSMALLINT max_activities_;
    ConnectOptions options_;  // its password wiped when the session ends
    std::mutex reader_mutex_;  // cancel() comes from another thread
    std::weak_ptr<Connection> reader_;
    StmtHandle runner_;  // execute()'s handle, made at its first call
};

class OdbcConnector : public Connector {
public:
    // Connects to "DSN=" followed by options.dsn, with SQL_DRIVER_NOPROMPT;
    // the login timeout is set first, autocommit is on; with options.read_only
    // the connection is then put in read-only mode where the driver allows it.
    Result<std::unique_ptr<Session>> connect(const ConnectOptions& options) override;

private:
    std::shared_ptr<const EnvHandle> env_;  // allocated by the first connect()
};

}  // namespace sp::odbc

namespace sp {
using odbc::OdbcConnector;
using odbc::OdbcSession;
}  // namespace sp

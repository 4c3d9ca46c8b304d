// The database interface that the upgrade talks to. The ODBC session
// (odbc_session.h) implements it over a real driver; tests swap in fakes that
// record what is sent and script the answers, which is also how the engines
// that cannot run here (SQL Server, Pervasive) are modelled.
//
// What a failure means is read from its DbError by the error policy. The
// Pervasive driver's SQLSTATEs and native numbers are not documented: beyond
// the SQLSTATE class, only its message texts are known, so its native
// numbers are never given a meaning.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/result.h"

namespace sp {

// A column value as text; std::nullopt is SQL NULL.
using Value = std::optional<std::string>;
using Row = std::vector<Value>;

// A forward-only result set.
class Cursor {
public:
    virtual ~Cursor() = default;
    // The next row, or std::nullopt after the last one.
    virtual Result<std::optional<Row>> fetch() = 0;
    // Ends the result set. Destroying a cursor also ends it, silently.
    virtual Result<void> close() = 0;
};

enum class ParamType {
    Integer,  // 4-byte signed integer
    TinyInt,  // 1-byte signed integer (-128 to 127)
    VarChar,  // character string of at most ParamSpec::size characters
};

struct ParamSpec {
    ParamType type;
    int size = 0;  // VarChar only
};

// A parameter value; neither field set is SQL NULL.
struct ParamValue {
    std::optional<std::int64_t> integer;  // Integer and TinyInt
    std::optional<std::string> text;      // VarChar
    static ParamValue null() { return {}; }
    static ParamValue of(std::int64_t v) { return {v, std::nullopt}; }
    static ParamValue of(std::string v) { return {std::nullopt, std::move(v)}; }
    bool is_null() const { return !integer && !text; }
};

// What the driver reported for one parameter set of an array execution.
enum class SetStatus {
    Done,     // executed (committed with the array; see ArrayOutcome)
    Failed,   // executed and failed
    Unused,   // not executed: the driver stopped before it
    Unknown,  // the driver did not say
};

struct ArrayOutcome {
    std::vector<SetStatus> sets;  // one per parameter set given
    std::optional<DbError> error;  // the call failed (some sets may still be done)
    // Every set reported done and the call succeeded: all are in the database.
    bool all_done() const {
        if (error) return false;
        for (SetStatus s : sets)
            if (s != SetStatus::Done) return false;
        return true;
    }
};

// A statement prepared once and executed many times with new values.
class PreparedStatement {
public:
    virtual ~PreparedStatement() = default;
    virtual Result<void> execute(const std::vector<ParamValue>& values) = 0;
    // How many parameter sets one execute_array() carries: 1 where the driver
    // cannot run arrays of parameters or does not say how it reports on them.
    virtual std::size_t array_size() const { return 1; }
    // Executes the statement for each set, at most array_size() of them, in one call.
    virtual ArrayOutcome execute_array(const std::vector<std::vector<ParamValue>>& sets) {
        ArrayOutcome outcome;
        outcome.sets.assign(sets.size(), SetStatus::Unused);
        for (std::size_t i = 0; i < sets.size(); ++i) {
            auto r = execute(sets[i]);
            outcome.sets[i] = r ? SetStatus::Done : SetStatus::Failed;
            if (!r) {
                outcome.error = r.error();
                break;
            }
        }
        return outcome;
    }
};

// What the driver says of the server behind a connection (SQLGetInfo).
struct ServerInfo {
    std::string dbms_name;     // SQL_DBMS_NAME, e.g. "Microsoft SQL Server"
    std::string dbms_version;  // SQL_DBMS_VER
    std::string database;      // SQL_DATABASE_NAME: the database the connection is in
};

// A column as the catalog names it.
struct ColumnName {
    std::string table;
    std::string column;
};

// One open connection, in autocommit: every statement commits on its own.
class Session {
public:
    virtual ~Session() = default;
    // Sends one statement exactly as given; any result set is discarded.
    virtual Result<void> execute(const std::string& sql) = 0;
    virtual Result<std::unique_ptr<Cursor>> query(const std::string& sql) = 0;
    virtual Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                               const std::vector<ParamSpec>& params) = 0;
    // A statement that runs up to `sets` parameter sets per call where the
    // driver can (see PreparedStatement::array_size()); otherwise prepare().
    virtual Result<std::unique_ptr<PreparedStatement>> prepare_array(const std::string& sql,
                                                                     const std::vector<ParamSpec>& params,
                                                                     std::size_t sets) {
        (void)sets;
        return prepare(sql, params);
    }
    // False where a statement cannot run while a cursor of the same connection
    // still has rows pending (SQL Server without MARS).
    virtual bool can_write_while_reading() const = 0;
    // Cancels the statement in flight, if any. Safe to call from another thread.
    virtual void cancel() = 0;

    // The catalog, read through the driver's catalog functions, which every
    // engine answers alike; a session without them answers IM001. Names come
    // as the engine stores them (PostgreSQL folds them to lower case).
    virtual Result<ServerInfo> server_info() { return no_catalog(); }
    // Every table (type TABLE) of the connection's database: one SQLTables call.
    virtual Result<std::vector<std::string>> tables() { return no_catalog(); }
    // Every column of those tables: one SQLColumns call.
    virtual Result<std::vector<ColumnName>> columns() { return no_catalog(); }
    // Every stored procedure and function, without SQL Server's ";1" suffix: one SQLProcedures call.
    virtual Result<std::vector<std::string>> procedures() { return no_catalog(); }
    // A second session to the same database with the same login, for reading
    // a long result while this one writes, where it cannot do both at once.
    virtual Result<std::unique_ptr<Session>> open_reader() {
        return DbError::make("IM001", "The session cannot open a second connection.");
    }

private:
    static DbError no_catalog() { return DbError::make("IM001", "The driver does not answer catalog calls."); }
};

struct ConnectOptions {
    std::string dsn;              // a data-source name, already checked by the caller
    int login_timeout_s = 0;      // 0: no limit
    int query_timeout_s = 30;     // applied to every statement; 0: no limit
    bool read_only = false;       // asks the driver for a read-only connection (SQL_ATTR_ACCESS_MODE)
    // Given on the command line or in the window; empty: the data source's own.
    // Cleared by whoever filled them once they are no longer needed.
    std::string user{};
    std::string password{};
};

class Connector {
public:
    virtual ~Connector() = default;
    // Connects to "DSN=" followed by options.dsn. May run on a thread of its
    // own that a stop request abandons (core/connect_attempt.h): once the
    // attempt has started it must not need the connector object any more.
    virtual Result<std::unique_ptr<Session>> connect(const ConnectOptions& options) = 0;
};

}  // namespace sp

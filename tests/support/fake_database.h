// A fake of our database interface: it records every text sent, in order,
// and answers from a script the test sets up. It stands in for SQL Server and
// Pervasive, which cannot run here, and injects faults that real engines
// produce only with difficulty.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/database.h"

namespace sp::testing {

struct FakeDatabase {
    // Every call, in order: "connect DSN", "execute SQL", "query SQL",
    // "prepare SQL", "insert v1|v2|...", "close", "cancel". Values print as
    // NULL or their text.
    std::vector<std::string> log;

    // Decides the answer to execute() and query(); std::nullopt is success.
    std::function<std::optional<DbError>(const std::string& sql)> fail;
    // Rows answered by query(sql); a query not listed answers no rows.
    std::map<std::string, std::vector<Row>> rows;
    // Fails fetch() of the query's cursor after this many rows (-1: never).
    std::map<std::string, std::pair<int, DbError>> fetch_fail;
    // Decides the answer to one execution of a prepared statement.
    std::function<std::optional<DbError>(const std::string& sql, const std::vector<ParamValue>&)> fail_execute;
    std::optional<DbError> close_error;  // every cursor's close() fails with it
    std::function<std::optional<DbError>(const ConnectOptions&)> fail_connect;
    std::vector<ConnectOptions> connects;
    // False: as with a connection that runs one statement at a time, any
    // statement fails while a cursor has rows left to read.
    bool write_while_reading = true;
    bool reading = false;
    // What the catalog calls answer ("catalog tables", "catalog columns", ... in
    // the log); unset, they fail as with a driver that has no catalog functions.
    struct Catalog {
        ServerInfo server;
        std::vector<std::string> tables;
        std::vector<ColumnName> columns;
        std::vector<std::string> procedures;
    };
    std::optional<Catalog> catalog;

    // The statements sent through execute(), in order.
    std::vector<std::string> executed() const;
};

class FakeSession : public Session {
public:
    explicit FakeSession(FakeDatabase& db) : db_(db) {}
    Result<void> execute(const std::string& sql) override;
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override;
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override;
    bool can_write_while_reading() const override { return db_.write_while_reading; }
    void cancel() override { db_.log.push_back("cancel"); }
    Result<ServerInfo> server_info() override { return answer("server", &FakeDatabase::Catalog::server); }
    Result<std::vector<std::string>> tables() override { return answer("tables", &FakeDatabase::Catalog::tables); }
    Result<std::vector<ColumnName>> columns() override { return answer("columns", &FakeDatabase::Catalog::columns); }
    Result<std::vector<std::string>> procedures() override {
        return answer("procedures", &FakeDatabase::Catalog::procedures);
    }

private:
    template <class T>
    Result<T> answer(const std::string& call, T FakeDatabase::Catalog::*part) {
        db_.log.push_back("catalog " + call);
        if (!db_.catalog) return DbError::make("IM001", "Driver does not support this function");
        return (*db_.catalog).*part;
    }

    FakeDatabase& db_;
};

class FakeConnector : public Connector {
public:
    explicit FakeConnector(FakeDatabase& db) : db_(db) {}
    Result<std::unique_ptr<Session>> connect(const ConnectOptions& options) override;

private:
    FakeDatabase& db_;
};

// Errors as drivers report them.
DbError sql_error(const std::string& sqlstate, std::int32_t native = 0, const std::string& message = "error");

std::string to_text(const ParamValue& v);

}  // namespace sp::testing

// A fake of our database interface: it records every text sent, in order, and answers from a script the test sets up.
// It stands in for SQL Server and Pervasive, which cannot run here, and injects faults that real engines produce only
// with difficulty.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/database.h"

namespace sp::testing {

inline DbError sql_error(const std::string& sqlstate, std::int32_t native = 0, const std::string& message = "error") {
    return DbError::make(sqlstate, message, native);
}

struct FakeDatabase : Connector {
    // Every call, in order: "execute SQL", "query SQL", "prepare SQL", "insert v1|v2|..." (an execution of a prepared
    // statement: NULL or each value's text), "close", "cancel".
    std::vector<std::string> log;

    // Decides the answer to execute(), query() and prepare(), given the SQL, and to an execution of a prepared
    // statement, given its "insert ..." entry; std::nullopt is success.
    std::function<std::optional<DbError>(const std::string& sql)> fail;
    // Rows answered by query(sql); a query not listed answers no rows.
    std::map<std::string, std::vector<Row>> rows;
    // Fails fetch() of the query's cursor after this many rows.
    std::map<std::string, std::pair<int, DbError>> fetch_fail;
    std::optional<DbError> close_error;  // every cursor's close() fails with it
    std::function<std::optional<DbError>(const ConnectOptions&)> fail_connect;
    std::vector<ConnectOptions> connects;
    // False: as on a connection that runs one statement at a time, any statement fails while a cursor has rows left.
    bool write_while_reading = true;
    bool reading = false;
    // What the catalog calls answer; unset, they fail as with a driver that has no catalog functions.
    struct Catalog {
        ServerInfo server;
        std::vector<std::string> tables;
        std::vector<ColumnName> columns;
        std::vector<std::string> procedures;
    };
    std::optional<Catalog> catalog;

    // What was executed, in order: the statements sent through execute(), or with "insert " the values of each
    // execution of a prepared statement.
    std::vector<std::string> executed(const std::string& kind = "execute ") const {
        std::vector<std::string> out;
        for (const auto& entry : log)
            if (entry.starts_with(kind)) out.push_back(entry.substr(kind.size()));
        return out;
    }
    Result<std::unique_ptr<Session>> connect(const ConnectOptions& options) override;
    // Logs the call and answers it: busy while a cursor is read, else as `fail` decides for `decides`.
    Result<void> send(const std::string& entry, const std::string& decides) {
        log.push_back(entry);
        if (reading) return sql_error("HY000", 0, "Connection is busy with results for another command");
        if (auto e = fail ? fail(decides) : std::nullopt) return *e;
        return {};
    }
};

struct FakeSession : Session {
    explicit FakeSession(FakeDatabase& db) : db_(db) {}
    Result<void> execute(const std::string& sql) override { return db_.send("execute " + sql, sql); }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override {
        if (auto r = db_.send("query " + sql, sql); !r) return r.error();
        auto fail = db_.fetch_fail.find(sql);
        db_.reading = !db_.write_while_reading;
        return std::unique_ptr<Cursor>(std::make_unique<FakeCursor>(
            db_, db_.rows[sql], fail == db_.fetch_fail.end() ? nullptr : &fail->second));
    }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql, const std::vector<ParamSpec>&) override {
        if (auto r = db_.send("prepare " + sql, sql); !r) return r.error();
        return std::unique_ptr<PreparedStatement>(std::make_unique<FakePrepared>(db_));
    }
    bool can_write_while_reading() const override { return db_.write_while_reading; }
    void cancel() override { db_.log.push_back("cancel"); }
    Result<ServerInfo> server_info() override { return answer(&FakeDatabase::Catalog::server); }
    Result<std::vector<std::string>> tables() override { return answer(&FakeDatabase::Catalog::tables); }
    Result<std::vector<ColumnName>> columns() override { return answer(&FakeDatabase::Catalog::columns); }
    Result<std::vector<std::string>> procedures() override { return answer(&FakeDatabase::Catalog::procedures); }

    struct FakeCursor : Cursor {
        FakeCursor(FakeDatabase& db, std::vector<Row> rows, const std::pair<int, DbError>* fail)
            : db(db), rows(std::move(rows)), fail(fail) {}
        Result<std::optional<Row>> fetch() override {
            if (fail && next == static_cast<size_t>(fail->first)) return db.reading = false, fail->second;
            if (next >= rows.size()) return db.reading = false, std::optional<Row>{};
            return std::optional<Row>{rows[next++]};
        }
        Result<void> close() override {
            db.log.push_back("close");
            db.reading = false;
            return db.close_error ? Result<void>(*db.close_error) : Result<void>();
        }
        FakeDatabase& db;
        std::vector<Row> rows;
        const std::pair<int, DbError>* fail;
        size_t next = 0;
    };
    struct FakePrepared : PreparedStatement {
        explicit FakePrepared(FakeDatabase& db) : db(db) {}
        Result<void> execute(const std::vector<ParamValue>& values) override {
            std::string entry = "insert ";
            for (size_t i = 0; i < values.size(); ++i)
                entry += (i ? "|" : "") + (values[i].integer ? std::to_string(*values[i].integer)
                                                             : values[i].text.value_or("NULL"));
            return db.send(entry, entry);
        }
        FakeDatabase& db;
    };
    template <class T>
    Result<T> answer(T FakeDatabase::Catalog::*part) {
        if (!db_.catalog) return DbError::make("IM001", "Driver does not support this function");
        return (*db_.catalog).*part;
    }

    FakeDatabase& db_;
};

inline Result<std::unique_ptr<Session>> FakeDatabase::connect(const ConnectOptions& options) {
    connects.push_back(options);
    if (fail_connect)
        if (auto e = fail_connect(options)) return *e;
    return std::unique_ptr<Session>(std::make_unique<FakeSession>(*this));
}

}  // namespace sp::testing

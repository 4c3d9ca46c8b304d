#include "tests/support/fake_database.h"

namespace sp::testing {

std::vector<std::string> FakeDatabase::executed() const {
    std::vector<std::string> out;
    for (const auto& entry : log)
        if (entry.rfind("execute ", 0) == 0) out.push_back(entry.substr(8));
    return out;
}

std::string to_text(const ParamValue& v) {
    if (v.integer) return std::to_string(*v.integer);
    if (v.text) return *v.text;
    return "NULL";
}

DbError sql_error(const std::string& sqlstate, std::int32_t native, const std::string& message) {
    return DbError::make(sqlstate, message, native);
}

namespace {

std::optional<DbError> refused(const FakeDatabase& db, const std::string& sql) {
    if (db.reading) return sql_error("HY000", 0, "Connection is busy with results for another command");
    if (db.fail) return db.fail(sql);
    return std::nullopt;
}

class FakeCursor : public Cursor {
public:
    FakeCursor(FakeDatabase& db, std::vector<Row> rows, std::optional<std::pair<int, DbError>> fail)
        : db_(db), rows_(std::move(rows)), fail_(std::move(fail)) {
        db_.reading = !db_.write_while_reading;
    }
    Result<std::optional<Row>> fetch() override {
        if (fail_ && next_ == static_cast<size_t>(fail_->first)) return db_.reading = false, fail_->second;
        if (next_ >= rows_.size()) return db_.reading = false, std::optional<Row>{};
        return std::optional<Row>{rows_[next_++]};
    }
    Result<void> close() override {
        db_.log.push_back("close");
        db_.reading = false;
        if (db_.close_error) return *db_.close_error;
        return {};
    }

private:
    FakeDatabase& db_;
    std::vector<Row> rows_;
    std::optional<std::pair<int, DbError>> fail_;
    size_t next_ = 0;
};

class FakePrepared : public PreparedStatement {
public:
    FakePrepared(FakeDatabase& db, std::string sql) : db_(db), sql_(std::move(sql)) {}
    Result<void> execute(const std::vector<ParamValue>& values) override {
        std::string entry = "insert ";
        for (size_t i = 0; i < values.size(); ++i) entry += (i ? "|" : "") + to_text(values[i]);
        db_.log.push_back(entry);
        if (db_.reading) return *refused(db_, sql_);
        if (db_.fail_execute)
            if (auto e = db_.fail_execute(sql_, values)) return *e;
        return {};
    }

private:
    FakeDatabase& db_;
    std::string sql_;
};

}  // namespace

Result<void> FakeSession::execute(const std::string& sql) {
    db_.log.push_back("execute " + sql);
    if (auto e = refused(db_, sql)) return *e;
    return {};
}

Result<std::unique_ptr<Cursor>> FakeSession::query(const std::string& sql) {
    db_.log.push_back("query " + sql);
    if (auto e = refused(db_, sql)) return *e;
    std::optional<std::pair<int, DbError>> fail;
    if (auto it = db_.fetch_fail.find(sql); it != db_.fetch_fail.end()) fail = it->second;
    auto it = db_.rows.find(sql);
    std::vector<Row> rows = it == db_.rows.end() ? std::vector<Row>{} : it->second;
    return std::unique_ptr<Cursor>(std::make_unique<FakeCursor>(db_, std::move(rows), std::move(fail)));
}

Result<std::unique_ptr<PreparedStatement>> FakeSession::prepare(const std::string& sql,
                                                                const std::vector<ParamSpec>&) {
    db_.log.push_back("prepare " + sql);
    if (auto e = refused(db_, sql)) return *e;
    return std::unique_ptr<PreparedStatement>(std::make_unique<FakePrepared>(db_, sql));
}

Result<std::unique_ptr<Session>> FakeConnector::connect(const ConnectOptions& options) {
    db_.log.push_back("connect " + options.dsn);
    db_.connects.push_back(options);
    if (db_.fail_connect)
        if (auto e = db_.fail_connect(options)) return *e;
    return std::unique_ptr<Session>(std::make_unique<FakeSession>(db_));
}

}  // namespace sp::testing

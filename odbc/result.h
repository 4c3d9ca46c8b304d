// Errors as values: every call into a database answers with a Result that
// holds either its value or the DbError that the driver reported.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sp {

// One diagnostic record as the driver reported it.
struct DiagnosticRecord {
    std::string sqlstate;        // five characters, e.g. "42S02"; empty when unknown
    std::int32_t native_error = 0;
    std::string message;
};

// Every diagnostic record of one failed call, in the driver's order.
struct DbError {
    std::vector<DiagnosticRecord> records;
    // The driver said, after the failure, that the connection is dead
    // (SQL_ATTR_CONNECTION_DEAD): whatever the records say, nothing more can
    // be sent through it.
    bool connection_dead = false;

    static DbError make(std::string sqlstate, std::string message, std::int32_t native_error = 0) {
        return DbError{{DiagnosticRecord{std::move(sqlstate), native_error, std::move(message)}}};
    }
    const std::string& sqlstate() const {
        static const std::string none;
        return records.empty() ? none : records.front().sqlstate;
    }
    std::int32_t native_error() const { return records.empty() ? 0 : records.front().native_error; }
    // The messages of all records, joined by a blank; what the user is shown.
    std::string messages() const {
        std::string out;
        for (const auto& r : records) {
            if (r.message.empty()) continue;
            if (!out.empty()) out += ' ';
            out += r.message;
        }
        return out;
    }
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(DbError error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const T& value() const& { return std::get<0>(v_); }
    T& operator*() & { return value(); }
    T* operator->() { return &std::get<0>(v_); }
    const DbError& error() const { return std::get<1>(v_); }

private:
    std::variant<T, DbError> v_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(DbError error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const DbError& error() const { return error_; }

private:
    DbError error_;
    bool failed_ = false;
};

}  // namespace sp

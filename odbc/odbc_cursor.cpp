#include "odbc/odbc_cursor.h"

#include <array>

namespace sp::odbc {

namespace {

// Reads one column of the current row as text.
Result<Value> read_text(const StmtHandle& stmt, SQLUSMALLINT column) {
    std::array<char, 4096> buffer;
    std::string text;
    // Long values come in pieces: each call returns the next part, and
    // SQL_NO_DATA once everything has been returned.
    for (;;) {
        SQLLEN indicator = 0;
        auto r = SP_ODBC_CALL(stmt.diag(), SQLGetData, stmt.get(), column, SQL_C_CHAR, buffer.data(),
                              static_cast<SQLLEN>(buffer.size()), &indicator);
        if (!r) return r.error();
        if (*r == SQL_NO_DATA) break;
        if (indicator == SQL_NULL_DATA) return Value{};
        const bool cut = *r == SQL_SUCCESS_WITH_INFO &&
                         (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(buffer.size()));
        if (cut) {
            text.append(buffer.data(), buffer.size() - 1);  // the last byte is the terminating zero
            continue;
        }
        text.append(buffer.data(), static_cast<std::size_t>(indicator));
        break;
    }
    return Value{std::move(text)};
}

}  // namespace

Result<std::optional<Row>> OdbcCursor::fetch() {
    if (!open_) return DbError::make("24000", "The cursor is closed.");
    if (columns_ == 0) return std::optional<Row>{};
    auto r = connection_->run(stmt_, "SQLFetch", [&] { return SQLFetch(stmt_.get()); });
    if (!r) return r.error();
    if (*r == SQL_NO_DATA) return std::optional<Row>{};
    Row row;
    row.reserve(static_cast<std::size_t>(columns_));
    for (SQLSMALLINT column = 1; column <= columns_; ++column) {
        auto value = read_text(stmt_, static_cast<SQLUSMALLINT>(column));
        if (!value) return value.error();
        row.push_back(std::move(value).value());
    }
    return std::optional<Row>{std::move(row)};
}

Result<void> OdbcCursor::close() {
    if (!open_) return {};
    open_ = false;
    if (columns_ == 0) return {};  // no result set, so no cursor to close
    if (auto r = SP_ODBC_CALL(stmt_.diag(), SQLCloseCursor, stmt_.get()); !r) return r.error();
    return {};
}

}  // namespace sp::odbc

#include "odbc/odbc_prepared.h"

#include <limits>
#include <string>

namespace sp::odbc {

OdbcPreparedStatement::OdbcPreparedStatement(std::shared_ptr<Connection> connection, StmtHandle stmt,
                                             const std::vector<ParamSpec>& params)
    : connection_(std::move(connection)),
      stmt_(std::move(stmt)),
      count_(params.size()),
      params_(std::make_unique<Bound[]>(params.size())) {
    for (std::size_t i = 0; i < count_; ++i) {
        params_[i].declared = params[i];
        if (params[i].type == ParamType::VarChar)
            params_[i].text.resize(static_cast<std::size_t>(params[i].size > 0 ? params[i].size : 0) + 1);
    }
}

Result<std::unique_ptr<PreparedStatement>> OdbcPreparedStatement::prepare(std::shared_ptr<Connection> connection,
                                                                          const std::string& sql,
                                                                          const std::vector<ParamSpec>& params) {
    auto stmt = connection->new_statement();
    if (!stmt) return stmt.error();
    if (auto r = SP_ODBC_CALL(stmt->diag(), SQLPrepare, stmt->get(),
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                              static_cast<SQLINTEGER>(sql.size()));
        !r)
        return r.error();
    std::unique_ptr<OdbcPreparedStatement> prepared(
        new OdbcPreparedStatement(std::move(connection), std::move(stmt).value(), params));
    for (std::size_t i = 0; i < params.size(); ++i)
        if (auto r = prepared->bind(static_cast<SQLUSMALLINT>(i + 1)); !r) return r.error();
    return std::unique_ptr<PreparedStatement>(std::move(prepared));
}

Result<void> OdbcPreparedStatement::bind(SQLUSMALLINT number) {
    Bound& p = params_[number - 1];
    SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
    SQLULEN column_size = 0;
    SQLPOINTER buffer = nullptr;
    SQLLEN buffer_length = 0;
    switch (p.declared.type) {
        case ParamType::Integer:
            c_type = SQL_C_SLONG, sql_type = SQL_INTEGER, buffer = &p.integer;
            break;
        case ParamType::TinyInt:
            // sqliteodbc reads an SQL_C_STINYINT value as unsigned (-128
            // arrives as 128); a 16-bit value converts right on every driver.
            c_type = SQL_C_SSHORT, sql_type = SQL_TINYINT, buffer = &p.tiny;
            break;
        case ParamType::VarChar:
            column_size = static_cast<SQLULEN>(p.declared.size > 0 ? p.declared.size : 1);
            buffer = p.text.data();
            buffer_length = static_cast<SQLLEN>(p.text.size());
            break;
    }
    if (auto r = SP_ODBC_CALL(stmt_.diag(), SQLBindParameter, stmt_.get(), number, SQL_PARAM_INPUT, c_type,
                              sql_type, column_size, 0, buffer, buffer_length, &p.indicator);
        !r)
        return r.error();
    return {};
}

Result<void> OdbcPreparedStatement::fill(SQLUSMALLINT number, const ParamValue& value) {
    Bound& p = params_[number - 1];
    const std::string which = "Parameter " + std::to_string(number) + ": ";
    if (value.is_null()) {
        p.indicator = SQL_NULL_DATA;
        return {};
    }
    switch (p.declared.type) {
        case ParamType::Integer:
        case ParamType::TinyInt: {
            if (!value.integer) return DbError::make("07006", which + "an integer parameter was given text.");
            const std::int64_t v = *value.integer;
            const bool tiny = p.declared.type == ParamType::TinyInt;
            const std::int64_t low = tiny ? -128 : std::numeric_limits<SQLINTEGER>::min();
            const std::int64_t high = tiny ? 127 : std::numeric_limits<SQLINTEGER>::max();
            if (v < low || v > high)
                return DbError::make("22003", which + std::to_string(v) + " is out of range for its type.");
            if (tiny)
                p.tiny = static_cast<SQLSMALLINT>(v);
            else
                p.integer = static_cast<SQLINTEGER>(v);
            p.indicator = 0;
            return {};
        }
        case ParamType::VarChar: {
            if (!value.text) return DbError::make("07006", which + "a text parameter was given an integer.");
            const std::string& text = *value.text;
            if (text.size() + 1 > p.text.size()) {
                // A longer value than declared gets a buffer of its own size.
                p.text.resize(text.size() + 1);
                if (auto r = bind(number); !r) return r;
            }
            text.copy(p.text.data(), text.size());
            p.text[text.size()] = '\0';
            p.indicator = static_cast<SQLLEN>(text.size());
            return {};
        }
    }
    return DbError::make("HY004", which + "unknown parameter type.");
}

Result<void> OdbcPreparedStatement::execute(const std::vector<ParamValue>& values) {
    if (values.size() != count_)
        return DbError::make("07002", "The statement has " + std::to_string(count_) + " parameters but " +
                                          std::to_string(values.size()) + " values were given.");
    for (std::size_t i = 0; i < count_; ++i)
        if (auto r = fill(static_cast<SQLUSMALLINT>(i + 1), values[i]); !r) return r;
    auto r = connection_->run(stmt_, "SQLExecute", [&] { return SQLExecute(stmt_.get()); });
    Result<void> outcome = r ? connection_->discard_results(stmt_) : Result<void>(r.error());
    // Leaves the statement ready for the next execution, whatever happened.
    auto closed = SP_ODBC_CALL(stmt_.diag(), SQLFreeStmt, stmt_.get(), SQL_CLOSE);
    if (!outcome) return outcome;
    if (!closed) return closed.error();
    return {};
}

}  // namespace sp::odbc

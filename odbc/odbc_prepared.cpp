#include "odbc/odbc_prepared.h"

#include <limits>
#include <string>

namespace sp::odbc {

namespace {

// A driver that runs arrays of parameters says how it reports on them; one
// that answers neither value (sqliteodbc says 0, and leaves the status array
// unwritten) is used one set at a time.
bool driver_reports_arrays(const DbcHandle& dbc) {
    SQLUINTEGER counts = 0;
    const SQLRETURN rc = SQLGetInfo(dbc.get(), SQL_PARAM_ARRAY_ROW_COUNTS, &counts, sizeof counts, nullptr);
    return SQL_SUCCEEDED(rc) && (counts == SQL_PARC_BATCH || counts == SQL_PARC_NO_BATCH);
}

// Room for `size` characters of up to four bytes (UTF-8) and the terminating zero.
std::size_t array_text_width(int size) { return static_cast<std::size_t>(size > 0 ? size : 1) * 4 + 1; }

}  // namespace

OdbcPreparedStatement::OdbcPreparedStatement(std::shared_ptr<Connection> connection, StmtHandle stmt,
                                             const std::vector<ParamSpec>& params, std::size_t sets)
    : connection_(std::move(connection)),
      stmt_(std::move(stmt)),
      count_(params.size()),
      sets_(sets),
      params_(std::make_unique<Bound[]>(params.size())),
      status_(sets, SQL_PARAM_UNUSED) {
    for (std::size_t i = 0; i < count_; ++i) {
        Bound& p = params_[i];
        p.declared = params[i];
        p.indicator.assign(sets_, SQL_NULL_DATA);
        switch (p.declared.type) {
            case ParamType::Integer: p.integer.assign(sets_, 0); break;
            case ParamType::TinyInt: p.tiny.assign(sets_, 0); break;
            case ParamType::VarChar:
                p.text_width = sets_ > 1 ? array_text_width(p.declared.size)
                                         : static_cast<std::size_t>(p.declared.size > 0 ? p.declared.size : 0) + 1;
                p.text.assign(p.text_width * sets_, '\0');
                break;
        }
    }
}

Result<std::unique_ptr<PreparedStatement>> OdbcPreparedStatement::prepare(std::shared_ptr<Connection> connection,
                                                                          const std::string& sql,
                                                                          const std::vector<ParamSpec>& params,
                                                                          std::size_t sets) {
    auto stmt = connection->new_statement();
    if (!stmt) return stmt.error();
    if (auto r = SP_ODBC_CALL(stmt->diag(), SQLPrepare, stmt->get(),
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                              static_cast<SQLINTEGER>(sql.size()));
        !r)
        return r.error();
    if (sets > 1) {
        // The size must be taken as given: SQL_SUCCESS_WITH_INFO (01S02) means the driver chose another.
        SQLULEN taken = 0;
        const bool arrays =
            driver_reports_arrays(connection->dbc()) &&
            SQLSetStmtAttr(stmt->get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0) == SQL_SUCCESS &&
            SQL_SUCCEEDED(SQLGetStmtAttr(stmt->get(), SQL_ATTR_PARAMSET_SIZE, &taken, 0, nullptr)) && taken == sets;
        if (!arrays) {
            SQLSetStmtAttr(stmt->get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
            sets = 1;
        }
    }
    std::unique_ptr<OdbcPreparedStatement> prepared(
        new OdbcPreparedStatement(std::move(connection), std::move(stmt).value(), params, sets));
    if (sets > 1) {
        prepared->paramset_size_ = sets;
        const SQLHSTMT h = prepared->stmt_.get();
        if (auto r = SP_ODBC_CALL(prepared->stmt_.diag(), SQLSetStmtAttr, h, SQL_ATTR_PARAM_BIND_TYPE,
                                  reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
            !r)
            return r.error();
        if (auto r = SP_ODBC_CALL(prepared->stmt_.diag(), SQLSetStmtAttr, h, SQL_ATTR_PARAM_STATUS_PTR,
                                  prepared->status_.data(), 0);
            !r)
            return r.error();
        if (auto r = SP_ODBC_CALL(prepared->stmt_.diag(), SQLSetStmtAttr, h, SQL_ATTR_PARAMS_PROCESSED_PTR,
                                  &prepared->processed_, 0);
            !r)
            return r.error();
    }
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
            c_type = SQL_C_SLONG, sql_type = SQL_INTEGER, buffer = p.integer.data();
            break;
        case ParamType::TinyInt:
            // sqliteodbc reads an SQL_C_STINYINT value as unsigned (-128
            // arrives as 128); a 16-bit value converts right on every driver.
            c_type = SQL_C_SSHORT, sql_type = SQL_TINYINT, buffer = p.tiny.data();
            break;
        case ParamType::VarChar:
            column_size = static_cast<SQLULEN>(p.declared.size > 0 ? p.declared.size : 1);
            buffer = p.text.data();
            buffer_length = static_cast<SQLLEN>(p.text_width);
            break;
    }
    if (auto r = SP_ODBC_CALL(stmt_.diag(), SQLBindParameter, stmt_.get(), number, SQL_PARAM_INPUT, c_type,
                              sql_type, column_size, 0, buffer, buffer_length, p.indicator.data());
        !r)
        return r.error();
    return {};
}

Result<void> OdbcPreparedStatement::fill(SQLUSMALLINT number, std::size_t set, const ParamValue& value) {
    Bound& p = params_[number - 1];
    const std::string which = "Parameter " + std::to_string(number) + ": ";
    if (value.is_null()) {
        p.indicator[set] = SQL_NULL_DATA;
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
                p.tiny[set] = static_cast<SQLSMALLINT>(v);
            else
                p.integer[set] = static_cast<SQLINTEGER>(v);
            p.indicator[set] = 0;
            return {};
        }
        case ParamType::VarChar: {
            if (!value.text) return DbError::make("07006", which + "a text parameter was given an integer.");
            const std::string& text = *value.text;
            if (text.size() + 1 > p.text_width) {
                if (sets_ > 1) return DbError::make("22001", which + "the text is longer than the array's slot.");
                // A longer value than declared gets a buffer of its own size.
                p.text.resize(text.size() + 1);
                p.text_width = p.text.size();
                if (auto r = bind(number); !r) return r;
            }
            char* slot = p.text.data() + set * p.text_width;
            text.copy(slot, text.size());
            slot[text.size()] = '\0';
            p.indicator[set] = static_cast<SQLLEN>(text.size());
            return {};
        }
    }
    return DbError::make("HY004", which + "unknown parameter type.");
}

Result<void> OdbcPreparedStatement::fill_set(std::size_t set, const std::vector<ParamValue>& values) {
    if (values.size() != count_)
        return DbError::make("07002", "The statement has " + std::to_string(count_) + " parameters but " +
                                          std::to_string(values.size()) + " values were given.");
    for (std::size_t i = 0; i < count_; ++i)
        if (auto r = fill(static_cast<SQLUSMALLINT>(i + 1), set, values[i]); !r) return r;
    return {};
}

Result<void> OdbcPreparedStatement::set_count(std::size_t count) {
    if (sets_ == 1 || count == paramset_size_) return {};
    if (auto r = SP_ODBC_CALL(stmt_.diag(), SQLSetStmtAttr, stmt_.get(), SQL_ATTR_PARAMSET_SIZE,
                              reinterpret_cast<SQLPOINTER>(count), 0);
        !r)
        return r.error();
    paramset_size_ = count;
    return {};
}

Result<void> OdbcPreparedStatement::run_and_close() {
    auto r = connection_->run(stmt_, "SQLExecute", [&] { return SQLExecute(stmt_.get()); });
    Result<void> outcome = r ? connection_->discard_results(stmt_) : Result<void>(r.error());
    // Leaves the statement ready for the next execution, whatever happened.
    auto closed = SP_ODBC_CALL(stmt_.diag(), SQLFreeStmt, stmt_.get(), SQL_CLOSE);
    if (!outcome) return outcome;
    if (!closed) return closed.error();
    return {};
}

Result<void> OdbcPreparedStatement::execute(const std::vector<ParamValue>& values) {
    if (auto r = fill_set(0, values); !r) return r;
    if (auto r = set_count(1); !r) return r;
    return run_and_close();
}

ArrayOutcome OdbcPreparedStatement::execute_array(const std::vector<std::vector<ParamValue>>& sets) {
    if (sets_ == 1) return PreparedStatement::execute_array(sets);
    ArrayOutcome outcome;
    outcome.sets.assign(sets.size(), SetStatus::Unused);
    if (sets.empty()) return outcome;
    if (sets.size() > sets_) {
        outcome.error = DbError::make("HY090", "More parameter sets than the array holds.");
        return outcome;
    }
    for (std::size_t i = 0; i < sets.size(); ++i)
        if (auto r = fill_set(i, sets[i]); !r) {
            outcome.error = r.error();
            return outcome;
        }
    if (auto r = set_count(sets.size()); !r) {
        outcome.error = r.error();
        return outcome;
    }
    std::fill(status_.begin(), status_.end(), static_cast<SQLUSMALLINT>(SQL_PARAM_UNUSED));
    processed_ = 0;
    if (auto r = run_and_close(); !r) outcome.error = r.error();
    for (std::size_t i = 0; i < sets.size(); ++i) {
        switch (status_[i]) {
            case SQL_PARAM_SUCCESS:
            case SQL_PARAM_SUCCESS_WITH_INFO: outcome.sets[i] = SetStatus::Done; break;
            case SQL_PARAM_ERROR: outcome.sets[i] = SetStatus::Failed; break;
            case SQL_PARAM_UNUSED: outcome.sets[i] = i < processed_ ? SetStatus::Unknown : SetStatus::Unused; break;
            default: outcome.sets[i] = SetStatus::Unknown; break;
        }
    }
    return outcome;
}

}  // namespace sp::odbc

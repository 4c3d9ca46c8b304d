#include "odbc/connection.h"

namespace sp::odbc {

Result<StmtHandle> Connection::new_statement() {
    auto stmt = allocate_statement(dbc_);
    if (!stmt) return stmt.error();
    const auto timeout = static_cast<SQLULEN>(query_timeout_s_ > 0 ? query_timeout_s_ : 0);
    if (auto r = SP_ODBC_CALL(stmt->diag(), SQLSetStmtAttr, stmt->get(), SQL_ATTR_QUERY_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(timeout), 0);
        !r)
        return r.error();
    return stmt;
}

Result<void> Connection::discard_results(const StmtHandle& stmt) {
    for (;;) {
        auto r = run(stmt, "SQLMoreResults", [&] { return SQLMoreResults(stmt.get()); });
        if (!r) return r.error();
        if (*r == SQL_NO_DATA) return {};
    }
}

bool Connection::is_dead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

void Connection::cancel() noexcept {
    if (!cancel_across_threads_) return;
    std::lock_guard lock(mutex_);
    if (in_flight_ != SQL_NULL_HSTMT) SQLCancel(in_flight_);
}

}  // namespace sp::odbc

#include "odbc/handles.h"

namespace sp::odbc {

Result<EnvHandle> allocate_environment() {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    // Without an environment there is no handle to read diagnostics from.
    if (auto r = SP_ODBC_CALL(DiagSource{}, SQLAllocHandle, SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw); !r)
        return r.error();
    EnvHandle env(raw);
    if (auto r = SP_ODBC_CALL(env.diag(), SQLSetEnvAttr, env.get(), SQL_ATTR_ODBC_VERSION,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
        !r)
        return r.error();
    return env;
}

Result<DbcHandle> allocate_connection(const EnvHandle& env) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (auto r = SP_ODBC_CALL(env.diag(), SQLAllocHandle, SQL_HANDLE_DBC, env.get(), &raw); !r) return r.error();
    return DbcHandle(raw);
}

Result<StmtHandle> allocate_statement(const DbcHandle& dbc) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (auto r = SP_ODBC_CALL(dbc.diag(), SQLAllocHandle, SQL_HANDLE_STMT, dbc.get(), &raw); !r) return r.error();
    return StmtHandle(raw);
}

}  // namespace sp::odbc

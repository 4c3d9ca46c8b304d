// The one place where an ODBC return code becomes a Result: every SQL* call of
// the database layer goes through checked() (usually by way of SP_ODBC_CALL),
// which turns a failure into a DbError carrying every diagnostic record the
// driver manager and the driver posted.
#pragma once

#ifdef _WIN32
#include <windows.h>  // before sql.h, which needs its types
#endif
#include <sql.h>
#include <sqlext.h>

#include "odbc/result.h"

namespace sp::odbc {

// The handle whose diagnostic records describe a call's failure.
struct DiagSource {
    SQLSMALLINT type = 0;  // SQL_HANDLE_ENV, SQL_HANDLE_DBC or SQL_HANDLE_STMT
    SQLHANDLE handle = SQL_NULL_HANDLE;
};

// Every diagnostic record of the handle, read with SQLGetDiagRec until
// SQL_NO_DATA. Most messages are short: they are read into a small buffer
// first, and only when one may have been cut are all records read again
// into the largest a record can have. psqlODBC splits a message longer than
// the buffer of the first read into several records (its length then equals
// the buffer less one), so the second pass starts again from record 1.
inline constexpr SQLSMALLINT kLargestMessage = 32767;
inline constexpr SQLSMALLINT kFirstMessageBuffer = 512;
std::vector<DiagnosticRecord> read_diagnostics(DiagSource source, SQLSMALLINT first_buffer = kFirstMessageBuffer);

// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA are answered with the
// return code itself (only some calls can return SQL_NO_DATA, and their
// callers look for it). Anything else (SQL_ERROR, SQL_INVALID_HANDLE,
// SQL_NEED_DATA, SQL_STILL_EXECUTING) is a DbError; when the driver left no
// record, one is made up naming the call, with an empty SQLSTATE.
Result<SQLRETURN> checked(SQLRETURN rc, DiagSource source, const char* call);

}  // namespace sp::odbc

// Calls an ODBC function and checks it: SP_ODBC_CALL(source, SQLExecDirect, stmt, text, SQL_NTS).
#define SP_ODBC_CALL(source, function, ...) ::sp::odbc::checked(function(__VA_ARGS__), (source), #function)

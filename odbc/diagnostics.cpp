#include "odbc/diagnostics.h"

#include <algorithm>
#include <string>
#include <vector>

namespace sp::odbc {

namespace {

// Reads one record; false when there is none (or the handle cannot be read).
bool read_record(DiagSource source, SQLSMALLINT number, std::vector<SQLCHAR>& text, DiagnosticRecord& out) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(source.type, source.handle, number, state, &native, text.data(),
                                       static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return false;
    out.sqlstate = reinterpret_cast<const char*>(state);
    out.native_error = native;
    const auto used = std::min<std::size_t>(static_cast<std::size_t>(length < 0 ? 0 : length), text.size() - 1);
    out.message.assign(reinterpret_cast<const char*>(text.data()), used);
    return true;
}

const char* describe(SQLRETURN rc) {
    switch (rc) {
        case SQL_ERROR: return "failed without a diagnostic record";
        case SQL_INVALID_HANDLE: return "was given an invalid handle";
        case SQL_NEED_DATA: return "asked for data at execution, which this layer never supplies";
        case SQL_STILL_EXECUTING: return "is still executing asynchronously, which this layer never asks for";
        default: return "returned an unknown code";
    }
}

}  // namespace

std::vector<DiagnosticRecord> read_diagnostics(DiagSource source, SQLSMALLINT message_buffer) {
    std::vector<DiagnosticRecord> records;
    if (source.handle == SQL_NULL_HANDLE) return records;
    std::vector<SQLCHAR> text(static_cast<std::size_t>(std::max<SQLSMALLINT>(message_buffer, 2)));
    // A driver that never answers SQL_NO_DATA must not hold us forever.
    for (SQLSMALLINT number = 1; number < 1000; ++number) {
        DiagnosticRecord record;
        if (!read_record(source, number, text, record)) break;
        records.push_back(std::move(record));
    }
    return records;
}

Result<SQLRETURN> checked(SQLRETURN rc, DiagSource source, const char* call) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return rc;
    DbError error;
    if (rc == SQL_ERROR) error.records = read_diagnostics(source);
    if (error.records.empty())
        error.records.push_back(DiagnosticRecord{"", 0, std::string(call) + " " + describe(rc) + "."});
    return error;
}

}  // namespace sp::odbc

#include "odbc/diagnostics.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace sp::odbc {

namespace {

enum class Read { Whole, MaybeCut, None };

// Reads one record into text, which holds capacity bytes.
Read read_record(DiagSource source, SQLSMALLINT number, SQLCHAR* text, SQLSMALLINT capacity, DiagnosticRecord& out) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(source.type, source.handle, number, state, &native, text, capacity, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return Read::None;
    out.sqlstate = reinterpret_cast<const char*>(state);
    out.native_error = native;
    const SQLSMALLINT used = std::clamp<SQLSMALLINT>(length, 0, static_cast<SQLSMALLINT>(capacity - 1));
    out.message.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(used));
    return rc == SQL_SUCCESS_WITH_INFO || length >= capacity - 1 ? Read::MaybeCut : Read::Whole;
}

// One pass over the records; false when a message may have been cut.
bool read_all(DiagSource source, SQLCHAR* text, SQLSMALLINT capacity, std::vector<DiagnosticRecord>& records) {
    records.clear();
    // A driver that never answers SQL_NO_DATA must not hold us forever.
    for (SQLSMALLINT number = 1; number < 1000; ++number) {
        DiagnosticRecord record;
        const Read read = read_record(source, number, text, capacity, record);
        if (read == Read::None) break;
        if (read == Read::MaybeCut && capacity < kLargestMessage) return false;
        records.push_back(std::move(record));
    }
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

std::vector<DiagnosticRecord> read_diagnostics(DiagSource source, SQLSMALLINT first_buffer) {
    std::vector<DiagnosticRecord> records;
    if (source.handle == SQL_NULL_HANDLE) return records;
    // Neither buffer is zero-filled: the driver writes what it returns.
    const SQLSMALLINT first = std::clamp<SQLSMALLINT>(first_buffer, 2, kLargestMessage);
    SQLCHAR small[kFirstMessageBuffer];
    auto owned = first > kFirstMessageBuffer ? std::make_unique_for_overwrite<SQLCHAR[]>(first) : nullptr;
    if (read_all(source, owned ? owned.get() : small, first, records)) return records;
    const auto largest = std::make_unique_for_overwrite<SQLCHAR[]>(kLargestMessage);
    read_all(source, largest.get(), kLargestMessage, records);
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

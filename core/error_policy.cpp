#include "core/error_policy.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace sp {

namespace {

// The numbers ADO reported for these failures, kept in this one place.
constexpr std::int32_t kTableMissing = -2147217865;  // 0x80040E37
constexpr std::int32_t kCommandError = -2147217900;  // 0x80040E14
constexpr std::int32_t kTimeout = -2147217871;       // 0x80040E31
constexpr std::int32_t kIntegrity = -2147217873;     // 0x80040E2F
constexpr std::int32_t kTruncation = -2147217833;    // 0x80040E57
constexpr std::int32_t kPermission = -2147217911;    // 0x80040E09
constexpr std::int32_t kUnspecified = -2147467259;   // 0x80004005

// The Pervasive engine's texts, where its SQLSTATE says nothing useful.
constexpr const char* kPervasiveNoTable = "No such table or object";
constexpr const char* kPervasiveNoColumn = "Invalid column name";
constexpr const char* kPervasiveDuplicateKey = "(Btrieve Error 5)";

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool contains(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// The record that says what went wrong: the first one that is not a warning.
const DiagnosticRecord* main_record(const DbError& error) {
    for (const auto& r : error.records)
        if (r.sqlstate.rfind("01", 0) != 0) return &r;
    return error.records.empty() ? nullptr : &error.records.front();
}

bool is_permission_denial(const std::string& state, std::int32_t native) {
    switch (native) {
        case 229: case 230: case 262: case 297: case 300: return true;
        default: return state == "42501";
    }
}

}  // namespace

Classification classify(const DbError& error) {
    const DiagnosticRecord* rec = main_record(error);
    const std::string state = rec ? upper(rec->sqlstate) : std::string();
    const std::int32_t native = rec ? rec->native_error : 0;
    const std::string cls = state.substr(0, 2);
    const std::string text = error.messages();

    // SQL Server reports these with class-42 states; passing them in silence
    // would report a failure as success.
    if (is_permission_denial(state, native)) return {FailureKind::Reported, kPermission};
    if (native == 2628 || state == "22001") return {FailureKind::Reported, kTruncation};

    if (state == "42S02" || state == "S0002" || state == "42P01") return {FailureKind::TableMissing, kTableMissing};
    if (state == "HYT00" || state == "HYT01" || state == "S1T00" || state == "57014")
        return {FailureKind::Timeout, kTimeout};
    // PostgreSQL ends a killed session with 57P01 (then 08S01 on every later call).
    if (cls == "08" || state == "57P01" || state == "57P02")
        return {FailureKind::ConnectionLost, native != 0 ? native : kUnspecified};
    if (cls == "42" || state == "37000" || state.rfind("S00", 0) == 0) return {FailureKind::AlreadyDone, kCommandError};
    if (cls == "23") return {FailureKind::Reported, kIntegrity};

    // Drivers without a useful SQLSTATE (the Pervasive engine): its known texts.
    if (state.empty() || state == "HY000" || state == "S1000") {
        if (contains(text, kPervasiveNoTable)) return {FailureKind::TableMissing, kTableMissing};
        if (contains(text, kPervasiveNoColumn)) return {FailureKind::AlreadyDone, kCommandError};
        if (contains(text, kPervasiveDuplicateKey)) return {FailureKind::Reported, kIntegrity};
    }
    return {FailureKind::Reported, native != 0 ? native : kUnspecified};
}

std::string failure_message(const DbError& error) {
    return std::to_string(classify(error).number) + ": " + error.messages();
}

bool names_missing_object(const DbError& error) {
    for (const auto& r : error.records) {
        const std::string state = upper(r.sqlstate);
        if (state == "42S02" || state == "S0002" || state == "42P01" || state == "42S22" || state == "S0022" ||
            state == "42703" || contains(r.message, kPervasiveNoTable) || contains(r.message, kPervasiveNoColumn))
            return true;
    }
    return false;
}

}  // namespace sp

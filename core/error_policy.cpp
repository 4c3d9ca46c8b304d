#include "core/error_policy.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
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

// SQL Server's message numbers, in one table. SQL Server's drivers pass the
// server's number through unchanged as the native error, while the SQLSTATE
// they give is 42000 for every number without a state of its own (FreeTDS
// even for severities of 20 and above), so on SQL Server the number decides.
// A server number not listed here is reported: only what the statements rely
// on is passed over.
struct NativeGroup {
    FailureKind kind;
    std::int32_t number;  // the message's number; 0: the native number itself
    std::initializer_list<std::int32_t> natives;
};

const NativeGroup kSqlServerGroups[] = {
    // The object or column is already there: an earlier run made the change.
    // 2714 object exists, 2705 column names must be unique, 4925 column
    // already exists, 1779 table already has a primary key, 1781 column
    // already has a default, 1913 index already exists.
    {FailureKind::AlreadyDone, kCommandError, {2714, 2705, 4925, 1779, 1781, 1913}},
    // The table is gone (or not there yet): 208 invalid object name.
    {FailureKind::TableMissing, kTableMissing, {208}},
    // The object or column is already gone, or the change cannot apply to
    // this database: 3701 cannot drop, it does not exist; 4902 cannot find
    // the object; 207 invalid column name; 4924 ALTER COLUMN of a column that
    // does not exist; 3728/3727 not a constraint, could not drop it;
    // 5074/4922 ALTER or DROP COLUMN refused while an object depends on it.
    {FailureKind::AlreadyDone, kCommandError, {3701, 4902, 207, 4924, 3728, 3727, 5074, 4922}},
    // The statement's wording does not fit this server: 102/156/170
    // incorrect syntax, 111 must be the first statement of its batch, 195 not
    // a built-in function, 343 unknown object type, 2715 unknown data type.
    {FailureKind::AlreadyDone, kCommandError, {102, 156, 170, 111, 195, 343, 2715}},
    // Chosen as a deadlock victim (1205) or waited too long for a lock
    // (1222): the statement was rolled back and would succeed later, so it
    // counts as a timeout and phase two runs the data source again.
    {FailureKind::Timeout, 0, {1205, 1222}},
    // The server could not do the work now, and nothing was changed: out of
    // log space (9002), out of data space (1105, 1101), out of memory or
    // buffers (701, 802, 8645), the session killed or the server shutting
    // down (596, 6005, 6006), the database offline, single-user or
    // recovering (942, 924, 922), I/O and consistency errors (823, 824, 605).
    {FailureKind::Reported, 0, {9002, 1105, 1101, 701, 802, 8645, 596, 6005, 6006, 942, 924, 922, 823, 824, 605}},
    // The rights are missing: 229/230 permission denied on an object or
    // column, 262 permission denied in the database, 297/300 no permission.
    {FailureKind::Reported, kPermission, {229, 230, 262, 297, 300}},
    // The value does not fit (8152; 2628 on newer servers), or a key or
    // constraint refuses it (2627, 2601, 547, 515).
    {FailureKind::Reported, kTruncation, {8152, 2628}},
    {FailureKind::Reported, kIntegrity, {2627, 2601, 547, 515}},
    // FreeTDS's own numbers for a broken connection: 20001 out of sync, 20004
    // read failed, 20006 write failed, 20017 unexpected EOF, 20020 bad token,
    // 20022 out-of-band send failed, 20056 close failed, 20047 dead process.
    // It reports the first of them with 01000 or HY000; only later calls get
    // 08S01.
    {FailureKind::ConnectionLost, 0, {20001, 20004, 20006, 20017, 20020, 20022, 20056, 20047}},
};

const NativeGroup* sqlserver_group(std::int32_t native) {
    if (native == 0) return nullptr;
    for (const NativeGroup& g : kSqlServerGroups)
        for (std::int32_t n : g.natives)
            if (n == native) return &g;
    return nullptr;
}

// By SQLSTATE and the known texts: every engine but SQL Server, and SQL
// Server failures that carry no native number (the driver's own).
Classification classify_by_state(const DbError& error) {
    const DiagnosticRecord* rec = main_record(error);
    const std::string state = rec ? upper(rec->sqlstate) : std::string();
    const std::int32_t native = rec ? rec->native_error : 0;
    const std::string cls = state.substr(0, 2);
    const std::string text = error.messages();

    // Passing these in silence would report a failure as success.
    if (state == "42501") return {FailureKind::Reported, kPermission};
    if (state == "22001") return {FailureKind::Reported, kTruncation};

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

// The first record whose number the table lists decides (a server error may
// follow informational records such as 5701 "Changed database context").
// Otherwise a server number under the drivers' catch-all 42000 is reported, unless its state says
// the object exists or is missing (Microsoft's drivers give 42S01, 42S02,
// 42S21 and 42S22 to such numbers); the driver's own failures, which carry
// no number, go by their state.
Classification classify_sqlserver(const DbError& error) {
    for (const auto& r : error.records)
        if (const NativeGroup* g = sqlserver_group(r.native_error))
            return {g->kind, g->number != 0 ? g->number : r.native_error};
    const DiagnosticRecord* rec = main_record(error);
    if (!rec || rec->native_error == 0) return classify_by_state(error);
    const std::string state = upper(rec->sqlstate);
    if (state == "42S02" || state == "S0002") return {FailureKind::TableMissing, kTableMissing};
    if (state == "42S01" || state == "42S21" || state == "42S22" || state == "S0001" || state == "S0021" ||
        state == "S0022")
        return {FailureKind::AlreadyDone, kCommandError};
    if (state == "42000" || state == "37000") return {FailureKind::Reported, rec->native_error};
    return classify_by_state(error);
}

}  // namespace

Classification classify(const DbError& error, Engine engine) {
    const Classification c = engine == Engine::SqlServer ? classify_sqlserver(error) : classify_by_state(error);
    // A failure the driver could not explain, after which it says the
    // connection is dead (FreeTDS on a reset connection: HY000 "Unknown error").
    if (c.kind == FailureKind::Reported && error.connection_dead) return {FailureKind::ConnectionLost, c.number};
    return c;
}

std::string failure_message(const DbError& error, Engine engine) {
    return std::to_string(classify(error, engine).number) + ": " + error.messages();
}

ConnectFailure connect_failure(const DbError& error) {
    bool unreachable = false;
    for (const auto& r : error.records) {
        const std::string state = upper(r.sqlstate);
        // 18456 login failed; 18452 untrusted domain; 18486 account locked;
        // 18487/18488 password expired or must be changed.
        switch (r.native_error) {
            case 18456: case 18452: case 18486: case 18487: case 18488: return ConnectFailure::LoginRefused;
            // FreeTDS: 20009 unable to connect, 20008 unable to open socket,
            // 20012/20013 server or host name unknown, 20003 connection timed out.
            case 20009: case 20008: case 20012: case 20013: case 20003: unreachable = true; break;
            default: break;
        }
        if (state == "28000") return ConnectFailure::LoginRefused;
        if (state == "HYT00" || state == "HYT01" || state == "S1T00") unreachable = true;
    }
    return unreachable ? ConnectFailure::Unreachable : ConnectFailure::Other;
}

std::string connect_failed_message(const std::string& data_source, const DbError& error) {
    std::string message = std::to_string(kUnspecified) + ": " + error.messages() + "\nThe data source " +
                          data_source + " could not be connected and was not updated.";
    switch (connect_failure(error)) {
        case ConnectFailure::LoginRefused:
            return message + " The server refused the login: check the user name and password (selvane-sp "
                             "--user NAME, with the password typed when asked or in SELVANE_SP_PASSWORD).";
        case ConnectFailure::Unreachable:
            return message + " No server answered: check the server name and port in the data source's settings.";
        case ConnectFailure::Other:
            break;
    }
    return message;
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

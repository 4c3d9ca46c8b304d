// The error policy over the SQLSTATEs and native errors that real drivers
// report (see the driver notes: SQL Server through its own driver and
// FreeTDS, psqlODBC, sqliteodbc, the Pervasive engine's texts).
#include <gtest/gtest.h>

#include "core/error_policy.h"
#include "tests/support/fake_database.h"

namespace sp {
namespace {

using testing::sql_error;
using K = FailureKind;
// The ADO numbers administrators know these failures by.
constexpr std::int32_t kMissing = -2147217865, kCommand = -2147217900, kTimeout = -2147217871,
                       kIntegrity = -2147217873, kTruncated = -2147217833, kDenied = -2147217911,
                       kUnspecified = -2147467259;

DbError records(std::vector<DiagnosticRecord> r, bool dead = false) { return {std::move(r), dead}; }

TEST(ErrorPolicy, SortsDriverFailuresIntoTheFourTreatments) {
    struct Case {
        DbError error;
        K kind;
        std::int32_t number;
        Engine engine = Engine::SqlServer;
    };
    std::vector<Case> cases = {
        // Table missing, in ODBC 3 and ODBC 2 form, PostgreSQL's own state, a state in lower case.
        {sql_error("42S02", 208), K::TableMissing, kMissing}, {sql_error("S0002", 208), K::TableMissing, kMissing},
        {sql_error("42P01", 7), K::TableMissing, kMissing}, {sql_error("42s02"), K::TableMissing, kMissing},
        // Already done or in error: every other class-42 state, 37000, S00xx.
        {sql_error("42S01", 2714), K::AlreadyDone, kCommand}, {sql_error("42S21", 2705), K::AlreadyDone, kCommand},
        {sql_error("42S22", 207), K::AlreadyDone, kCommand},
        {sql_error("42P07", 7), K::AlreadyDone, kCommand}, {sql_error("42701", 7), K::AlreadyDone, kCommand},
        {sql_error("37000", 156), K::AlreadyDone, kCommand}, {sql_error("S0001", 2714), K::AlreadyDone, kCommand},
        {sql_error("S0022", 207), K::AlreadyDone, kCommand},
        // Permission denials and truncation are failures, whatever their class.
        {sql_error("42501", 7), K::Reported, kDenied}, {sql_error("22001", 8152), K::Reported, kTruncated},
        // Timeouts: client side, ODBC 2 form, PostgreSQL cancelling on our timeout, a state in lower case.
        {sql_error("HYT00"), K::Timeout, kTimeout}, {sql_error("HYT01"), K::Timeout, kTimeout},
        {sql_error("S1T00"), K::Timeout, kTimeout}, {sql_error("57014", 7), K::Timeout, kTimeout},
        {sql_error("hyt00"), K::Timeout, kTimeout},
        // Integrity violations.
        {sql_error("23000", 2627), K::Reported, kIntegrity}, {sql_error("23505", 7), K::Reported, kIntegrity},
        // A lost connection.
        {sql_error("08S01"), K::ConnectionLost, kUnspecified}, {sql_error("08003", 26), K::ConnectionLost, 26},
        {sql_error("57P01", 35), K::ConnectionLost, 35},
        // On other engines the number does not decide (1205 is SQL Server's deadlock).
        {sql_error("42000", 1205), K::AlreadyDone, kCommand, Engine::Pervasive},
        // Anything else: the native error, or the unspecified number when there is none.
        {sql_error("HY000", 1), K::Reported, 1}, {sql_error("HY000"), K::Reported, kUnspecified},
        {sql_error("22003", 220), K::Reported, 220},
        // The Pervasive engine's texts under an uninformative state.
        {sql_error("S1000", 0, "[Zen][ODBC Engine Interface]No such table or object."), K::TableMissing, kMissing},
        {sql_error("HY000", 0, "[Zen][ODBC Engine Interface]Invalid column name: 'x'."), K::AlreadyDone, kCommand},
        {sql_error("HY000", 0, "[Zen][ODBC Engine Interface](Btrieve Error 5) duplicate key"), K::Reported, kIntegrity},
        // A warning before the error does not decide, nor a notice after it.
        {records({{"01000", 5701, "Changed database context"}, {"42S02", 208, "x"}}), K::TableMissing, kMissing},
        {records({{"42000", 9002, "log full"}, {"01000", 3621, "terminated"}}), K::Reported, 9002},
        // An unexplained failure on a dead connection is a lost connection; one that explains itself is not.
        {records({{"HY000", 0, "Unknown error"}}, true), K::ConnectionLost, kUnspecified},
        {records({{"HYT00", 0, "Timeout expired"}}, true), K::Timeout, kTimeout},
    };
    // SQL Server decides by the server's number under the drivers' catch-all 42000 (FreeTDS's own numbers under
    // HY000): what the statements rely on passes, what the server could not do now is shown.
    const auto numbers = [&](const char* state, std::initializer_list<int> natives, K kind, std::int32_t number) {
        for (int n : natives) cases.push_back({sql_error(state, n), kind, number ? number : n});
    };
    numbers("42000", {4925, 2705, 3728, 5074, 156, 3701}, K::AlreadyDone, kCommand);
    numbers("42000", {229, 262, 297, 230, 300}, K::Reported, kDenied);
    numbers("42000", {2628}, K::Reported, kTruncated);
    numbers("42000", {2601, 547, 515}, K::Reported, kIntegrity);
    numbers("42000", {1222}, K::Timeout, 0);  // a lock timeout, and a deadlock: the statement was rolled back
    numbers("40001", {1205}, K::Timeout, 0);
    numbers("42000", {9002, 1105, 596, 701, 2812, 1101, 802, 8645, 6005, 6006, 942, 924, 922, 823, 824, 605}, K::Reported, 0);
    numbers("HY000", {20001, 20004, 20006, 20020, 20022, 20047, 20056}, K::ConnectionLost, 0);
    numbers("01000", {20017}, K::ConnectionLost, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.records.back().sqlstate + " " + std::to_string(c.error.records.back().native_error));
        const Classification got = classify(c.error, c.engine);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.number, c.number);
    }
    EXPECT_EQ(failure_message(records({{"23000", 2627, "Violation of PRIMARY KEY."}, {"01000", 3621, "Terminated."}})),
              "-2147217873: Violation of PRIMARY KEY. Terminated.");
}

// A connection that could not be opened: ADO's number for a failed Open, and what to check.
TEST(ErrorPolicy, ConnectFailuresSayWhatToCheck) {
    using C = ConnectFailure;
    const std::string login = "check the user name and password (selvane-sp --user NAME, with the password typed "
                              "when asked or in SELVANE_SP_PASSWORD).",
                      address = "No server answered: check the server name and port in the data source's settings.";
    const struct {
        DbError error;
        C kind;
        std::string ending;
    } cases[] = {
        {sql_error("28000"), C::LoginRefused, login}, {sql_error("42000", 18456), C::LoginRefused, login},
        {sql_error("HY000", 18488), C::LoginRefused, login},
        {records({{"08001", 20009, "x"}, {"42000", 18486, "y"}}), C::LoginRefused, login},
        {sql_error("08001", 20009), C::Unreachable, address}, {sql_error("HYT00"), C::Unreachable, address},
        {sql_error("S1T00"), C::Unreachable, address},
        {sql_error("IM002"), C::Other, "not updated."}, {sql_error("08001", 0), C::Other, "not updated."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(connect_failure(c.error), c.kind) << c.error.sqlstate();
        const std::string message = connect_failed_message("sv01", c.error);
        EXPECT_TRUE(message.starts_with("-2147467259: " + c.error.messages() +
                                        "\nThe data source sv01 could not be connected and was not updated.") &&
                    message.ends_with(c.ending))
            << message;
    }
}

}  // namespace
}  // namespace sp

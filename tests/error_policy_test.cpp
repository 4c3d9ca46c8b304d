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
    const struct Case {
        DbError error;
        K kind;
        std::int32_t number;
        Engine engine = Engine::SqlServer;
    } cases[] = {
        // Table missing, in ODBC 3 and ODBC 2 form, PostgreSQL's own state, a state in lower case.
        {sql_error("42S02", 208), K::TableMissing, kMissing}, {sql_error("S0002", 208), K::TableMissing, kMissing},
        {sql_error("42P01", 7), K::TableMissing, kMissing}, {sql_error("42s02"), K::TableMissing, kMissing},
        // Already done or in error: every other class-42 state, 37000, S00xx.
        {sql_error("42S01", 2714), K::AlreadyDone, kCommand}, {sql_error("42S21", 2705), K::AlreadyDone, kCommand},
        {sql_error("42000", 4925), K::AlreadyDone, kCommand}, {sql_error("42S22", 207), K::AlreadyDone, kCommand},
        {sql_error("42P07", 7), K::AlreadyDone, kCommand}, {sql_error("42701", 7), K::AlreadyDone, kCommand},
        {sql_error("37000", 156), K::AlreadyDone, kCommand}, {sql_error("S0001", 2714), K::AlreadyDone, kCommand},
        {sql_error("S0022", 207), K::AlreadyDone, kCommand},
        // Permission denials and truncation are failures, whatever their class.
        {sql_error("42000", 229), K::Reported, kDenied}, {sql_error("42000", 262), K::Reported, kDenied},
        {sql_error("42000", 297), K::Reported, kDenied}, {sql_error("42501", 7), K::Reported, kDenied},
        {sql_error("42000", 230), K::Reported, kDenied}, {sql_error("42000", 300), K::Reported, kDenied},
        {sql_error("42000", 2628), K::Reported, kTruncated}, {sql_error("22001", 8152), K::Reported, kTruncated},
        // Timeouts: client side, ODBC 2 form, PostgreSQL cancelling on our timeout, a state in lower case.
        {sql_error("HYT00"), K::Timeout, kTimeout}, {sql_error("HYT01"), K::Timeout, kTimeout},
        {sql_error("S1T00"), K::Timeout, kTimeout}, {sql_error("57014", 7), K::Timeout, kTimeout},
        {sql_error("hyt00"), K::Timeout, kTimeout},
        // Integrity violations.
        {sql_error("23000", 2627), K::Reported, kIntegrity}, {sql_error("23505", 7), K::Reported, kIntegrity},
        {sql_error("42000", 2601), K::Reported, kIntegrity}, {sql_error("42000", 547), K::Reported, kIntegrity},
        {sql_error("42000", 515), K::Reported, kIntegrity},
        // A lost connection.
        {sql_error("08S01"), K::ConnectionLost, kUnspecified}, {sql_error("08003", 26), K::ConnectionLost, 26},
        {sql_error("57P01", 35), K::ConnectionLost, 35},
        // SQL Server decides by the server's number under the drivers' catch-all 42000 (FreeTDS's own numbers
        // under HY000): what the statements rely on passes, what the server could not do now is shown.
        {sql_error("42000", 2705), K::AlreadyDone, kCommand}, {sql_error("42000", 3728), K::AlreadyDone, kCommand},
        {sql_error("42000", 5074), K::AlreadyDone, kCommand}, {sql_error("42000", 156), K::AlreadyDone, kCommand},
        {sql_error("42000", 3701), K::AlreadyDone, kCommand}, {sql_error("40001", 1205), K::Timeout, 1205},
        {sql_error("42000", 1222), K::Timeout, 1222},
        {sql_error("42000", 9002), K::Reported, 9002}, {sql_error("42000", 1105), K::Reported, 1105},
        {sql_error("42000", 596), K::Reported, 596}, {sql_error("42000", 701), K::Reported, 701},
        {sql_error("42000", 2812), K::Reported, 2812}, {sql_error("42000", 1101), K::Reported, 1101},
        {sql_error("42000", 802), K::Reported, 802}, {sql_error("42000", 8645), K::Reported, 8645},
        {sql_error("42000", 6005), K::Reported, 6005}, {sql_error("42000", 6006), K::Reported, 6006},
        {sql_error("42000", 942), K::Reported, 942}, {sql_error("42000", 924), K::Reported, 924},
        {sql_error("42000", 922), K::Reported, 922}, {sql_error("42000", 823), K::Reported, 823},
        {sql_error("42000", 824), K::Reported, 824}, {sql_error("42000", 605), K::Reported, 605},
        {sql_error("HY000", 20001), K::ConnectionLost, 20001}, {sql_error("HY000", 20006), K::ConnectionLost, 20006},
        {sql_error("HY000", 20020), K::ConnectionLost, 20020}, {sql_error("HY000", 20022), K::ConnectionLost, 20022},
        {sql_error("HY000", 20047), K::ConnectionLost, 20047}, {sql_error("HY000", 20056), K::ConnectionLost, 20056},
        {sql_error("01000", 20017), K::ConnectionLost, 20017}, {sql_error("HY000", 20004), K::ConnectionLost, 20004},
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

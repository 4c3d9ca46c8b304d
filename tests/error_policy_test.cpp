// The error policy over the SQLSTATEs and native errors that real drivers report (see the driver notes: SQL Server
// through its own driver and FreeTDS, psqlODBC, sqliteodbc, the Pervasive engine's texts).
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
    struct Case { DbError error; K kind; std::int32_t number; Engine engine = Engine::SqlServer; };
    std::vector<Case> cases = {
        // On other engines the number does not decide (1205 is SQL Server's deadlock).
        {sql_error("42000", 1205), K::AlreadyDone, kCommand, Engine::Pervasive},
        // SQLite's result codes under HY000; no number at all.
        {sql_error("HY000", 1), K::Reported, 1}, {sql_error("HY000"), K::Reported, kUnspecified},
        // The Pervasive engine's texts under an uninformative state.
        {sql_error("S1000", 0, "[Zen][ODBC Engine Interface]No such table or object."), K::TableMissing, kMissing},
        {sql_error("HY000", 0, "[Zen][ODBC Engine Interface]Invalid column name: 'x'."), K::AlreadyDone, kCommand},
        {sql_error("", 0, "[Pervasive][ODBC Engine Interface](Btrieve Error 5)"), K::Reported, kIntegrity},
        // A warning before the error does not decide, nor a notice after it.
        {records({{"01000", 5701, "Changed database context"}, {"42S02", 208, "x"}}), K::TableMissing, kMissing},
        {records({{"42000", 9002, "log full"}, {"01000", 3621, "terminated"}}), K::Reported, 9002},
        // An unexplained failure on a dead connection is a lost connection (a timeout that dropped it: run_test).
        {records({{"HY000", 0, "Unknown error"}}, true), K::ConnectionLost, kUnspecified},
    };
    // Each state under each native number (number 0: the number of the message is the native one).
    const auto add = [&](std::initializer_list<const char*> states, std::initializer_list<int> natives, K kind,
                         std::int32_t number) {
        for (const char* state : states)
            for (int n : natives) cases.push_back({sql_error(state, n), kind, number ? number : n});
    };
    // By the state where no server number decides: none (a driver's own failure), PostgreSQL's (7, 35), one SQL
    // Server does not list (99999). Denials and truncation are failures whatever their class; lower case counts.
    add({"42S02", "S0002", "42P01", "42s02"}, {0, 99999}, K::TableMissing, kMissing);
    add({"42S01", "42S21", "42S22", "S0001", "S0021", "S0022"}, {0, 99999}, K::AlreadyDone, kCommand);
    add({"42P07", "42701", "42000", "37000"}, {0}, K::AlreadyDone, kCommand);
    add({"42501"}, {7}, K::Reported, kDenied);
    add({"22001"}, {0}, K::Reported, kTruncated);
    add({"HYT00", "HYT01", "S1T00", "57014", "hyt00"}, {0}, K::Timeout, kTimeout);
    add({"23000", "23505"}, {0}, K::Reported, kIntegrity);
    add({"08S01", "08003"}, {0}, K::ConnectionLost, kUnspecified);
    add({"08003", "57P01", "57P02"}, {35}, K::ConnectionLost, 0);
    add({"42000", "37000", "HY000", "22003"}, {99999}, K::Reported, 0);
    // SQL Server decides by the server's number under the drivers' catch-all 42000 (FreeTDS's own numbers under
    // HY000): what the statements rely on passes, what the server could not do now is shown.
    add({"42000"}, {208}, K::TableMissing, kMissing);
    add({"42000"}, {2714, 2705, 4925, 207, 3728, 5074, 156, 3701}, K::AlreadyDone, kCommand);
    add({"42000"}, {1779, 1781, 1913, 4902, 4924, 3727, 4922, 102, 170, 111, 195, 343, 2715}, K::AlreadyDone, kCommand);
    add({"42000"}, {229, 262, 297, 230, 300}, K::Reported, kDenied);
    add({"42000"}, {8152, 2628}, K::Reported, kTruncated);
    add({"42000"}, {2627, 2601, 547, 515}, K::Reported, kIntegrity);
    add({"42000", "40001"}, {1222, 1205}, K::Timeout, 0);  // a lock timeout, a deadlock: the statement was rolled back
    add({"42000"}, {9002, 1105, 596, 701, 2812, 1101, 802, 8645, 6005, 6006, 942, 924, 922, 823, 824, 605},
        K::Reported, 0);
    add({"HY000", "01000"}, {20001, 20004, 20006, 20017, 20020, 20022, 20047, 20056}, K::ConnectionLost, 0);
    for (const Case& c : cases) {
        const Classification got = classify(c.error, c.engine);
        const DiagnosticRecord& r = c.error.records.back();
        EXPECT_EQ(std::pair(got.kind, got.number), std::pair(c.kind, c.number)) << r.sqlstate << " " << r.native_error;
    }
    EXPECT_EQ(failure_message(records({{"23000", 2627, "Violation of PRIMARY KEY."}, {"01000", 3621, "Terminated."}})),
              "-2147217873: Violation of PRIMARY KEY. Terminated.");
}

// A connection that could not be opened: ADO's number for a failed Open, and what to check, as connect_failure() says.
TEST(ErrorPolicy, ConnectFailuresSayWhatToCheck) {
    const std::string login = "with the password typed when asked or in SELVANE_SP_PASSWORD).", other = "not updated.",
                      address = "No server answered: check the server name and port in the data source's settings.";
    const struct { DbError error; std::string ending; } cases[] = {
        {sql_error("28000"), login}, {sql_error("42000", 18456), login}, {sql_error("HY000", 18488), login},
        {records({{"08001", 20009, "x"}, {"42000", 18486, "y"}}), login}, {sql_error("08001", 20009), address},
        {sql_error("HYT00"), address}, {sql_error("S1T00"), address}, {sql_error("IM002"), other},
        {sql_error("08001", 0), other},
    };
    for (const auto& c : cases) {
        const std::string message = connect_failed_message("sv01", c.error);
        EXPECT_TRUE(message.starts_with("-2147467259: " + c.error.messages() +
                                        "\nThe data source sv01 could not be connected and was not updated.") &&
                    message.ends_with(c.ending)) << message;
    }
}

}  // namespace
}  // namespace sp

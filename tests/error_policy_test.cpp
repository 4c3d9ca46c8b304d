// The error policy over the SQLSTATEs and native errors that real drivers
// report (see the driver notes: SQL Server through its own driver and
// FreeTDS, psqlODBC, sqliteodbc, the Pervasive engine's texts).
#include <gtest/gtest.h>

#include "core/error_policy.h"
#include "tests/support/fake_database.h"

namespace sp {
namespace {

using testing::sql_error;

struct Case {
    const char* sqlstate;
    int native;
    const char* message;
    FailureKind kind;
    std::int32_t number;
};

TEST(ErrorPolicy, SortsDriverFailuresIntoTheFourTreatments) {
    const Case cases[] = {
        // Table missing, in ODBC 3 and ODBC 2 form and PostgreSQL's own state.
        {"42S02", 208, "Invalid object name 'GridColumns'.", FailureKind::TableMissing, -2147217865},
        {"S0002", 208, "Invalid object name", FailureKind::TableMissing, -2147217865},
        {"42P01", 7, "relation \"gridcolumns\" does not exist", FailureKind::TableMissing, -2147217865},
        // Already done or in error: every other class-42 state, 37000, S00xx.
        {"42S01", 2714, "There is already an object named 'GridColumns'", FailureKind::AlreadyDone, -2147217900},
        {"42S21", 2705, "Column names in each table must be unique.", FailureKind::AlreadyDone, -2147217900},
        {"42000", 4925, "ALTER TABLE ALTER COLUMN failed", FailureKind::AlreadyDone, -2147217900},
        {"42S22", 207, "Invalid column name 'quDiscount'.", FailureKind::AlreadyDone, -2147217900},
        {"42P07", 7, "relation already exists", FailureKind::AlreadyDone, -2147217900},
        {"42701", 7, "column already exists", FailureKind::AlreadyDone, -2147217900},
        {"37000", 156, "Incorrect syntax", FailureKind::AlreadyDone, -2147217900},
        {"S0001", 2714, "already exists", FailureKind::AlreadyDone, -2147217900},
        {"S0022", 207, "Invalid column name", FailureKind::AlreadyDone, -2147217900},
        // Permission denials and truncation are failures, whatever their class.
        {"42000", 229, "The SELECT permission was denied", FailureKind::Reported, -2147217911},
        {"42000", 262, "CREATE TABLE permission denied", FailureKind::Reported, -2147217911},
        {"42000", 297, "The user does not have permission", FailureKind::Reported, -2147217911},
        {"42501", 7, "permission denied for table quote", FailureKind::Reported, -2147217911},
        {"42000", 2628, "String or binary data would be truncated in table", FailureKind::Reported, -2147217833},
        {"22001", 8152, "String or binary data would be truncated.", FailureKind::Reported, -2147217833},
        // Timeouts: client side, ODBC 2 form, and PostgreSQL cancelling on our timeout.
        {"HYT00", 0, "Query timeout expired", FailureKind::Timeout, -2147217871},
        {"HYT01", 0, "Connection timeout expired", FailureKind::Timeout, -2147217871},
        {"S1T00", 0, "Timeout expired", FailureKind::Timeout, -2147217871},
        {"57014", 7, "canceling statement due to statement timeout", FailureKind::Timeout, -2147217871},
        // Integrity violations.
        {"23000", 2627, "Violation of PRIMARY KEY constraint", FailureKind::Reported, -2147217873},
        {"23505", 7, "duplicate key value violates unique constraint", FailureKind::Reported, -2147217873},
        // A lost connection.
        {"08S01", 0, "Communication link failure", FailureKind::ConnectionLost, -2147467259},
        {"08003", 26, "connection does not exist", FailureKind::ConnectionLost, 26},
        {"57P01", 35, "terminating connection due to administrator command", FailureKind::ConnectionLost, 35},
        // SQL Server decides by the server's number under the drivers' catch-all 42000:
        // what the statements rely on passes, what the server could not do now is shown.
        {"42000", 2705, "Column names in each table must be unique.", FailureKind::AlreadyDone, -2147217900},
        {"42000", 3728, "'DF_x' is not a constraint.", FailureKind::AlreadyDone, -2147217900},
        {"42000", 5074, "The object 'DF_x' is dependent on column", FailureKind::AlreadyDone, -2147217900},
        {"42000", 156, "Incorrect syntax near the keyword", FailureKind::AlreadyDone, -2147217900},
        {"42000", 3701, "Cannot drop the procedure", FailureKind::AlreadyDone, -2147217900},
        {"42000", 9002, "The transaction log for database 'sv' is full", FailureKind::Reported, 9002},
        {"42000", 1105, "Could not allocate space for object", FailureKind::Reported, 1105},
        {"42000", 596, "Cannot continue the execution because the session is in the kill state.",
         FailureKind::Reported, 596},
        {"42000", 701, "There is insufficient system memory", FailureKind::Reported, 701},
        {"42000", 2812, "Could not find stored procedure 'x'.", FailureKind::Reported, 2812},
        {"40001", 1205, "Transaction was deadlocked", FailureKind::Timeout, 1205},
        {"42000", 1222, "Lock request time out period exceeded.", FailureKind::Timeout, 1222},
        {"42000", 1101, "Could not allocate a new page for database", FailureKind::Reported, 1101},
        {"42000", 802, "There is insufficient memory available in the buffer pool.", FailureKind::Reported, 802},
        {"42000", 8645, "A timeout occurred while waiting for memory resources", FailureKind::Reported, 8645},
        {"42000", 6005, "SHUTDOWN is in progress.", FailureKind::Reported, 6005},
        {"42000", 6006, "Server shut down by request from login", FailureKind::Reported, 6006},
        {"42000", 942, "Database 'sv' cannot be opened because it is offline.", FailureKind::Reported, 942},
        {"42000", 924, "Database 'sv' is already open and can only have one user at a time.", FailureKind::Reported, 924},
        {"42000", 922, "Database 'sv' is being recovered.", FailureKind::Reported, 922},
        {"42000", 823, "The operating system returned error 21", FailureKind::Reported, 823},
        {"42000", 824, "SQL Server detected a logical consistency-based I/O error", FailureKind::Reported, 824},
        {"42000", 605, "Attempt to fetch logical page failed", FailureKind::Reported, 605},
        {"42000", 230, "The SELECT permission was denied on the column", FailureKind::Reported, -2147217911},
        {"42000", 300, "VIEW SERVER STATE permission was denied", FailureKind::Reported, -2147217911},
        {"42000", 2601, "Cannot insert duplicate key row", FailureKind::Reported, -2147217873},
        {"42000", 547, "The INSERT statement conflicted with the FOREIGN KEY constraint", FailureKind::Reported,
         -2147217873},
        {"42000", 515, "Cannot insert the value NULL into column", FailureKind::Reported, -2147217873},
        // FreeTDS's first report of a broken connection, before it says 08S01.
        {"HY000", 20001, "Unexpected end of stream", FailureKind::ConnectionLost, 20001},
        {"HY000", 20006, "Write to the server failed", FailureKind::ConnectionLost, 20006},
        {"HY000", 20020, "Bad token from the server", FailureKind::ConnectionLost, 20020},
        {"HY000", 20022, "Unable to send out-of-band data", FailureKind::ConnectionLost, 20022},
        {"HY000", 20047, "DBPROCESS is dead or not enabled", FailureKind::ConnectionLost, 20047},
        {"HY000", 20056, "Error closing network connection", FailureKind::ConnectionLost, 20056},
        {"01000", 20017, "Unexpected EOF from the server", FailureKind::ConnectionLost, 20017},
        {"HY000", 20004, "Read from the server failed", FailureKind::ConnectionLost, 20004},
        // Anything else: the native error, or the unspecified number when there is none.
        {"HY000", 1, "no such table: GridColumns", FailureKind::Reported, 1},
        {"HY000", 0, "general error", FailureKind::Reported, -2147467259},
        {"22003", 220, "Arithmetic overflow", FailureKind::Reported, 220},
        // The Pervasive engine's texts under an uninformative state.
        {"S1000", 0, "[Zen][ODBC Engine Interface]No such table or object.", FailureKind::TableMissing, -2147217865},
        {"HY000", 0, "[Zen][ODBC Engine Interface]Invalid column name: 'quDiscount'.", FailureKind::AlreadyDone,
         -2147217900},
        {"HY000", 0, "[Zen][ODBC Engine Interface](Btrieve Error 5) duplicate key", FailureKind::Reported,
         -2147217873},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sqlstate) + " " + std::to_string(c.native));
        const Classification got = classify(sql_error(c.sqlstate, c.native, c.message));
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.number, c.number);
    }
}

TEST(ErrorPolicy, OnOtherEnginesTheNumberDoesNotDecide) {
    // A Pervasive failure with a number that means a deadlock on SQL Server.
    EXPECT_EQ(classify(sql_error("42000", 1205, "syntax"), Engine::Pervasive).kind, FailureKind::AlreadyDone);
    EXPECT_EQ(classify(sql_error("42000", 9002, "x"), Engine::SqlServer).kind, FailureKind::Reported);
}

TEST(ErrorPolicy, AnUnexplainedFailureOnADeadConnectionIsALostConnection) {
    DbError reset = sql_error("HY000", 0, "Unknown error");
    EXPECT_EQ(classify(reset).kind, FailureKind::Reported);
    reset.connection_dead = true;
    EXPECT_EQ(classify(reset).kind, FailureKind::ConnectionLost);
    // A failure that explains itself keeps its meaning.
    DbError timeout = sql_error("HYT00", 0, "Timeout expired");
    timeout.connection_dead = true;
    EXPECT_EQ(classify(timeout).kind, FailureKind::Timeout);
}

TEST(ErrorPolicy, ReadsTheStateInEitherCase) {
    EXPECT_EQ(classify(sql_error("42s02")).kind, FailureKind::TableMissing);
    EXPECT_EQ(classify(sql_error("hyt00")).kind, FailureKind::Timeout);
}

TEST(ErrorPolicy, AWarningBeforeTheErrorDoesNotDecide) {
    DbError e;
    e.records.push_back({"01000", 5701, "Changed database context to 'sales'."});
    e.records.push_back({"42S02", 208, "Invalid object name 'X'."});
    EXPECT_EQ(classify(e).kind, FailureKind::TableMissing);
    // Nor does a statement-terminated notice after a server error.
    DbError full;
    full.records.push_back({"42000", 9002, "The transaction log for database 'sv' is full."});
    full.records.push_back({"01000", 3621, "The statement has been terminated."});
    EXPECT_EQ(classify(full).number, 9002);
}

TEST(ErrorPolicy, MessageIsNumberColonAndEveryRecordsText) {
    DbError e;
    e.records.push_back({"23000", 2627, "[Microsoft][ODBC SQL Server Driver]Violation of PRIMARY KEY."});
    e.records.push_back({"01000", 3621, "The statement has been terminated."});
    EXPECT_EQ(failure_message(e),
              "-2147217873: [Microsoft][ODBC SQL Server Driver]Violation of PRIMARY KEY. "
              "The statement has been terminated.");
    EXPECT_EQ(failure_message(sql_error("HYT00", 0, "Query timeout expired")), "-2147217871: Query timeout expired");
}

}  // namespace
}  // namespace sp

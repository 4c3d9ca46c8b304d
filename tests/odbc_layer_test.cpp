// The ODBC session on real engines: SQLite through libsqliteodbc and
// PostgreSQL 15 through psqlODBC, both under the real unixODBC driver manager.
// The PostgreSQL cases need tests/with-postgres.sh (they skip without it).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "odbc/diagnostics.h"
#include "odbc/handles.h"
#include "odbc/odbc_session.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using namespace std::chrono_literals;
using testing::OdbcSandbox;
using testing::PostgresLogin;
using Clock = std::chrono::steady_clock;

// Every data source of this executable, defined before the first ODBC call.
OdbcSandbox& sandbox = OdbcSandbox::instance();
const std::string kLite = sandbox.add_sqlite("lite");
const std::string kPg = sandbox.add_postgres("pg");
const std::string kPgWrongPassword = [] {
    PostgresLogin login = PostgresLogin::from_environment();
    login.password = "not-the-password";
    return sandbox.add_postgres("pg_wrong_password", login);
}();
const std::string kPgClosedPort = [] {
    PostgresLogin login = PostgresLogin::from_environment();
    login.port = std::to_string(testing::closed_local_port());
    return sandbox.add_postgres("pg_closed_port", login);
}();

std::string describe(const DbError& e) {
    std::string out;
    for (const auto& r : e.records)
        out += "[" + r.sqlstate + " native " + std::to_string(r.native_error) + "] " + r.message + "\n";
    return out;
}

// The DbError of a failed call; a failed expectation when the call succeeded.
template <class R>
DbError error_of(const R& result) {
    EXPECT_FALSE(result.ok()) << "the call succeeded";
    return result.ok() ? DbError{} : result.error();
}

std::unique_ptr<Session> connect_or_fail(Connector& connector, const std::string& dsn, int query_timeout_s = 30) {
    auto session = connector.connect({dsn, 5, query_timeout_s});
    EXPECT_TRUE(session.ok()) << dsn << ": " << (session.ok() ? "" : describe(session.error()));
    return session.ok() ? std::move(session).value() : nullptr;
}

std::vector<Row> read_all(Session& session, const std::string& sql) {
    std::vector<Row> rows;
    auto cursor = session.query(sql);
    EXPECT_TRUE(cursor.ok()) << sql << ": " << (cursor.ok() ? "" : describe(cursor.error()));
    if (!cursor.ok()) return rows;
    for (;;) {
        auto row = (*cursor)->fetch();
        EXPECT_TRUE(row.ok()) << (row.ok() ? "" : describe(row.error()));
        if (!row.ok() || !row.value()) break;
        rows.push_back(std::move(*row.value()));
    }
    EXPECT_TRUE((*cursor)->close().ok());
    return rows;
}

void execute_or_fail(Session& session, const std::string& sql) {
    auto r = session.execute(sql);
    EXPECT_TRUE(r.ok()) << sql << ": " << (r.ok() ? "" : describe(r.error()));
}

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// ---- Behaviour both engines share ----------------------------------------

class BothEngines : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (dsn() == kPg) {
            SP_REQUIRE_POSTGRES(kPg);
        } else {
            std::filesystem::remove(sandbox.sqlite_file(kLite));  // the driver makes a new, empty file
        }
        session_ = connect_or_fail(connector_, dsn());
        ASSERT_TRUE(session_);
        if (dsn() == kPg) execute_or_fail(*session_, "DROP SCHEMA public CASCADE; CREATE SCHEMA public");
    }
    const std::string& dsn() const { return GetParam(); }

    OdbcConnector connector_;
    std::unique_ptr<Session> session_;
};

INSTANTIATE_TEST_SUITE_P(Engines, BothEngines, ::testing::Values(kLite, kPg),
                         [](const auto& info) { return info.param == kLite ? "SQLite" : "PostgreSQL"; });

TEST_P(BothEngines, StatementsRunAndCommitOnTheirOwn) {
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    execute_or_fail(*session_, "INSERT INTO t VALUES (1, 'one')");
    // A searched update that touches no row is no failure.
    execute_or_fail(*session_, "UPDATE t SET name = 'none' WHERE id = 99");
    // A statement's result set is discarded.
    execute_or_fail(*session_, "SELECT * FROM t");

    // Autocommit: a second connection sees the row at once.
    auto other = connect_or_fail(connector_, dsn());
    ASSERT_TRUE(other);
    const auto rows = read_all(*other, "SELECT id, name FROM t");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Row{"1", "one"}));
}

TEST_P(BothEngines, CursorReadsNullsLongTextAndEveryRow) {
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER, note TEXT, label VARCHAR(10))");
    std::string long_text;
    for (int i = 0; long_text.size() < 70000; ++i) long_text += std::to_string(i) + ",";
    execute_or_fail(*session_, "INSERT INTO t VALUES (1, NULL, 'x')");
    execute_or_fail(*session_, "INSERT INTO t VALUES (2, '" + long_text + "', NULL)");
    execute_or_fail(*session_, "INSERT INTO t VALUES (3, '', 'h\xc3\xa9')");

    const auto rows = read_all(*session_, "SELECT id, note, label FROM t ORDER BY id");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (Row{"1", std::nullopt, "x"}));
    ASSERT_TRUE(rows[1][1].has_value());
    EXPECT_EQ(rows[1][1]->size(), long_text.size());
    EXPECT_EQ(*rows[1][1], long_text);
    EXPECT_EQ(rows[1][2], std::nullopt);
    EXPECT_EQ(rows[2], (Row{"3", "", "h\xc3\xa9"}));  // empty text is not NULL; UTF-8 survives
}

TEST_P(BothEngines, CursorEndsAndClosesCleanly) {
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER)");
    execute_or_fail(*session_, "INSERT INTO t VALUES (1)");
    auto cursor = session_->query("SELECT id FROM t");
    ASSERT_TRUE(cursor.ok()) << describe(cursor.error());
    auto first = (*cursor)->fetch();
    ASSERT_TRUE(first.ok() && first.value());
    auto end = (*cursor)->fetch();
    ASSERT_TRUE(end.ok());
    EXPECT_FALSE(end.value().has_value());
    EXPECT_TRUE((*cursor)->close().ok());
    EXPECT_TRUE((*cursor)->close().ok()) << "closing twice is harmless";
    EXPECT_EQ(error_of((*cursor)->fetch()).sqlstate(), "24000");

    // A statement without a result set gives a cursor without rows.
    auto none = session_->query("UPDATE t SET id = 2");
    ASSERT_TRUE(none.ok()) << describe(none.error());
    auto row = (*none)->fetch();
    ASSERT_TRUE(row.ok());
    EXPECT_FALSE(row.value().has_value());
    EXPECT_TRUE((*none)->close().ok());
}

TEST_P(BothEngines, CursorOutlivesItsSession) {
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER)");
    execute_or_fail(*session_, "INSERT INTO t VALUES (7)");
    auto cursor = session_->query("SELECT id FROM t");
    ASSERT_TRUE(cursor.ok());
    session_.reset();
    auto row = (*cursor)->fetch();
    ASSERT_TRUE(row.ok()) << describe(row.error());
    ASSERT_TRUE(row.value().has_value());
    EXPECT_EQ(*row.value(), (Row{"7"}));
    EXPECT_TRUE((*cursor)->close().ok());
}

TEST_P(BothEngines, StatementRunsWhileACursorHasRowsPending) {
    ASSERT_TRUE(session_->can_write_while_reading());
    execute_or_fail(*session_, "CREATE TABLE src (id INTEGER)");
    execute_or_fail(*session_, "CREATE TABLE dst (id INTEGER)");
    for (int i = 1; i <= 3; ++i) execute_or_fail(*session_, "INSERT INTO src VALUES (" + std::to_string(i) + ")");
    auto cursor = session_->query("SELECT id FROM src ORDER BY id");
    ASSERT_TRUE(cursor.ok());
    int copied = 0;
    for (;;) {
        auto row = (*cursor)->fetch();
        ASSERT_TRUE(row.ok()) << describe(row.error());
        if (!row.value()) break;
        execute_or_fail(*session_, "INSERT INTO dst VALUES (" + *(*row.value())[0] + ")");
        ++copied;
    }
    EXPECT_TRUE((*cursor)->close().ok());
    EXPECT_EQ(copied, 3);
    EXPECT_EQ(read_all(*session_, "SELECT COUNT(*) FROM dst")[0][0], "3");
}

TEST_P(BothEngines, PreparedInsertBindsIntegerTinyIntVarCharAndNull) {
    execute_or_fail(*session_, "CREATE TABLE c (line INTEGER, kind SMALLINT, note VARCHAR(255))");
    auto insert = session_->prepare("INSERT INTO c (line, kind, note) VALUES (?, ?, ?)",
                                    {{sp::ParamType::Integer}, {sp::ParamType::TinyInt}, {sp::ParamType::VarChar, 255}});
    ASSERT_TRUE(insert.ok()) << describe(insert.error());
    auto& stmt = **insert;
    const std::string full(255, 'w');
    const std::vector<std::vector<ParamValue>> rows = {
        {ParamValue::of(2147483647), ParamValue::of(127), ParamValue::of(std::string("it's \"quoted\""))},
        {ParamValue::of(-2147483647 - 1), ParamValue::of(-128), ParamValue::of(full)},
        {ParamValue::null(), ParamValue::null(), ParamValue::null()},
        {ParamValue::of(4), ParamValue::of(0), ParamValue::of(std::string(""))},
        {ParamValue::of(5), ParamValue::of(1), ParamValue::of(std::string("short again"))},
    };
    for (const auto& values : rows) {
        auto r = stmt.execute(values);
        EXPECT_TRUE(r.ok()) << describe(r.error());
    }
    const auto stored = read_all(*session_, "SELECT line, kind, note FROM c");
    ASSERT_EQ(stored.size(), 5u);
    EXPECT_EQ(stored[0], (Row{"2147483647", "127", "it's \"quoted\""}));
    EXPECT_EQ(stored[1], (Row{"-2147483648", "-128", full}));
    EXPECT_EQ(stored[2], (Row{std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(stored[3], (Row{"4", "0", ""}));
    EXPECT_EQ(stored[4], (Row{"5", "1", "short again"}));
}

TEST_P(BothEngines, PreparedStatementRefusesBadValuesWithoutSendingThem) {
    execute_or_fail(*session_, "CREATE TABLE c (line INTEGER, kind SMALLINT)");
    auto insert = session_->prepare("INSERT INTO c VALUES (?, ?)", {{sp::ParamType::Integer}, {sp::ParamType::TinyInt}});
    ASSERT_TRUE(insert.ok()) << describe(insert.error());
    auto& stmt = **insert;
    EXPECT_EQ(error_of(stmt.execute({ParamValue::of(1)})).sqlstate(), "07002");
    EXPECT_EQ(error_of(stmt.execute({ParamValue::of(1), ParamValue::of(128)})).sqlstate(), "22003");
    EXPECT_EQ(error_of(stmt.execute({ParamValue::of(1), ParamValue::of(-129)})).sqlstate(), "22003");
    EXPECT_EQ(error_of(stmt.execute({ParamValue::of(2147483648LL), ParamValue::of(1)})).sqlstate(), "22003");
    EXPECT_EQ(error_of(stmt.execute({ParamValue::of(std::string("1")), ParamValue::of(1)})).sqlstate(), "07006");
    EXPECT_TRUE(read_all(*session_, "SELECT * FROM c").empty());
}

TEST_P(BothEngines, PreparedStatementGoesOnAfterAFailedExecution) {
    execute_or_fail(*session_, "CREATE TABLE c (id INTEGER PRIMARY KEY)");
    auto insert = session_->prepare("INSERT INTO c VALUES (?)", {{sp::ParamType::Integer}});
    ASSERT_TRUE(insert.ok());
    EXPECT_TRUE((*insert)->execute({ParamValue::of(1)}).ok());
    const DbError duplicate = error_of((*insert)->execute({ParamValue::of(1)}));
    EXPECT_EQ(duplicate.sqlstate(), dsn() == kPg ? "23505" : "HY000") << describe(duplicate);
    auto again = (*insert)->execute({ParamValue::of(2)});
    EXPECT_TRUE(again.ok()) << describe(again.error());
    EXPECT_EQ(read_all(*session_, "SELECT id FROM c ORDER BY id"), (std::vector<Row>{{"1"}, {"2"}}));
}

TEST_P(BothEngines, TextLongerThanDeclaredIsNeverCutShort) {
    execute_or_fail(*session_, "CREATE TABLE c (note VARCHAR(4))");
    auto insert = session_->prepare("INSERT INTO c VALUES (?)", {{sp::ParamType::VarChar, 4}});
    ASSERT_TRUE(insert.ok());
    const std::string text = "longer than four";
    auto r = (*insert)->execute({ParamValue::of(text)});
    const auto stored = read_all(*session_, "SELECT note FROM c");
    if (r.ok()) {
        // SQLite does not enforce declared lengths: the text is kept whole.
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0][0], text);
    } else {
        EXPECT_EQ(r.error().sqlstate(), "22001") << describe(r.error());
        EXPECT_TRUE(stored.empty());
    }
    EXPECT_EQ(r.ok(), dsn() == kLite);
}

TEST_P(BothEngines, CancelWhenNothingRunsIsHarmless) {
    session_->cancel();
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER)");
    session_->cancel();
    execute_or_fail(*session_, "INSERT INTO t VALUES (1)");
    EXPECT_EQ(read_all(*session_, "SELECT id FROM t").size(), 1u);
}

TEST_P(BothEngines, CancelFromAnotherThreadAtAnyMomentIsSafe) {
    // Statements start and end while another thread keeps cancelling: each
    // statement either succeeds or reports its cancellation; nothing crashes.
    execute_or_fail(*session_, "CREATE TABLE t (id INTEGER)");
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done) {
            session_->cancel();
            std::this_thread::sleep_for(50us);
        }
    });
    int ok = 0;
    for (int i = 0; i < 200; ++i) {
        auto r = session_->execute("INSERT INTO t VALUES (" + std::to_string(i) + ")");
        if (r.ok()) ++ok;
    }
    done = true;
    canceller.join();
    const auto count = read_all(*session_, "SELECT COUNT(*) FROM t");
    ASSERT_EQ(count.size(), 1u);
    EXPECT_EQ(count[0][0], std::to_string(ok)) << "a statement reported as cancelled was stored anyway, or the reverse";
}

// ---- SQLite ---------------------------------------------------------------

class SqliteSession : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(sandbox.sqlite_file(kLite));
        session_ = connect_or_fail(connector_, kLite);
        ASSERT_TRUE(session_);
        execute_or_fail(*session_, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(10))");
        execute_or_fail(*session_, "INSERT INTO t VALUES (1, 'a')");
    }
    OdbcConnector connector_;
    std::unique_ptr<Session> session_;
};

// sqliteodbc reports every failure as HY000 with SQLite's result code as the
// native error: 1 (SQLITE_ERROR) for schema errors, 19 (SQLITE_CONSTRAINT).
TEST_F(SqliteSession, ReportsHY000WithSqliteResultCodes) {
    struct Case {
        const char* sql;
        std::int32_t native;
        const char* text;
    };
    for (const Case& c : {Case{"SELECT * FROM missing", 1, "no such table: missing"},
                          Case{"DROP TABLE missing", 1, "no such table: missing"},
                          Case{"CREATE TABLE t (id INTEGER)", 1, "table t already exists"},
                          Case{"ALTER TABLE t ADD name VARCHAR(5)", 1, "duplicate column name: name"},
                          Case{"SELECT nope FROM t", 1, "no such column: nope"},
                          Case{"INSERT INTO t VALUES (1, 'b')", 19, "UNIQUE constraint failed: t.id"}}) {
        const DbError e = error_of(session_->execute(c.sql));
        ASSERT_EQ(e.records.size(), 1u) << c.sql;
        EXPECT_EQ(e.sqlstate(), "HY000") << c.sql;
        EXPECT_EQ(e.native_error(), c.native) << c.sql;
        EXPECT_NE(e.messages().find(c.text), std::string::npos) << c.sql << ": " << e.messages();
    }
    // Each failure stands alone: the session goes on.
    EXPECT_EQ(read_all(*session_, "SELECT name FROM t")[0][0], "a");
}

TEST(OdbcConnector, UnknownDataSourceFailsWithIM002) {
    OdbcConnector connector;
    auto session = connector.connect({"no_such_dsn", 0, 30});
    EXPECT_EQ(error_of(session).sqlstate(), "IM002");
}

// ---- PostgreSQL -----------------------------------------------------------

class PostgresSession : public ::testing::Test {
protected:
    void SetUp() override {
        SP_REQUIRE_POSTGRES(kPg);
        session_ = connect_or_fail(connector_, kPg, 1);
        ASSERT_TRUE(session_);
        execute_or_fail(*session_, "DROP SCHEMA public CASCADE; CREATE SCHEMA public");
        execute_or_fail(*session_, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(10))");
        execute_or_fail(*session_, "INSERT INTO t VALUES (1, 'a')");
    }

    std::string backend_pid() {
        const auto rows = read_all(*session_, "SELECT pg_backend_pid()");
        return rows.empty() || !rows[0][0] ? "0" : *rows[0][0];
    }

    OdbcConnector connector_;
    std::unique_ptr<Session> session_;  // query timeout 1 s
};

// psqlODBC passes PostgreSQL's own SQLSTATEs through.
TEST_F(PostgresSession, ReportsPostgresSqlStates) {
    for (const auto& [sql, state] : std::vector<std::pair<std::string, std::string>>{
             {"SELECT * FROM missing", "42P01"},
             {"DROP TABLE missing", "42P01"},
             {"CREATE TABLE t (id INTEGER)", "42P07"},
             {"ALTER TABLE t ADD name VARCHAR(5)", "42701"},
             {"SELECT nope FROM t", "42703"},
             {"INSERT INTO t VALUES (1, 'b')", "23505"},
             {"CREATE TABLE [dbo].[x] (a INT)", "42601"},
             // The failure of a later statement of a batch is not lost.
             {"INSERT INTO t VALUES (2, 'b'); INSERT INTO t VALUES (2, 'c')", "23505"}}) {
        const DbError e = error_of(session_->execute(sql));
        EXPECT_EQ(e.sqlstate(), state) << sql << ": " << describe(e);
    }
}

TEST_F(PostgresSession, StatementOutlastingTheQueryTimeoutFailsWith57014) {
    const auto start = Clock::now();
    const DbError e = error_of(session_->execute("SELECT pg_sleep(5)"));
    EXPECT_EQ(e.sqlstate(), "57014") << describe(e);
    EXPECT_LT(ms_since(start), 2500);
    EXPECT_GE(ms_since(start), 900);
    execute_or_fail(*session_, "SELECT 1");  // the session is still usable
}

TEST_F(PostgresSession, TimeoutAppliesToStatementsWaitingForALock) {
    auto holder = connect_or_fail(connector_, kPg, 30);
    ASSERT_TRUE(holder);
    // The second session holds a row lock inside an open transaction.
    execute_or_fail(*holder, "BEGIN; UPDATE t SET name = 'held' WHERE id = 1");
    const auto start = Clock::now();
    EXPECT_EQ(error_of(session_->execute("UPDATE t SET name = 'b' WHERE id = 1")).sqlstate(), "57014");
    EXPECT_LT(ms_since(start), 2500);
    execute_or_fail(*holder, "ROLLBACK");
}

TEST_F(PostgresSession, CancelFromAnotherThreadEndsALongStatement) {
    auto patient = connect_or_fail(connector_, kPg, 0);  // no timeout
    ASSERT_TRUE(patient);
    const auto start = Clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        patient->cancel();
    });
    const DbError e = error_of(patient->execute("SELECT pg_sleep(10)"));
    canceller.join();
    EXPECT_EQ(e.sqlstate(), "57014") << describe(e);
    EXPECT_LT(ms_since(start), 2000);
    execute_or_fail(*patient, "SELECT 1");
}

TEST_F(PostgresSession, KilledConnectionFailsTheNextStatements) {
    const std::string pid = backend_pid();
    auto admin = sandbox.connect_admin();
    ASSERT_TRUE(admin.ok()) << describe(admin.error());
    // With a timeout, pg_terminate_backend waits until the backend is gone.
    const auto killed = read_all(**admin, "SELECT pg_terminate_backend(" + pid + ", 5000)");
    ASSERT_EQ(killed.size(), 1u);
    ASSERT_EQ(killed[0][0], "1");

    // psqlODBC first passes on the server's farewell (57P01, admin shutdown),
    // then reports the lost connection itself (08S01).
    const DbError first = error_of(session_->execute("SELECT 1"));
    EXPECT_EQ(first.sqlstate(), "57P01") << describe(first);
    const DbError second = error_of(session_->execute("SELECT 1"));
    EXPECT_EQ(second.sqlstate(), "08S01") << describe(second);
    EXPECT_FALSE(session_->query("SELECT 1").ok());
}

TEST_F(PostgresSession, UnreachableServerFailsToConnect) {
    auto session = connector_.connect({kPgClosedPort, 5, 30});
    const DbError e = error_of(session);
    EXPECT_EQ(e.sqlstate(), "08001") << describe(e);
    EXPECT_NE(e.messages().find("Connection refused"), std::string::npos) << describe(e);
}

TEST_F(PostgresSession, WrongPasswordIsRefused) {
    auto session = connector_.connect({kPgWrongPassword, 5, 30});
    const DbError e = error_of(session);
    EXPECT_EQ(e.sqlstate(), "08001") << describe(e);
    EXPECT_NE(e.messages().find("password authentication failed"), std::string::npos) << describe(e);
}

TEST_F(PostgresSession, LongMessageIsReadWholeInOneRecord) {
    const std::string text(3000, 'e');
    const DbError one = error_of(session_->execute("DO $$ BEGIN RAISE EXCEPTION '" + text + "!'; END $$"));
    ASSERT_EQ(one.records.size(), 1u) << "a message of 3000 characters was split";
    EXPECT_EQ(one.sqlstate(), "P0001");
    EXPECT_NE(one.records[0].message.find(text + "!"), std::string::npos) << one.records[0].message.size();

}

// ---- The diagnostic reader ------------------------------------------------

TEST(Diagnostics, CallWithoutRecordsStillFailsWithItsName) {
    const auto r = SP_ODBC_CALL(odbc::DiagSource{}, SQLExecDirect, SQL_NULL_HSTMT, nullptr, 0);
    const DbError e = error_of(r);
    ASSERT_EQ(e.records.size(), 1u);
    EXPECT_EQ(e.sqlstate(), "");
    EXPECT_NE(e.messages().find("SQLExecDirect"), std::string::npos) << e.messages();
}

TEST_F(PostgresSession, DiagnosticReaderReadsEveryRecordInOrder) {
    // psqlODBC cuts a message into records of the size of the first read's
    // buffer: with a small buffer one error becomes several records.
    auto env = odbc::allocate_environment();
    ASSERT_TRUE(env.ok());
    auto dbc = odbc::allocate_connection(*env);
    ASSERT_TRUE(dbc.ok());
    const std::string connection = "DSN=" + kPg;
    auto connected = SP_ODBC_CALL(dbc->diag(), SQLDriverConnect, dbc->get(), nullptr,
                                  reinterpret_cast<SQLCHAR*>(const_cast<char*>(connection.c_str())), SQL_NTS,
                                  nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(connected.ok()) << describe(connected.error());
    dbc->mark_connected();
    auto stmt = odbc::allocate_statement(*dbc);
    ASSERT_TRUE(stmt.ok());

    const std::string text = std::string(1500, 'a') + std::string(1500, 'b');
    std::string sql = "DO $$ BEGIN RAISE EXCEPTION '" + text + "'; END $$";
    ASSERT_EQ(SQLExecDirect(stmt->get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_ERROR);
    const auto records = odbc::read_diagnostics(stmt->diag(), 1024);
    ASSERT_GE(records.size(), 3u);
    std::string joined;
    for (const auto& record : records) {
        EXPECT_EQ(record.sqlstate, "P0001");
        EXPECT_LT(record.message.size(), 1024u);
        joined += record.message;
    }
    EXPECT_NE(joined.find(text), std::string::npos);
}

}  // namespace
}  // namespace sp

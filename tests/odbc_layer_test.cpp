// The ODBC session on SQLite (sqliteodbc) and PostgreSQL 15 (psqlODBC) under the
// real unixODBC driver manager. The PostgreSQL cases need tests/with-postgres.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "odbc/credentials.h"
#include "odbc/handles.h"
#include "odbc/odbc_session.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using namespace std::chrono_literals;

auto& sandbox = testing::OdbcSandbox::instance();
const std::string kLite = sandbox.add_sqlite("lite");
const std::string kPg = sandbox.add_postgres("pg");

std::string describe(const DbError& e) { return e.sqlstate() + " " + e.messages(); }

// Expects a call to succeed, or to fail, and hands on what it gave.
template <class R>
R ok(R result, const std::string& what) {
    EXPECT_TRUE(result.ok()) << what << ": " << (result.ok() ? "" : describe(result.error()));
    return result;
}
template <class R>
DbError error_of(const R& result) {
    EXPECT_FALSE(result.ok()) << "the call succeeded";
    return result.ok() ? DbError{} : result.error();
}

using Engine = testing::OnEngine;
INSTANTIATE_TEST_SUITE_P(On, Engine, ::testing::Values(kLite, kPg), testing::engine_name);

TEST_P(Engine, CursorReadsNullsLongTextAndCommittedRows) {
    std::string long_text;
    for (int i = 0; long_text.size() < 70000; ++i) long_text += std::to_string(i) + ",";
    testing::run(*session_, {"CREATE TABLE t (id INTEGER, note TEXT, label VARCHAR(10))",
                             "INSERT INTO t VALUES (1, NULL, 'x')", "INSERT INTO t VALUES (3, '', 'h\xc3\xa9')",
                             "INSERT INTO t VALUES (2, '" + long_text + "', NULL)"});
    auto other = connect();  // autocommit: another connection sees the rows at once
    EXPECT_TRUE(testing::rows(*other, "SELECT id, note, label FROM t ORDER BY id") ==
                (std::vector<Row>{{"1", std::nullopt, "x"}, {"2", long_text, std::nullopt}, {"3", "", "h\xc3\xa9"}}))
        << "NULL, long or UTF-8 text did not come back as stored";

    // A statement runs while a cursor of the same session has rows pending; the cursor outlives its session.
    ASSERT_TRUE(session_->can_write_while_reading());
    auto cursor = ok(session_->query("SELECT id FROM t ORDER BY id"), "query");
    ASSERT_TRUE((*cursor)->fetch().value());
    run("DELETE FROM t WHERE id = 1");
    session_.reset();
    EXPECT_EQ(ok((*cursor)->fetch(), "fetch").value(), Row{"2"});
    EXPECT_EQ(testing::rows(*other, "SELECT COUNT(*) FROM t"), std::vector<Row>{{"2"}});
    // Closed twice is closed; a fetch after it is refused.
    EXPECT_TRUE((*cursor)->close() && (*cursor)->close());
    EXPECT_NE(error_of((*cursor)->fetch()).messages().find("The cursor is closed."), std::string::npos);
}

TEST_P(Engine, PreparedInsertsBindEachTypeAndSendArraysOnlyWhereTheDriverReportsOnThem) {
    run("CREATE TABLE c (line INTEGER UNIQUE, kind SMALLINT, note TEXT)");
    const auto stmt = ok(session_->prepare("INSERT INTO c VALUES (?, ?, ?)", {{sp::ParamType::Integer},
                                           {sp::ParamType::TinyInt}, {sp::ParamType::VarChar, 8}}), "prepare").value();
    const auto n = [](std::int64_t v) { return ParamValue::of(v); };
    const auto t = [](std::string v) { return ParamValue::of(std::move(v)); };
    const ParamValue null = ParamValue::null();
    const std::string longer(300, 'w');  // longer than declared: never cut short
    for (const auto& values : std::vector<std::vector<ParamValue>>{{n(2147483647), n(127), t("it's \"q\"")},
             {n(-2147483648LL), n(-128), t(longer)}, {null, null, null}, {n(4), n(0), t("")}})
        (void)ok(stmt->execute(values), "insert");
    // Bad values are refused unsent, and a failed execution leaves the statement usable.
    for (const auto& [values, state] : std::vector<std::pair<std::vector<ParamValue>, std::string>>{
             {{n(1), n(1)}, "07002"}, {{n(1), n(128), null}, "22003"}, {{n(1), n(-129), null}, "22003"},
             {{n(2147483648LL), null, null}, "22003"}, {{t("1"), null, null}, "07006"},
             {{n(4), null, null}, postgres() ? "23505" : "HY000"}})
        EXPECT_EQ(error_of(stmt->execute(values)).sqlstate(), state);
    (void)ok(stmt->execute({n(5), n(1), t("short")}), "insert after failures");
    EXPECT_EQ(rows("SELECT line, kind, note FROM c ORDER BY line IS NULL, line"),
              (std::vector<Row>{{"-2147483648", "-128", longer}, {"4", "0", ""}, {"5", "1", "short"},
                                {"2147483647", "127", "it's \"q\""}, {std::nullopt, std::nullopt, std::nullopt}}));

    // Arrays of parameter sets where the driver says how it reports on them (psqlODBC: SQL_PARC_BATCH, and it
    // commits an array as a unit); sqliteodbc does not say, so its statement runs one set at a time and commits each.
    run("DELETE FROM c");
    const auto array = ok(session_->prepare_array("INSERT INTO c (line, note) VALUES (?, ?)",
                                                  {{sp::ParamType::Integer}, {sp::ParamType::VarChar, 8}}, 4),
                          "prepare").value();
    ASSERT_EQ(array->array_size(), postgres() ? 4u : 1u);
    EXPECT_TRUE(array->execute_array({{n(1), t("one")}, {n(2), t("two")}, {n(3), t("three")}}).all_done());
    EXPECT_TRUE(array->execute_array({{n(4), t("four")}}).all_done());  // a shorter array after a longer one
    const ArrayOutcome failed = array->execute_array({{n(5), t("five")}, {n(2), t("again")}, {n(6), t("six")}});
    EXPECT_TRUE(failed.error.has_value());
    using S = SetStatus;
    EXPECT_EQ(failed.sets, postgres() ? (std::vector<S>{S::Failed, S::Failed, S::Failed})
                                : (std::vector<S>{S::Done, S::Failed, S::Unused}));
    std::vector<Row> stored{{"1", "one"}, {"2", "two"}, {"3", "three"}, {"4", "four"}};
    if (!postgres()) stored.push_back({"5", "five"});
    EXPECT_EQ(rows("SELECT line, note FROM c ORDER BY line"), stored);
}

TEST_P(Engine, FailuresCarryTheDriversCodesAndTheSessionGoesOn) {
    testing::run(*session_, {"CREATE TABLE t (id INTEGER PRIMARY KEY)", "INSERT INTO t VALUES (1)"});
    // psqlODBC passes PostgreSQL's SQLSTATE on; sqliteodbc says HY000 with SQLite's result code.
    for (const auto& [sql, pg_state, sqlite_code] : {std::tuple{"SELECT * FROM missing", "42P01", 1},
                                                    {"INSERT INTO t VALUES (1)", "23505", 19}}) {
        const DbError e = error_of(session_->execute(sql));
        EXPECT_EQ(e.sqlstate(), postgres() ? pg_state : "HY000") << sql << ": " << describe(e);
        EXPECT_TRUE(postgres() || e.native_error() == sqlite_code) << sql << ": " << e.native_error();
    }
    EXPECT_EQ(rows("SELECT id FROM t"), std::vector<Row>{{"1"}});
    EXPECT_EQ(error_of(connector_.connect({"no_such_dsn", 0, 30})).sqlstate(), "IM002");
    if (postgres()) {  // the failure of a later statement of a batch is not lost (sqliteodbc runs one statement)
        const DbError batch = error_of(session_->execute("INSERT INTO t VALUES (2); INSERT INTO t VALUES (2)"));
        EXPECT_EQ(batch.sqlstate(), "23505") << describe(batch);
    }
}

using Postgres = testing::OnEngine;  // PostgreSQL alone
INSTANTIATE_TEST_SUITE_P(On, Postgres, ::testing::Values(kPg), testing::engine_name);

// SQLite ignores a cancel; PostgreSQL acts on it, so its answer must match what was stored.
TEST_P(Postgres, CancelFromAnotherThreadAtAnyMomentIsSafe) {
    session_->cancel();  // nothing in flight
    run("CREATE TABLE c (id INTEGER)");
    std::atomic<bool> done{false};
    // It only yields between cancels: Windows sleeps a millisecond or more however short the wait asked.
    std::thread canceller([&] { for (; !done; std::this_thread::yield()) session_->cancel(); });
    int stored = 0, cancelled = 0;
    for (int i = 0; i < 5000 && cancelled < 2; ++i) {
        // Each insert keeps the server busy a moment, so that cancels land while one runs (under Wine too).
        const auto r = session_->execute("INSERT INTO c SELECT 1 FROM pg_sleep(0.001)");
        stored += r.ok();
        cancelled += !r.ok() && r.error().sqlstate() == "57014";
    }
    done = true;
    canceller.join();
    EXPECT_GT(cancelled, 0) << "no statement was cancelled";
    // A statement reported as cancelled must not have been stored, nor the reverse.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM c"), std::vector<Row>{{std::to_string(stored)}});
}

// Many procedures, names short and long: each is listed once, by its name.
TEST_P(Postgres, ProceduresAreListedByTheirNames) {
    std::vector<std::string> made;
    for (std::string name = "spr"; made.size() < 40; name += 'x') {
        run("CREATE FUNCTION " + name + "() RETURNS int LANGUAGE sql AS 'SELECT 1'");
        made.push_back(name);
    }
    std::vector<std::string> names = ok(session_->procedures(), "procedures").value();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, made);
}

// After a query timeout the session goes on; after the server killed the connection, the next statements fail.
TEST_P(Postgres, AQueryTimeoutEndsALongStatementAKilledConnectionTheNextOnes) {
    const auto session = connect(1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(error_of(session->execute("SELECT pg_sleep(5)")).sqlstate(), "57014");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms) << "the query timeout of 1 s was not kept";
    const std::string pid = *testing::rows(*session, "SELECT pg_backend_pid()").at(0).at(0);
    auto admin = ok(sandbox.connect_admin(), "admin");
    // With a timeout, pg_terminate_backend waits until the backend is gone. psqlODBC
    // then passes on the server's farewell, and after it reports the lost connection.
    EXPECT_EQ(testing::rows(**admin, "SELECT pg_terminate_backend(" + pid + ", 5000)"), std::vector<Row>{{"1"}});
    EXPECT_EQ(error_of(session->execute("SELECT 1")).sqlstate(), "57P01");
    EXPECT_EQ(error_of(session->query("SELECT 1")).sqlstate(), "08S01");
}

TEST_P(Postgres, EveryDiagnosticRecordIsKept) {
    // psqlODBC cuts a message into records of the first read's buffer size;
    // a message that fills the first buffer is read again whole.
    const std::string text = std::string(1500, 'a') + std::string(1500, 'b');
    std::string sql = "DO $$ BEGIN RAISE EXCEPTION '" + text + "'; END $$";
    auto env = odbc::allocate_environment();
    auto dbc = odbc::allocate_connection(*env);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc->get(), nullptr, reinterpret_cast<SQLCHAR*>(("DSN=" + kPg).data()),
                                               SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    dbc->mark_connected();
    auto stmt = odbc::allocate_statement(*dbc);
    ASSERT_EQ(SQLExecDirect(stmt->get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_ERROR);
    for (SQLSMALLINT first_buffer : {64, 1024, 2999, 3001}) {
        const auto records = odbc::read_diagnostics(stmt->diag(), first_buffer);
        EXPECT_TRUE(records.size() == 1 && records[0].message.find(text) != std::string::npos)
            << first_buffer << ": " << records.size() << " records";
    }
}

TEST(Credentials, AreBracedForTheConnectionStringAndWipedAfterUse) {
    EXPECT_EQ(odbc::braced("p}w;d={x}"), "{p}}w;d={x}}}");
    std::string secret = "secret!";
    const volatile char* stored = secret.data();
    odbc::wipe(secret);
    EXPECT_TRUE(secret.empty());
    for (int i = 0; i < 7; ++i) EXPECT_EQ(stored[i], 0) << i;
}

TEST(Diagnostics, CallWithoutRecordsStillFailsWithItsName) {
    const DbError e = error_of(SP_ODBC_CALL(odbc::DiagSource{}, SQLExecDirect, SQL_NULL_HSTMT, nullptr, 0));
    EXPECT_EQ(e.records.size(), 1u);
    EXPECT_TRUE(e.sqlstate().empty() && e.messages().find("SQLExecDirect") != std::string::npos) << e.messages();
}

}  // namespace
}  // namespace sp

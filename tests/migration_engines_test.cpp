// The item-comment migration on real engines: the SQLite ODBC driver and
// PostgreSQL through psqlODBC, both of which accept the Pervasive wording.
// Details and CommIns are made as the Pervasive product has them, with the
// types these engines know (SMALLINT for TINYINT on PostgreSQL). SQLite does
// not enforce VARCHAR widths, so there an over-long comment is kept out by
// the migration alone.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "migration/item_comments.h"
#include "migration/statements.h"
#include "odbc/odbc_session.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::OdbcSandbox;

const std::string kLite = OdbcSandbox::instance().add_sqlite("migration_lite");
const std::string kPg = OdbcSandbox::instance().add_postgres("migration_pg");

// Our session, with faults injected: the insert after `inserts_before_fault`
// successful ones fails (or runs `fault` first and then goes to the database),
// and the write-while-reading answer can be forced.
class FaultySession : public Session {
public:
    explicit FaultySession(Session& inner) : inner_(inner) {}

    int inserts_before_fault = -1;  // -1: no fault
    std::function<void()> fault;    // empty: the insert fails without reaching the database
    std::optional<bool> write_while_reading;

    Result<void> execute(const std::string& sql) override { return inner_.execute(sql); }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override { return inner_.query(sql); }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        auto prepared = inner_.prepare(sql, params);
        if (!prepared) return prepared.error();
        return std::unique_ptr<PreparedStatement>(std::make_unique<Insert>(*this, std::move(*prepared)));
    }
    bool can_write_while_reading() const override {
        return write_while_reading.value_or(inner_.can_write_while_reading());
    }
    void cancel() override { inner_.cancel(); }

private:
    class Insert : public PreparedStatement {
    public:
        Insert(FaultySession& owner, std::unique_ptr<PreparedStatement> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        Result<void> execute(const std::vector<ParamValue>& values) override {
            if (owner_.executed_++ == owner_.inserts_before_fault) {
                if (!owner_.fault) return DbError::make("08S01", "Communication link failure (injected)");
                owner_.fault();
            }
            return inner_->execute(values);
        }

    private:
        FaultySession& owner_;
        std::unique_ptr<PreparedStatement> inner_;
    };

    Session& inner_;
    int executed_ = 0;
};

struct EngineUnderTest {
    const char* name;
    const std::string* dsn;
    const char* tinyint;
};

class MigrationOnEngine : public ::testing::TestWithParam<EngineUnderTest> {
protected:
    void SetUp() override {
        if (GetParam().dsn == &kPg) SP_REQUIRE_POSTGRES(kPg);
        session_ = connect();
        ASSERT_TRUE(session_);
        run("DROP TABLE IF EXISTS CommIns");
        run("DROP TABLE IF EXISTS Details");
        run("CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
            "deItemComType SMALLINT, deItemCom VARCHAR(255), PRIMARY KEY (QuoteID, Line))");
        run(std::string("CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType ") +
            GetParam().tinyint +
            " DEFAULT '0' NOT NULL, Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, DateEnter DATE, "
            "UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20), "
            "PRIMARY KEY (QuoteID, Line, CoInType, Number))");
    }

    std::unique_ptr<Session> connect() {
        ConnectOptions options;
        options.dsn = *GetParam().dsn;
        options.login_timeout_s = 5;
        auto session = connector_.connect(options);
        EXPECT_TRUE(session) << session.error().sqlstate() << ' ' << session.error().messages();
        return session ? std::move(*session) : nullptr;
    }

    void run(const std::string& sql) {
        auto r = session_->execute(sql);
        ASSERT_TRUE(r) << sql << ": " << r.error().sqlstate() << ' ' << r.error().messages();
    }

    // Details lines: flag, type and comment as SQL literals.
    void add_line(int quote, int line, const std::string& flag, const std::string& type, const std::string& comment) {
        run("INSERT INTO Details (QuoteID, Line, deHasItemCom, deItemComType, deItemCom) VALUES (" +
            std::to_string(quote) + ", " + std::to_string(line) + ", " + flag + ", " + type + ", " + comment + ")");
    }

    std::vector<Row> rows(const std::string& sql) {
        std::vector<Row> out;
        auto cursor = session_->query(sql);
        EXPECT_TRUE(cursor) << sql << ": " << cursor.error().messages();
        if (!cursor) return out;
        for (;;) {
            auto row = (*cursor)->fetch();
            EXPECT_TRUE(row) << row.error().messages();
            if (!row || !*row) break;
            out.push_back(std::move(**row));
        }
        return out;
    }

    std::vector<Row> comment_rows() {
        return rows("SELECT QuoteID, Line, CoInType, Number, CommIns, DateEnter, UserEnter, DateModify, UserModify "
                    "FROM CommIns ORDER BY QuoteID, Line");
    }

    // Flagged lines without their row in CommIns, and rows whose text differs from their line's comment.
    std::string missing_or_different() {
        auto count = rows("SELECT COUNT(*) FROM Details d WHERE d.deHasItemCom = 1 AND NOT EXISTS (SELECT 1 FROM "
                          "CommIns c WHERE c.QuoteID = d.QuoteID AND c.Line = d.Line AND c.Number = 1 AND "
                          "c.CoInType = d.deItemComType + 1 AND c.CommIns = COALESCE(d.deItemCom, ''))");
        return count.empty() ? "no answer" : count[0][0].value_or("NULL");
    }

    odbc::OdbcConnector connector_;
    std::unique_ptr<Session> session_;
};

const Value null;
Row comment_row(int quote, int line, int type, const std::string& text) {
    return {std::to_string(quote), std::to_string(line), std::to_string(type), "1", text, null, null, null, null};
}

TEST_P(MigrationOnEngine, CopiesFlaggedLinesOnlyAndASecondRunWritesNothingNew) {
    add_line(1, 1, "1", "0", "'Rush order'");
    add_line(1, 2, "0", "0", "'flag 0'");
    add_line(1, 3, "NULL", "1", "'flag Null'");
    add_line(1, 4, "1", "2", "NULL");
    add_line(2, 1, "2", "0", "'flag 2'");

    MigrationResult first = migrate_item_comments(*session_, Engine::Pervasive);

    EXPECT_TRUE(first.complete()) << kept_columns_message(first);
    EXPECT_EQ(first.copied, 2);
    const std::vector<Row> expected{comment_row(1, 1, 1, "Rush order"), comment_row(1, 4, 3, "")};
    EXPECT_EQ(comment_rows(), expected);

    MigrationResult second = migrate_item_comments(*session_, Engine::Pervasive);
    EXPECT_TRUE(second.complete()) << kept_columns_message(second);
    EXPECT_EQ(second.copied, 0);
    EXPECT_EQ(second.already_present, 2);
    EXPECT_EQ(comment_rows(), expected);
}

TEST_P(MigrationOnEngine, NothingFlaggedWritesNothingAndCompletes) {
    add_line(1, 1, "0", "0", "'not flagged'");
    MigrationResult result = migrate_item_comments(*session_, Engine::Pervasive);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.copied, 0);
    EXPECT_TRUE(comment_rows().empty());
}

TEST_P(MigrationOnEngine, AnInterruptedMigrationRunAgainCopiesEveryLineExactlyOnce) {
    for (bool read_first : {false, true}) {
        SCOPED_TRACE(read_first ? "second run reads every line first" : "second run streams");
        run("DELETE FROM CommIns");
        run("DELETE FROM Details");
        for (int i = 1; i <= 40; ++i)
            add_line(100 + i % 3, i, i % 5 == 0 ? "0" : "1", std::to_string(i % 4),
                     i % 7 == 0 ? "NULL" : "'comment " + std::to_string(i) + "'");
        FaultySession interrupted(*session_);
        interrupted.inserts_before_fault = 15;

        MigrationResult first = migrate_item_comments(interrupted, Engine::Pervasive);

        EXPECT_FALSE(first.complete());
        EXPECT_EQ(first.copied, 15);
        ASSERT_EQ(comment_rows().size(), 15u);

        FaultySession again(*session_);
        if (read_first) again.write_while_reading = false;
        MigrationResult second = migrate_item_comments(again, Engine::Pervasive);

        EXPECT_TRUE(second.complete()) << kept_columns_message(second);
        EXPECT_EQ(second.already_present, 15);
        EXPECT_EQ(second.copied, 32 - 15);  // 40 lines, 8 of them not flagged
        EXPECT_EQ(comment_rows().size(), 32u);
        EXPECT_EQ(missing_or_different(), "0");
    }
}

TEST_P(MigrationOnEngine, LinesWhoseValuesDoNotFitStayInDetailsAndTheRestIsCopied) {
    add_line(1, 1, "1", "0", "'before'");
    add_line(1, 2, "1", "0", "'" + std::string(81, 'x') + "'");
    add_line(1, 3, "1", "127", "'type 127'");
    add_line(1, 4, "1", "NULL", "'no type'");
    add_line(1, 5, "1", "126", "'" + std::string(80, 'y') + "'");
    add_line(1, 6, "1", "1", "'after'");

    MigrationResult result = migrate_item_comments(*session_, Engine::Pervasive);

    EXPECT_FALSE(result.complete());
    EXPECT_FALSE(result.stopped_by);
    EXPECT_EQ(result.not_movable, 3);
    EXPECT_EQ(result.copied, 3);
    EXPECT_EQ(comment_rows(), (std::vector<Row>{comment_row(1, 1, 1, "before"),
                                                comment_row(1, 5, 127, std::string(80, 'y')),
                                                comment_row(1, 6, 2, "after")}));
    EXPECT_EQ(kept_columns_message(result).rfind("3 flagged quote lines could not be moved to CommIns", 0), 0u);

    // Once the lines are mended, the next run moves them and completes.
    run("UPDATE Details SET deItemCom = 'shortened', deItemComType = 3 WHERE Line IN (2, 3, 4)");
    MigrationResult mended = migrate_item_comments(*session_, Engine::Pervasive);
    EXPECT_TRUE(mended.complete()) << kept_columns_message(mended);
    EXPECT_EQ(mended.copied, 3);
    EXPECT_EQ(missing_or_different(), "0");
}

TEST_P(MigrationOnEngine, LegacyColumnsAlreadyGone) {
    add_line(1, 1, "1", "0", "'a'");
    run("ALTER TABLE Details DROP COLUMN deItemComType");

    MigrationResult result = migrate_item_comments(*session_, Engine::Pervasive);

    EXPECT_EQ(result.copied, 0);
    EXPECT_TRUE(comment_rows().empty());
    if (GetParam().dsn == &kLite) {
        // The SQLite driver reports every failure as HY000: a missing column
        // cannot be told from a broken read, so the columns are kept.
        EXPECT_FALSE(result.complete());
        ASSERT_TRUE(result.stopped_by);
        EXPECT_EQ(result.stopped_by->sqlstate(), "HY000");
    } else {
        EXPECT_TRUE(result.complete());
        EXPECT_TRUE(result.columns_gone);
        EXPECT_EQ(kept_columns_message(result), "");
        run("DROP TABLE Details");
        MigrationResult no_table = migrate_item_comments(*session_, Engine::Pervasive);
        EXPECT_TRUE(no_table.complete());
        EXPECT_TRUE(no_table.columns_gone);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, MigrationOnEngine,
                         ::testing::Values(EngineUnderTest{"SQLite", &kLite, "TINYINT"},
                                           EngineUnderTest{"PostgreSQL", &kPg, "SMALLINT"}),
                         [](const auto& info) { return std::string(info.param.name); });

// On PostgreSQL the connection itself is killed in the middle of the
// migration; a run on a new connection then copies the rest.
TEST(MigrationOnPostgres, AConnectionKilledMidwayLosesNothingOnTheNextRun) {
    SP_REQUIRE_POSTGRES(kPg);
    odbc::OdbcConnector connector;
    ConnectOptions options;
    options.dsn = kPg;
    options.login_timeout_s = 5;
    auto first_connection = connector.connect(options);
    ASSERT_TRUE(first_connection) << first_connection.error().messages();
    Session& session = **first_connection;
    for (const char* sql :
         {"DROP TABLE IF EXISTS CommIns", "DROP TABLE IF EXISTS Details",
          "CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
          "deItemComType SMALLINT, deItemCom VARCHAR(255), PRIMARY KEY (QuoteID, Line))",
          "CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType SMALLINT NOT NULL, "
          "Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, PRIMARY KEY (QuoteID, Line, CoInType, Number))",
          "INSERT INTO Details SELECT 7, g, 1, g % 3, 'line ' || g FROM generate_series(1, 500) AS g"})
        ASSERT_TRUE(session.execute(sql)) << sql;
    std::string pid;
    {
        auto cursor = session.query("SELECT pg_backend_pid()");
        ASSERT_TRUE(cursor);
        auto row = (*cursor)->fetch();
        ASSERT_TRUE(row && *row);
        pid = (**row)[0].value_or("");
    }
    auto admin = OdbcSandbox::instance().connect_admin();
    ASSERT_TRUE(admin) << admin.error().messages();

    FaultySession killed(session);
    killed.inserts_before_fault = 200;
    killed.fault = [&] { (void)(*admin)->execute("SELECT pg_terminate_backend(" + pid + ")"); };
    MigrationResult first = migrate_item_comments(killed, Engine::Pervasive);

    EXPECT_FALSE(first.complete());
    EXPECT_EQ(first.copied, 200);
    ASSERT_TRUE(first.stopped_by);
    EXPECT_NE(kept_columns_message(first).find("after 200 lines were copied"), std::string::npos)
        << kept_columns_message(first);

    auto second_connection = connector.connect(options);
    ASSERT_TRUE(second_connection) << second_connection.error().messages();
    MigrationResult second = migrate_item_comments(**second_connection, Engine::Pervasive);
    EXPECT_TRUE(second.complete()) << kept_columns_message(second);
    EXPECT_EQ(second.already_present, 200);
    EXPECT_EQ(second.copied, 300);
    auto cursor = (*second_connection)
                      ->query("SELECT COUNT(*), COUNT(DISTINCT Line), MIN(CoInType), MAX(CoInType) FROM CommIns c "
                              "JOIN Details d USING (QuoteID, Line) WHERE c.CommIns = d.deItemCom "
                              "AND c.CoInType = d.deItemComType + 1");
    ASSERT_TRUE(cursor);
    auto row = (*cursor)->fetch();
    ASSERT_TRUE(row && *row);
    EXPECT_EQ(**row, (Row{"500", "500", "1", "3"}));
}

}  // namespace
}  // namespace sp

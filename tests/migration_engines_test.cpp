// The item-comment migration on SQLite and PostgreSQL through ODBC, in the
// Pervasive wording, which both accept. SQLite does not enforce VARCHAR widths.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "migration/item_comments.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::OdbcSandbox;

const std::string kLite = OdbcSandbox::instance().add_sqlite("migration_lite");
const std::string kPg = OdbcSandbox::instance().add_postgres("migration_pg");

// Our session with a fault: the insert after `good_inserts` successful ones runs
// `fault` first and fails with its error, if any, without reaching the database.
class FaultySession : public Session {
public:
    FaultySession(Session& inner, int good_inserts) : inner_(inner), left_(good_inserts) {}
    std::function<std::optional<DbError>()> fault = [] { return DbError::make("08S01", "Link failure (injected)"); };

    Result<void> execute(const std::string& sql) override { return inner_.execute(sql); }
    Result<std::unique_ptr<Cursor>> query(const std::string& sql) override { return inner_.query(sql); }
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        auto prepared = inner_.prepare(sql, params);
        if (!prepared) return prepared.error();
        return std::unique_ptr<PreparedStatement>(std::make_unique<Insert>(*this, std::move(*prepared)));
    }
    bool can_write_while_reading() const override { return inner_.can_write_while_reading(); }
    void cancel() override { inner_.cancel(); }

private:
    struct Insert : PreparedStatement {
        Insert(FaultySession& o, std::unique_ptr<PreparedStatement> p) : owner(o), inner(std::move(p)) {}
        Result<void> execute(const std::vector<ParamValue>& values) override {
            auto error = owner.left_-- == 0 ? owner.fault() : std::nullopt;
            return error ? Result<void>(*error) : inner->execute(values);
        }
        FaultySession& owner;
        std::unique_ptr<PreparedStatement> inner;
    };
    Session& inner_;
    int left_;
};

class MigrationOnEngine : public testing::OnEngine {
protected:
    void SetUp() override {
        OnEngine::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // No key on Details: the product's data is not always clean, a quote line may be there twice. CommIns
        // refuses the comment 'refused'.
        const std::string type = postgres() ? "SMALLINT" : "TINYINT";
        testing::run(*session_, {
            "CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
            "deItemComType SMALLINT, deItemCom VARCHAR(255))",
            "CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType " + type + " NOT NULL, "
            "Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL CHECK (CommIns <> 'refused'), DateEnter DATE, "
            "UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20), PRIMARY KEY (QuoteID, Line, CoInType, "
            "Number))"});
    }
    // Details lines as value lists: QuoteID, Line, deHasItemCom, deItemComType, deItemCom.
    void add(const std::string& lines) { run("INSERT INTO Details VALUES " + lines); }
    std::vector<Row> comment_rows() { return rows("SELECT * FROM CommIns ORDER BY QuoteID, Line"); }
    MigrationResult migrate(Session& session) { return migrate_item_comments(session, Engine::Pervasive); }
};

const Value null;

TEST_P(MigrationOnEngine, CopiesFlaggedLinesOnlyAndOnceUntilTheLegacyColumnsAreGone) {
    add("(1, 1, 0, 0, 'flag 0'), (1, 2, NULL, 1, 'flag Null'), (1, 3, 2, 0, 'flag 2')");
    EXPECT_TRUE(migrate(*session_).complete());
    EXPECT_TRUE(comment_rows().empty());

    add("(2, 1, 1, 0, 'Rush order'), (2, 2, 1, 2, NULL)");
    const std::vector<Row> expected{{"2", "1", "1", "1", "Rush order", null, null, null, null},
                                    {"2", "2", "3", "1", "", null, null, null, null}};
    for (int copied : {2, 0}) {
        MigrationResult result = migrate(*session_);
        EXPECT_TRUE(result.complete()) << kept_columns_message(result);
        EXPECT_EQ(result.copied, copied);
        EXPECT_EQ(comment_rows(), expected);
    }

    // Once the legacy columns are gone there is nothing to read. SQLite reports every failure as HY000: a missing
    // column cannot be told from a broken read there, so the columns count as kept.
    run("ALTER TABLE Details DROP COLUMN deItemComType");
    MigrationResult gone = migrate(*session_);
    EXPECT_EQ(gone.complete(), postgres());
    EXPECT_EQ(gone.columns_gone, postgres());
    EXPECT_EQ(comment_rows(), expected);
}

// A line CommIns refuses inside an array: the migration knows exactly which lines reached CommIns (psqlODBC
// commits an array of 500 as a unit, sqliteodbc line by line), and a later run copies the rest once.
TEST_P(MigrationOnEngine, ALineRefusedInsideAnArrayLeavesExactlyTheCountedLines) {
    std::string lines;
    for (int i = 1; i <= 1200; ++i)
        lines += (i > 1 ? ", (7, " : "(7, ") + std::to_string(i) + ", 1, 0, '" +
                 (i == 1100 ? std::string("refused") : "line " + std::to_string(i)) + "')";
    add(lines);
    const auto stored = [&] { return std::stoi(rows("SELECT COUNT(*) FROM CommIns").at(0).at(0).value_or("-1")); };
    MigrationResult first = migrate(*session_);
    EXPECT_FALSE(first.complete());
    EXPECT_TRUE(first.stopped_by.has_value());
    EXPECT_EQ(first.copied, postgres() ? 1000 : 1099);
    EXPECT_EQ(stored(), first.copied);

    run("UPDATE Details SET deItemCom = 'allowed' WHERE Line = 1100");
    MigrationResult second = migrate(*session_);
    EXPECT_TRUE(second.complete()) << kept_columns_message(second);
    EXPECT_EQ(second.already_present, first.copied);
    EXPECT_EQ(second.copied, 1200 - first.copied);
    EXPECT_EQ(stored(), 1200);
}

TEST_P(MigrationOnEngine, AStoppedMigrationRunAgainCopiesEveryFlaggedLineOnce) {
    for (int i = 1; i <= 20; ++i)  // 16 flagged
        add("(" + std::to_string(100 + i % 3) + ", " + std::to_string(i) + (i % 5 ? ", 1, " : ", 0, ") +
            std::to_string(i % 4) + (i % 7 ? ", 'comment " + std::to_string(i) + "')" : ", NULL)"));
    enum Fault { injected, stop_requested, backend_killed };
    for (Fault fault : {injected, stop_requested, backend_killed}) {
        if (fault == backend_killed && !postgres()) break;
        SCOPED_TRACE(fault);
        run("DELETE FROM CommIns");
        FaultySession first(*session_, 6);
        std::atomic<bool> stop{false};
        if (fault == stop_requested)  // during the seventh insert, which is still sent
            first.fault = [&] {
                stop = true;
                return std::optional<DbError>();
            };
        if (fault == backend_killed) {
            auto admin = OdbcSandbox::instance().connect_admin();
            ASSERT_TRUE(admin) << admin.error().messages();
            first.fault = [admin = std::shared_ptr<Session>(std::move(*admin)),
                           pid = rows("SELECT pg_backend_pid()").at(0).at(0).value_or("")] {
                (void)admin->execute("SELECT pg_terminate_backend(" + pid + ")");
                return std::optional<DbError>();
            };
        }
        MigrationResult stopped = migrate_item_comments(first, Engine::Pervasive, &stop);
        const int copied = fault == stop_requested ? 7 : 6;
        EXPECT_EQ(stopped.copied, copied);
        EXPECT_EQ(stopped.interrupted, fault == stop_requested);
        EXPECT_FALSE(stopped.complete());
        ASSERT_TRUE(session_ = connect());
        ASSERT_EQ(comment_rows().size(), static_cast<size_t>(copied));

        MigrationResult result = migrate(*session_);
        EXPECT_TRUE(result.complete()) << kept_columns_message(result);
        EXPECT_EQ(result.copied, 16 - copied);
        EXPECT_EQ(comment_rows().size(), 16u);  // and each is its flagged line's:
        EXPECT_EQ(rows("SELECT COUNT(*) FROM Details d JOIN CommIns c USING (QuoteID, Line) WHERE deHasItemCom = 1 AND "
                       "Number = 1 AND CoInType = deItemComType + 1 AND CommIns = COALESCE(deItemCom, '')"),
                  std::vector<Row>{{"16"}});
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, MigrationOnEngine, ::testing::Values(kLite, kPg), testing::engine_name);

}  // namespace
}  // namespace sp

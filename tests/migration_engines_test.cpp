// The item-comment migration on SQLite and PostgreSQL through ODBC, in the
// Pervasive wording, which both accept. SQLite does not enforce VARCHAR widths.
#include <gtest/gtest.h>

#include <atomic>

#include "migration/item_comments.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::OdbcSandbox;

const std::string kLite = OdbcSandbox::instance().add_sqlite("migration_lite");
const std::string kPg = OdbcSandbox::instance().add_postgres("migration_pg");

struct MigrationOnEngine : testing::OnEngine {
    void SetUp() override {
        OnEngine::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // No key on Details: the product's data is not always clean, a quote line may be there twice. CommIns
        // refuses the comment 'refused'.
        testing::run(*session_, {
            "CREATE TABLE Details (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, deHasItemCom SMALLINT, "
            "deItemComType SMALLINT, deItemCom VARCHAR(255))",
            "CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType " +
                std::string(postgres() ? "SMALLINT" : "TINYINT") + " NOT NULL, Number INTEGER NOT NULL, "
                "CommIns VARCHAR(80) NOT NULL CHECK (CommIns <> 'refused'), DateEnter DATE, UserEnter VARCHAR(20), "
                "DateModify DATE, UserModify VARCHAR(20), PRIMARY KEY (QuoteID, Line, CoInType, Number))"});
    }
};

// However the migration ends early (CommIns refuses a line inside an array, a stop request), CommIns holds exactly the
// lines it counted (psqlODBC commits an array of 500 as a unit, sqliteodbc line by line), and the next run copies the
// rest, each once and to its own line: CommIns's type is one more than deItemComType, a line without text gets an
// empty one, and lines not flagged 1 are left.
TEST_P(MigrationOnEngine, AMigrationEndedEarlyLeavesTheCountedLinesAndTheNextCopiesTheRest) {
    const auto count = [&](const std::string& where) {
        return rows("SELECT COUNT(*) FROM CommIns c JOIN Details d USING (QuoteID, Line) " + where).at(0).at(0);
    };
    for (const bool stopping : {false, true}) {  // else CommIns refuses line 1,040
        SCOPED_TRACE(stopping);
        testing::run(*session_, {"DELETE FROM CommIns", "DELETE FROM Details"});
        std::string details;  // QuoteID, Line, deHasItemCom, deItemComType, deItemCom
        for (int i = 1; i <= 1050; ++i) {
            const std::string n = std::to_string(i);
            details += "(7, " + n + ", 1, " + std::to_string(i % 3) + ", " +
                       (i == 1020 ? "NULL" : !stopping && i == 1040 ? "'refused'" : "'line " + n + "'") + "), ";
        }
        run("INSERT INTO Details VALUES " + details +
            "(8, 1, 0, 0, 'flag 0'), (8, 2, NULL, 1, 'flag NULL'), (8, 3, 2, 0, 'flag 2')");
        std::atomic<bool> stop{false};
        const auto at_1000 = [&](long long n, long long) { if (n == 1000) stop = stopping; };
        const MigrationResult first = migrate_item_comments(*session_, Engine::Pervasive, &stop, at_1000);
        EXPECT_FALSE(first.complete());
        EXPECT_EQ(first.interrupted, stopping);
        // Refused: psqlODBC's whole array of 1,001 to 1,050 is not stored. Stopped at line 1,000: the line in flight
        // is finished, an array it completes is not sent.
        EXPECT_EQ(first.copied, (stopping ? (postgres() ? 500 : 1000) : postgres() ? 1000 : 1039));
        ASSERT_TRUE(session_ = connect());
        EXPECT_EQ(count(""), std::to_string(first.copied));

        run("UPDATE Details SET deItemCom = 'line 1040' WHERE Line = 1040");
        std::vector<std::pair<long long, long long>> told;  // lines read, of all flagged: every thousand and at the end
        const MigrationResult second = migrate_item_comments(
            *session_, Engine::Pervasive, nullptr, [&](long long n, long long all) { told.push_back({n, all}); });
        EXPECT_TRUE(second.complete()) << kept_columns_message(second);
        EXPECT_EQ(told, (std::vector<std::pair<long long, long long>>{{1000, 1050}, {1050, 1050}}));
        EXPECT_EQ(second.already_present, first.copied);
        EXPECT_EQ(second.copied, 1050 - first.copied);
        EXPECT_EQ(count("WHERE Number = 1 AND CoInType = deItemComType + 1 AND CommIns = deItemCom"), "1049");
        EXPECT_EQ(count("WHERE c.Line = 1020 AND c.CoInType = 1 AND CommIns = ''"), "1");
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, MigrationOnEngine, ::testing::Values(kLite, kPg), testing::engine_name);

}  // namespace
}  // namespace sp

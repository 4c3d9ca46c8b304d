// The item-comment migration's flow over the fake database, which answers as the SQL Server and Pervasive drivers do.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "migration/item_comments.h"
#include "migration/statements.h"
#include "tests/support/fake_database.h"

namespace sp {
namespace {

using testing::sql_error;

const MigrationStatements& sqlserver = migration_statements(Engine::SqlServer);

Row line(int number, Value type, Value comment) { return {"1", std::to_string(number), type, comment}; }

// The migration over the fake, its result in `out`; the values of each insert sent, in order.
std::vector<std::string> migrate(testing::FakeDatabase& db, MigrationResult& out, Engine engine = Engine::SqlServer) {
    testing::FakeSession session(db);
    out = migrate_item_comments(session, engine);
    return db.executed("insert ");
}

// Lines are copied in the order read, all read first where the connection cannot write while reading; a line whose
// very comment is in CommIns is passed over, one whose line has another comment there is left; a failing insert
// ends it with nothing further sent, and so does a stop request that cancels the insert in flight (that line not
// counted; one that completes after the request is: the engine test, stopped at line 1,000).
TEST(ItemCommentMigration, CopiesInTheOrderReadAndEndsAtAFailedOrCancelledInsert) {
    enum Mode { streaming, read_first, stop_requested };
    for (Mode mode : {streaming, read_first, stop_requested}) {
        SCOPED_TRACE(mode);
        testing::FakeDatabase db;
        std::atomic<bool> stop{false};
        db.write_while_reading = mode != read_first;
        db.rows[sqlserver.existing] = {{"1", "2", "1", "copied before"}, {"1", "3", "1", "old text"},
                                       {"1", "7", "2", std::nullopt}};
        db.rows[sqlserver.read] = {line(1, "127", "unfit"), line(2, "0", "copied before   "), line(3, "0", "edited"),
                                   line(7, "0", std::nullopt), line(5, "2", "b"), line(5, "2", "b"),
                                   line(5, "2", "b2"), line(4, "0", "c"), line(6, "0", "d")};
        db.fail = [&](const std::string& sent) -> std::optional<DbError> {
            if (!sent.starts_with("insert 1|4|")) return std::nullopt;
            stop = mode == stop_requested;
            return mode == stop_requested ? sql_error("HY008", 0, "Operation canceled")
                                          : sql_error("HYT00", 0, "Query timeout expired");
        };
        testing::FakeSession session(db);
        const MigrationResult result = migrate_item_comments(session, Engine::SqlServer, &stop);
        std::vector<std::string> sent{"query " + sqlserver.existing, "close", "query " + sqlserver.read, "close",
                                      "prepare " + sqlserver.insert, "insert 1|5|3|1|b", "insert 1|4|1|1|c"};
        if (mode != read_first) sent.erase(sent.begin() + 3);  // the cursor is left open when it stops
        EXPECT_EQ(db.log, sent);
        EXPECT_EQ(result.other_comment, 3);    // line 3 edited, line 7 of another type, line 5's third row
        const std::string end = mode == stop_requested ? "was interrupted after 1 line was copied."
                                                       : "stopped after 1 line was copied: Query timeout expired.";
        EXPECT_PRED_FORMAT2(::testing::IsSubstring, end + " Besides, 4 flagged quote lines could not be moved",
                            kept_columns_message(result));
        EXPECT_PRED_FORMAT2(::testing::IsSubstring, "QuoteID/Line 1/1, 1/3, 1/7, 1/5)", kept_columns_message(result));
    }
}

// Read first, nothing is sent after a failed fetch; a missing column named once a line was read is a broken read.
TEST(ItemCommentMigration, OnlyAFailureNamingAMissingObjectBeforeAnyLineMeansThereIsNothingToMove) {
    const std::vector<std::pair<DbError, bool>> cases{
        {sql_error("42S22", 207, "Ung\xC3\xBCltiger Spaltenname 'deItemCom'."), true},  // a German server
        {sql_error("42S02", 208, "Invalid object name 'Details'."), true},
        {sql_error("S0022", 207, "Ung\xC3\xBCltiger Spaltenname 'deItemComType'."), true},  // an ODBC 2 environment
        {sql_error("42P01", 7, "ERROR: relation \"details\" does not exist"), true},
        {sql_error("S1000", 0, "[Zen][ODBC Engine Interface]Invalid column name: 'deItemCom'."), true},
        {sql_error("", 0, "[Pervasive][ODBC Engine Interface]No such table or object."), true},
        {DbError{{{"42000", 8180, "Statement(s) could not be prepared."}, {"42S22", 207, "Invalid column"}}}, true},
        {sql_error("42000", 229, "The SELECT permission was denied on the object 'Details'."), false},
    };
    enum Where { existing_query, read_query, first_fetch, second_fetch };
    for (const auto& [error, missing] : cases)
        for (Where where : {existing_query, read_query, first_fetch, second_fetch}) {
            SCOPED_TRACE(error.messages() + " at " + std::to_string(where));
            testing::FakeDatabase db;
            db.write_while_reading = false;
            db.rows[sqlserver.read] = {line(1, "0", "a")};
            const std::string& failing = where == existing_query ? sqlserver.existing : sqlserver.read;
            if (where >= first_fetch) db.fetch_fail[sqlserver.read] = {where - first_fetch, error};
            else db.fail = [&](const std::string& sql) { return sql == failing ? std::optional(error) : std::nullopt; };
            MigrationResult result;
            // Without CommIns there is nothing to pass over: the line is copied.
            EXPECT_EQ(migrate(db, result).size(), missing && where == existing_query ? 1u : 0u);
            EXPECT_EQ(result.complete(), missing && where != second_fetch);
            EXPECT_EQ(result.columns_gone, missing && (where == read_query || where == first_fetch));
            if (!result.complete()) { EXPECT_EQ(db.log.back(), "query " + failing); }
        }
}

// CoInType is a signed byte, SQL Server's column an unsigned tinyint; a fixed-width column pads comments with blanks.
TEST(ItemCommentMigration, LinesWhoseValuesDoNotFitAreLeftAndCounted) {
    const std::string eighty(80, 'c');
    std::string accented;  // 80 characters, 160 bytes of UTF-8
    for (int i = 0; i < 80; ++i) accented += "\xC3\xA9";
    testing::FakeDatabase db;
    db.rows[sqlserver.read] = {
        line(1, "0", eighty), line(2, "0", accented), line(3, "0", eighty + "   "), line(4, "-1", "a"),
        line(5, " 125.00 ", "b"), line(6, "0", eighty + "d"), line(7, "0", accented + "\xC3\xA9"),
        line(8, "0", eighty + "  x"), line(9, "0", std::string(81, '\xE9')),  // 81 characters of a code page
        line(10, "-2", "a"), line(11, "255", "a"), line(12, std::nullopt, "a"), line(13, "2.5", "a")};
    db.rows[migration_statements(Engine::Pervasive).read] = {line(1, "-129", "a"), line(2, "-130", "b"),
                                                             line(3, "126", "c"), line(4, "127", "d")};
    MigrationResult result;
    EXPECT_EQ(migrate(db, result), (std::vector<std::string>{"1|1|1|1|" + eighty, "1|2|1|1|" + accented,
                                                             "1|3|1|1|" + eighty, "1|4|0|1|a", "1|5|126|1|b"}));
    EXPECT_TRUE(kept_columns_message(result).starts_with("8 flagged quote lines could not be moved to CommIns"));
    db.log.clear();
    EXPECT_EQ(migrate(db, result, Engine::Pervasive), (std::vector<std::string>{"1|1|-128|1|a", "1|3|127|1|c"}));
    EXPECT_TRUE(kept_columns_message(result).starts_with("2 flagged quote lines could not be moved to CommIns"));
}

}  // namespace
}  // namespace sp

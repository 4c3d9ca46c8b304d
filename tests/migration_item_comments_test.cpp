// The item-comment migration's flow, through the fake database: the texts
// sent, the values bound per line, the order of reading and writing, and how
// each failure ends it. SQL Server and Pervasive cannot run here; the fake
// answers as their drivers do (odbc-notes.md).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "migration/item_comments.h"
#include "migration/statements.h"
#include "tests/support/fake_database.h"

namespace sp {
namespace {

using testing::FakeDatabase;
using testing::FakeSession;
using testing::sql_error;

const MigrationStatements& sqlserver = migration_statements(Engine::SqlServer);
const MigrationStatements& pervasive = migration_statements(Engine::Pervasive);

Row line(int quote, int line_number, Value type, Value comment) {
    return {std::to_string(quote), std::to_string(line_number), std::move(type), std::move(comment)};
}

// Records the parameter declarations of every prepared statement.
class DeclarationRecordingSession : public FakeSession {
public:
    using FakeSession::FakeSession;
    Result<std::unique_ptr<PreparedStatement>> prepare(const std::string& sql,
                                                       const std::vector<ParamSpec>& params) override {
        declared.push_back(params);
        return FakeSession::prepare(sql, params);
    }
    std::vector<std::vector<ParamSpec>> declared;
};

std::vector<std::string> inserts(const FakeDatabase& db) {
    std::vector<std::string> out;
    for (const auto& entry : db.log)
        if (entry.rfind("insert ", 0) == 0) out.push_back(entry.substr(7));
    return out;
}

TEST(ItemCommentStatements, KeepTheWordingOfBothEngines) {
    EXPECT_EQ(sqlserver.read,
              "SELECT [QuoteID],[Line],[deItemComType],[deItemCom] FROM [Details] WHERE ([deHasItemCom] = 1);");
    EXPECT_EQ(sqlserver.insert, std::string("SET NOCOUNT ON;INSERT INTO [CommIns] ([QuoteID],[Line],") +
                                    "[CoInType],[Number],[CommIns]) VALUES (?,?,?,?,?);SET NOCOUNT OFF;");
    EXPECT_EQ(pervasive.read, "SELECT QuoteID,Line,deItemComType,deItemCom FROM Details WHERE (deHasItemCom = 1)");
    EXPECT_EQ(pervasive.insert, "INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) VALUES (?,?,?,?,?)");
    // The read of the rows already there is worded like the others and only reads.
    EXPECT_EQ(sqlserver.existing.rfind("SELECT [QuoteID],[Line],[CoInType] FROM [CommIns] ", 0), 0u);
    EXPECT_EQ(pervasive.existing.rfind("SELECT QuoteID,Line,CoInType FROM CommIns ", 0), 0u);
}

TEST(ItemCommentMigration, CopiesEachFlaggedLineThroughOnePreparedInsertInReadOrder) {
    FakeDatabase db;
    db.rows[sqlserver.read] = {line(10, 1, "0", "Rush order"), line(10, 2, "2", std::nullopt),
                               line(7, 1, "5", "x")};
    DeclarationRecordingSession session(db);

    MigrationResult result = migrate_item_comments(session, Engine::SqlServer);

    EXPECT_EQ(db.log, (std::vector<std::string>{"query " + sqlserver.existing, "close", "query " + sqlserver.read,
                                                "prepare " + sqlserver.insert, "insert 10|1|1|1|Rush order",
                                                "insert 10|2|3|1|", "insert 7|1|6|1|x", "close"}));
    ASSERT_EQ(session.declared.size(), 1u);
    const auto& params = session.declared[0];
    ASSERT_EQ(params.size(), 5u);
    EXPECT_EQ(params[0].type, ParamType::Integer);
    EXPECT_EQ(params[1].type, ParamType::Integer);
    EXPECT_EQ(params[2].type, ParamType::TinyInt);
    EXPECT_EQ(params[3].type, ParamType::Integer);
    EXPECT_EQ(params[4].type, ParamType::VarChar);
    EXPECT_EQ(params[4].size, 80);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.copied, 3);
    EXPECT_EQ(result.already_present + result.not_movable, 0);
    EXPECT_EQ(kept_columns_message(result), "");
}

TEST(ItemCommentMigration, ReadsEveryLineBeforeTheFirstInsertWhenTheConnectionCannotWriteWhileReading) {
    FakeDatabase db;
    db.write_while_reading = false;
    db.rows[pervasive.read] = {line(3, 1, "0", "a"), line(1, 1, "1", "b")};
    FakeSession session(db);

    MigrationResult result = migrate_item_comments(session, Engine::Pervasive);

    EXPECT_EQ(db.log, (std::vector<std::string>{"query " + pervasive.existing, "close", "query " + pervasive.read,
                                                "close", "prepare " + pervasive.insert, "insert 3|1|1|1|a",
                                                "insert 1|1|2|1|b"}));
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.copied, 2);
}

TEST(ItemCommentMigration, NothingFlaggedPreparesAndInsertsNothing) {
    for (bool write_while_reading : {true, false}) {
        FakeDatabase db;
        db.write_while_reading = write_while_reading;
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(db.log, (std::vector<std::string>{"query " + sqlserver.existing, "close",
                                                    "query " + sqlserver.read, "close"}));
        EXPECT_TRUE(result.complete());
        EXPECT_FALSE(result.columns_gone);
        EXPECT_EQ(result.copied, 0);
    }
}

TEST(ItemCommentMigration, AFailingInsertEndsItAtOnceWithTheRowsBeforeKept) {
    for (bool write_while_reading : {true, false}) {
        SCOPED_TRACE(write_while_reading ? "streaming" : "read first");
        FakeDatabase db;
        db.write_while_reading = write_while_reading;
        db.rows[sqlserver.read] = {line(1, 1, "0", "a"), line(1, 2, "0", "b"), line(1, 3, "0", "c")};
        db.fail_execute = [](const std::string&, const std::vector<ParamValue>& values) -> std::optional<DbError> {
            if (values[1].integer == 2) return sql_error("HYT00", 0, "Query timeout expired");
            return std::nullopt;
        };
        FakeSession session(db);

        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);

        EXPECT_EQ(inserts(db), (std::vector<std::string>{"1|1|1|1|a", "1|2|1|1|b"}));
        EXPECT_EQ(db.log.back(), "insert 1|2|1|1|b");  // nothing sent after the failure
        EXPECT_FALSE(result.complete());
        ASSERT_TRUE(result.stopped_by);
        EXPECT_EQ(result.stopped_by->sqlstate(), "HYT00");
        EXPECT_EQ(result.copied, 1);
        const std::string message = kept_columns_message(result);
        EXPECT_NE(message.find("after 1 line was copied: Query timeout expired."), std::string::npos) << message;
        EXPECT_NE(message.find("deItemComType and deItemCom were kept"), std::string::npos) << message;
    }
}

TEST(ItemCommentMigration, AFailingPrepareEndsItBeforeAnyInsert) {
    FakeDatabase db;
    db.rows[sqlserver.read] = {line(1, 1, "0", "a")};
    db.fail = [](const std::string& sql) -> std::optional<DbError> {
        if (sql == sqlserver.insert) return sql_error("08S01", 0, "Communication link failure");
        return std::nullopt;
    };
    FakeSession session(db);
    MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
    EXPECT_TRUE(inserts(db).empty());
    EXPECT_EQ(db.log.back(), "prepare " + sqlserver.insert);
    ASSERT_TRUE(result.stopped_by);
    EXPECT_EQ(result.stopped_by->sqlstate(), "08S01");
    EXPECT_NE(kept_columns_message(result).find("before any line was copied"), std::string::npos);
}

TEST(ItemCommentMigration, PassesOverLinesAnEarlierRunCopiedAndCopiesTheRest) {
    FakeDatabase db;
    db.rows[sqlserver.existing] = {{"10", "1", "1"}, {"10", "2", "9"}, {"12", "1", "1"}};
    db.rows[sqlserver.read] = {line(10, 1, "0", "copied before"), line(10, 2, "2", "other type there"),
                               line(11, 1, "0", "new"), line(12, 1, "0", "copied before")};
    FakeSession session(db);

    MigrationResult result = migrate_item_comments(session, Engine::SqlServer);

    EXPECT_EQ(inserts(db), (std::vector<std::string>{"10|2|3|1|other type there", "11|1|1|1|new"}));
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.copied, 2);
    EXPECT_EQ(result.already_present, 2);
}

TEST(ItemCommentMigration, ARunAfterEverythingWasCopiedSendsNoInsert) {
    FakeDatabase db;
    db.rows[pervasive.existing] = {{"1", "1", "1"}, {"1", "2", "4"}};
    db.rows[pervasive.read] = {line(1, 1, "0", "a"), line(1, 2, "3", "b")};
    FakeSession session(db);
    MigrationResult result = migrate_item_comments(session, Engine::Pervasive);
    for (const auto& entry : db.log) EXPECT_EQ(entry.rfind("prepare", 0), std::string::npos) << entry;
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.already_present, 2);
    EXPECT_EQ(result.copied, 0);
}

TEST(ItemCommentMigration, ACommentWiderThanTheColumnIsLeftInDetailsAndCounted) {
    const std::string eighty(80, 'c');
    std::string eighty_accented;
    for (int i = 0; i < 80; ++i) eighty_accented += "\xC3\xA9";  // é in UTF-8: 80 characters, 160 bytes
    FakeDatabase db;
    db.rows[sqlserver.read] = {line(1, 1, "0", eighty),
                               line(1, 2, "0", eighty + "d"),
                               line(1, 3, "0", eighty_accented),
                               line(1, 4, "0", eighty_accented + "\xC3\xA9"),
                               line(1, 5, "0", eighty + "   "),      // blank padding of a fixed-width column
                               line(1, 6, "0", eighty + "  x"),
                               line(1, 7, "0", std::string(81, '\xE9'))};  // a single-byte code page: 81 characters
    FakeSession session(db);

    MigrationResult result = migrate_item_comments(session, Engine::SqlServer);

    EXPECT_EQ(inserts(db), (std::vector<std::string>{"1|1|1|1|" + eighty, "1|3|1|1|" + eighty_accented,
                                                     "1|5|1|1|" + eighty}));
    EXPECT_FALSE(result.complete());
    EXPECT_FALSE(result.stopped_by);
    EXPECT_EQ(result.copied, 3);
    EXPECT_EQ(result.not_movable, 4);
    const std::string message = kept_columns_message(result);
    EXPECT_EQ(message.rfind("4 flagged quote lines could not be moved to CommIns", 0), 0u) << message;
    EXPECT_NE(message.find("the legacy comment columns deItemComType and deItemCom were kept."), std::string::npos)
        << message;
}

TEST(ItemCommentMigration, ATypeWithoutACoInTypeThatFitsIsLeftInDetailsAndCounted) {
    struct Case {
        Engine engine;
        std::vector<std::string> moved;      // legacy types that give a CoInType
        std::vector<Value> refused;          // legacy types that do not
    };
    const std::vector<Case> cases{
        // SQL Server's CoInType column is an unsigned tinyint; the parameter a signed byte.
        {Engine::SqlServer, {"-1", "0", "126", "3.00", " 4 "}, {"-2", "127", "255", std::nullopt, "abc", "2.5", ""}},
        {Engine::Pervasive, {"-129", "126", "+7"}, {"-130", "127", "99999999999", std::nullopt, "1e2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(engine_caption(c.engine));
        const auto& statements = migration_statements(c.engine);
        FakeDatabase db;
        std::vector<Row> rows;
        int number = 0;
        for (const auto& type : c.refused) rows.push_back(line(2, ++number, type, "refused"));
        for (const auto& type : c.moved) rows.push_back(line(2, ++number, type, "moved"));
        db.rows[statements.read] = rows;
        FakeSession session(db);

        MigrationResult result = migrate_item_comments(session, c.engine);

        const auto sent = inserts(db);
        ASSERT_EQ(sent.size(), c.moved.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const long long legacy = std::stoll(c.moved[i]);
            EXPECT_EQ(sent[i], "2|" + std::to_string(c.refused.size() + i + 1) + "|" + std::to_string(legacy + 1) +
                                   "|1|moved");
        }
        EXPECT_EQ(result.not_movable, static_cast<int>(c.refused.size()));
        EXPECT_FALSE(result.complete());
    }
}

TEST(ItemCommentMigration, ALineWhoseKeyIsNotAWholeNumberIsLeftInDetails) {
    FakeDatabase db;
    db.rows[sqlserver.read] = {{std::nullopt, "1", "0", "a"}, {"1", "2147483648", "0", "b"}, {"1", "x", "0", "c"},
                               {"1"}, line(1, 2, "0", "d")};
    FakeSession session(db);
    MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
    EXPECT_EQ(inserts(db), (std::vector<std::string>{"1|2|1|1|d"}));
    EXPECT_EQ(result.not_movable, 4);
}

TEST(ItemCommentMigration, AReadThatNamesAMissingColumnMeansNothingIsLeftToMove) {
    const std::vector<DbError> gone{
        sql_error("42S22", 207,
                  "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid column name 'deItemCom'."),
        sql_error("42S02", 208, "Invalid object name 'Details'."),
        sql_error("S0022", 207, "Invalid column name 'deItemComType'."),  // an ODBC 2 environment
        sql_error("42703", 7, "ERROR: column \"deitemcomtype\" does not exist"),
        sql_error("42P01", 7, "ERROR: relation \"details\" does not exist"),
        sql_error("S1000", 0, "[Zen][ODBC Engine Interface]Invalid column name: 'deItemCom'."),
        sql_error("", 0, "[Pervasive][ODBC Engine Interface]No such table or object."),
        DbError{{{"42000", 8180, "Statement(s) could not be prepared."},
                 {"42S22", 207, "Invalid column name 'deItemCom'."}}},
    };
    for (const auto& error : gone) {
        SCOPED_TRACE(error.messages());
        FakeDatabase db;
        db.fail = [&](const std::string& sql) -> std::optional<DbError> {
            if (sql == sqlserver.read) return error;
            return std::nullopt;
        };
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(db.log.back(), "query " + sqlserver.read);
        EXPECT_TRUE(result.complete());
        EXPECT_TRUE(result.columns_gone);
        EXPECT_EQ(kept_columns_message(result), "");
    }
}

TEST(ItemCommentMigration, AnyOtherReadFailureEndsItIncompleteWithNothingFurtherSent) {
    const std::vector<DbError> others{
        sql_error("42000", 229, "The SELECT permission was denied on the object 'Details'."),
        sql_error("37000", 156, "Incorrect syntax near the keyword 'FROM'."),
        sql_error("HY000", 1, "no such column: deItemCom"),  // SQLite: every failure is HY000
        sql_error("08S01", 0, "Communication link failure"),
        sql_error("HYT00", 0, "Query timeout expired"),
        sql_error("HY000", 0, "Connection is busy with results for another command"),
    };
    for (const auto& error : others) {
        SCOPED_TRACE(error.messages());
        FakeDatabase db;
        db.rows[sqlserver.read] = {line(1, 1, "0", "a")};
        db.fail = [&](const std::string& sql) -> std::optional<DbError> {
            if (sql == sqlserver.read) return error;
            return std::nullopt;
        };
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(db.log.back(), "query " + sqlserver.read);
        EXPECT_FALSE(result.complete());
        EXPECT_FALSE(result.columns_gone);
        ASSERT_TRUE(result.stopped_by);
        EXPECT_EQ(result.stopped_by->sqlstate(), error.sqlstate());
        EXPECT_NE(kept_columns_message(result).find(error.messages()), std::string::npos);
    }
}

TEST(ItemCommentMigration, AFetchFailureEndsItWhereItOccurs) {
    const auto rows = std::vector<Row>{line(1, 1, "0", "a"), line(1, 2, "0", "b"), line(1, 3, "0", "c")};
    {
        SCOPED_TRACE("streaming: the lines read before the failure are copied");
        FakeDatabase db;
        db.rows[sqlserver.read] = rows;
        db.fetch_fail[sqlserver.read] = {2, sql_error("08S01", 0, "Communication link failure")};
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(inserts(db), (std::vector<std::string>{"1|1|1|1|a", "1|2|1|1|b"}));
        EXPECT_EQ(db.log.back(), "insert 1|2|1|1|b");
        EXPECT_FALSE(result.complete());
    }
    {
        SCOPED_TRACE("read first: nothing is inserted after a failed read");
        FakeDatabase db;
        db.write_while_reading = false;
        db.rows[sqlserver.read] = rows;
        db.fetch_fail[sqlserver.read] = {2, sql_error("08S01", 0, "Communication link failure")};
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(db.log.back(), "query " + sqlserver.read);
        EXPECT_FALSE(result.complete());
    }
    {
        SCOPED_TRACE("a driver that names the missing column at the first fetch");
        FakeDatabase db;
        db.fetch_fail[pervasive.read] = {0, sql_error("S1000", 0, "Invalid column name: 'deItemCom'.")};
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::Pervasive);
        EXPECT_TRUE(result.complete());
        EXPECT_TRUE(result.columns_gone);
    }
    {
        SCOPED_TRACE("once a line was read, the columns were there: any failure ends it incomplete");
        FakeDatabase db;
        db.rows[pervasive.read] = rows;
        db.fetch_fail[pervasive.read] = {1, sql_error("S1000", 0, "Invalid column name: 'deItemCom'.")};
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::Pervasive);
        EXPECT_FALSE(result.complete());
        EXPECT_FALSE(result.columns_gone);
        EXPECT_EQ(result.copied, 1);
    }
}

TEST(ItemCommentMigration, AFailedReadOfTheRowsAlreadyThereEndsItUnlessCommInsIsMissing) {
    {
        FakeDatabase db;
        db.rows[sqlserver.read] = {line(1, 1, "0", "a")};
        db.fail = [](const std::string& sql) -> std::optional<DbError> {
            if (sql == sqlserver.existing) return sql_error("08S01", 0, "Communication link failure");
            return std::nullopt;
        };
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(db.log, (std::vector<std::string>{"query " + sqlserver.existing}));
        EXPECT_FALSE(result.complete());
    }
    {
        SCOPED_TRACE("no CommIns and nothing flagged: nothing to lose");
        FakeDatabase db;
        db.fail = [](const std::string& sql) -> std::optional<DbError> {
            if (sql == sqlserver.existing) return sql_error("42S02", 208, "Invalid object name 'CommIns'.");
            return std::nullopt;
        };
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_TRUE(result.complete());
    }
    {
        SCOPED_TRACE("no CommIns and a flagged line: its insert fails and ends the migration");
        FakeDatabase db;
        db.rows[sqlserver.read] = {line(1, 1, "0", "a"), line(1, 2, "0", "b")};
        auto missing = sql_error("42S02", 208, "Invalid object name 'CommIns'.");
        db.fail = [&](const std::string& sql) -> std::optional<DbError> {
            if (sql == sqlserver.existing) return missing;
            return std::nullopt;
        };
        db.fail_execute = [&](const std::string&, const std::vector<ParamValue>&) -> std::optional<DbError> {
            return missing;
        };
        FakeSession session(db);
        MigrationResult result = migrate_item_comments(session, Engine::SqlServer);
        EXPECT_EQ(inserts(db).size(), 1u);
        EXPECT_FALSE(result.complete());
        EXPECT_EQ(result.copied, 0);
    }
}

TEST(ItemCommentMigration, TheMessageCountsBothTheStopAndTheLinesThatDoNotFit) {
    MigrationResult one_line;
    one_line.not_movable = 1;
    EXPECT_EQ(kept_columns_message(one_line).rfind("1 flagged quote line could not be moved to CommIns", 0), 0u);

    MigrationResult both;
    both.copied = 12;
    both.not_movable = 2;
    both.stopped_by = sql_error("23000", 2627, "Violation of PRIMARY KEY constraint 'PK_CommIns'.");
    const std::string message = kept_columns_message(both);
    EXPECT_NE(message.find("after 12 lines were copied: Violation of PRIMARY KEY constraint 'PK_CommIns'. "),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("2 flagged quote lines could not be moved"), std::string::npos) << message;
    EXPECT_NE(message.find("The legacy comment columns deItemComType and deItemCom were kept"), std::string::npos)
        << message;
}

}  // namespace
}  // namespace sp

// The read-only check: the objects expected of 5.4.0 as the statement lists
// give them; on SQLite and PostgreSQL (through their ODBC drivers, in the
// Pervasive wording) a database before the update, half updated and fully
// updated. A database that is not the product's and the proof that a check
// changes nothing are tried through the program. SQL Server, which alone
// has stored procedures, is modelled by the fake.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "core/check.h"
#include "core/report_format.h"
#include "odbc/odbc_session.h"
#include "tests/support/fake_database.h"
#include "tests/support/odbc_sandbox.h"
#include "tests/support/recording_view.h"

namespace sp {
namespace {

using testing::OdbcSandbox;

const std::string kLite = OdbcSandbox::instance().add_sqlite("check_lite");
const std::string kPg = OdbcSandbox::instance().add_postgres("check_pg");

std::vector<std::string> names(const std::vector<TableColumn>& columns) {
    std::vector<std::string> out;
    for (const auto& c : columns) out.push_back(c.table + "." + c.column);
    return out;
}

bool has(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

TEST(ExpectedObjects, AreReadFromTheStatementLists) {
    const std::vector<std::string> drops{"Quote.quDiscount",    "Defaults.qdSVBillTo", "Defaults.qdSVShipTo",
                                         "Quote.quAccountSet",  "Details.deItemComType", "Details.deItemCom"};
    for (Engine engine : {Engine::SqlServer, Engine::Pervasive}) {
        SCOPED_TRACE(engine_key(engine));
        const ExpectedObjects& e = expected_objects(engine);
        EXPECT_EQ(e.created_tables.size(), 19u);  // "nineteen new tables"
        EXPECT_TRUE(has(e.created_tables, "CommIns") && has(e.created_tables, "GridColumns"));
        EXPECT_EQ(names(e.dropped_columns), drops);  // deHasItemCom stays
        for (const char* t : {"Quote", "Details", "Defaults", "Customer", "BillTo", "ShipTo", "Items"})
            EXPECT_TRUE(has(e.product_tables, t)) << t;
        EXPECT_FALSE(has(e.product_tables, "DLocRange")) << "created by phase one, then altered";
        const auto added = names(e.added_columns);
        for (const char* c : {"Quote.CustContact", "Details.deLeadTime", "DLocRange.RType", "CreditNote.Currency"})
            EXPECT_TRUE(has(added, c)) << c;
        EXPECT_TRUE(std::none_of(added.begin(), added.end(),
                                 [](const std::string& c) { return c.find("CONSTRAINT") != std::string::npos; }));
    }
    const ExpectedObjects& sql = expected_objects(Engine::SqlServer);
    EXPECT_TRUE(has(sql.product_tables, "DMiscCharge"));
    // "[sprQuoteType]" and "dbo.udfFormatNum" by their bare names; dropped and not recreated: not expected.
    EXPECT_TRUE(has(sql.routines, "sprQuoteType") && has(sql.routines, "udfFormatNum"));
    EXPECT_FALSE(has(sql.routines, "sprNextQuoteNumber") || has(sql.routines, "sprStatusDefaults"));
    EXPECT_TRUE(expected_objects(Engine::Pervasive).routines.empty());
}

// A SQL Server database modelled by the fake: its catalog as the driver answers it.
TEST(CheckOverFake, ProceduresForeignDatabasesAndCatalogFailures) {
    const ExpectedObjects& e = expected_objects(Engine::SqlServer);
    testing::FakeDatabase::Catalog updated{{"Microsoft SQL Server", "15.00.2000", "SELVANE"}, {}, {}, {}};
    for (const auto& t : e.product_tables) updated.tables.push_back(t);
    for (const auto& t : e.created_tables) updated.tables.push_back(t);
    for (const auto& c : e.added_columns) updated.columns.push_back({c.table, c.column});
    for (const auto& r : e.routines) updated.procedures.push_back(r);

    auto without_quote_type = updated;
    std::erase(without_quote_type.procedures, "sprQuoteType");
    auto foreign = updated;
    foreign.server = {"PostgreSQL", "15.4", "accounts"};
    foreign.tables = {"ledger", "journal"};

    struct Case {
        const char* what;
        std::optional<testing::FakeDatabase::Catalog> catalog;
        CheckVerdict verdict;
        std::vector<std::string> missing_routines;
        bool engine_matches;
        bool refused_by_run;
    } cases[] = {
        {"up to date", updated, CheckVerdict::UpToDate, {}, true, false},
        {"one procedure missing", without_quote_type, CheckVerdict::NeedsUpdate, {"sprQuoteType"}, true, false},
        {"another engine's database", foreign, CheckVerdict::NotProductDatabase, {}, false, true},
        {"no catalog functions: checked not, updated still", std::nullopt, CheckVerdict::NotChecked, {}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::FakeDatabase db;
        db.catalog = c.catalog;
        testing::FakeConnector connector(db);
        RunSettings settings;
        settings.command_timeout_s = 7;
        settings.sqlserver_login_timeout_s = 11;
        const CheckReport report = check_data_sources({{"sv01"}, {}}, connector, settings);
        ASSERT_EQ(report.data_sources.size(), 1u);
        const DataSourceCheck& d = report.data_sources[0];
        EXPECT_EQ(d.verdict, c.verdict) << d.error;
        EXPECT_EQ(d.missing_routines, c.missing_routines);
        EXPECT_EQ(d.engine_matches, c.engine_matches);
        EXPECT_TRUE(db.connects.at(0).read_only);
        EXPECT_EQ(db.connects[0].query_timeout_s, 7);  // as a run's
        EXPECT_EQ(db.connects[0].login_timeout_s, 11);
        EXPECT_TRUE(db.executed().empty());
        EXPECT_EQ(check_exit_status(report), c.verdict == CheckVerdict::UpToDate      ? 0
                                             : c.verdict == CheckVerdict::NeedsUpdate ? 1
                                                                                      : 3);

        db.log.clear();
        testing::RecordingView view;
        const RunReport run = run_upgrade({{"sv01"}, {}}, connector, view);
        EXPECT_EQ(run.data_sources.at(0).outcome,
                  c.refused_by_run ? DataSourceOutcome::NotProductDatabase : DataSourceOutcome::Done);
        EXPECT_EQ(db.executed().empty(), c.refused_by_run);
        EXPECT_EQ(view.messages().size(), c.refused_by_run ? 1u : 0u);
        if (c.refused_by_run) {
            EXPECT_NE(view.messages()[0].find("PostgreSQL 15.4, database \"accounts\""), std::string::npos)
                << view.messages()[0];
            EXPECT_EQ(exit_status(run), 3);
        }
    }
}

// Two lines to move, one not flagged, and three that cannot be moved as they stand.
const std::string kDetails = "(1, 1, 1, 0, 'first', 0, 0, 'c', 1), (1, 2, 0, 1, 'not flagged', 0, 0, 'c', 1), "
                             "(1, 3, 1, NULL, 'no type', 0, 0, 'c', 1), (2, 1, 1, 2, NULL, 0, 0, 'c', 1), (2, 2, 1, 0, '" +
                             std::string(81, 'x') + "', 0, 0, 'c', 1), (2, 3, 1, 200, 'big type', 0, 0, 'c', 1)";

TEST(CheckReportText, ListsTwentyLinesThatCannotBeMovedAndCountsTheRest) {
    for (size_t n : {20u, 21u}) {
        DataSourceCheck d;
        d.name = "sv01";
        d.unmovable.assign(n, {"7", "3", LineFault::TypeEmpty});
        std::ostringstream out;
        print_check_text({{d}}, out);
        EXPECT_NE(out.str().find(std::to_string(n) + " flagged quote lines cannot be moved"), std::string::npos);
        EXPECT_EQ(out.str().find("... and"), n == 20 ? std::string::npos : out.str().find("... and 1 more")) << n;
    }
}

class CheckOnEngine : public testing::OnEngine {
protected:
    DataSourceCheck check() {
        const CheckReport report = check_data_sources({{}, {GetParam()}}, connector_, {});
        EXPECT_EQ(report.data_sources.size(), 1u);
        return report.data_sources.at(0);
    }
    RunReport update() {
        testing::RecordingView view;
        return run_upgrade({{}, {GetParam()}}, connector_, view);
    }
};

TEST_P(CheckOnEngine, BeforeHalfAndFullyUpdated) {
    if (postgres()) ASSERT_NO_FATAL_FAILURE(run("CREATE DOMAIN identity AS integer"));
    ASSERT_NO_FATAL_FAILURE(testing::run(*session_, testing::legacy_schema(postgres(), kDetails)));
    const ExpectedObjects& e = expected_objects(Engine::Pervasive);
    const std::vector<std::string> legacy{"Details.deItemComType", "Details.deItemCom"};
    const std::vector<std::pair<std::string, std::string>> unmovable_keys{{"1", "3"}, {"2", "2"}, {"2", "3"}};
    const std::vector<LineFault> faults{LineFault::TypeEmpty, LineFault::CommentTooLong, LineFault::TypeOutOfRange};
    auto expect_unmovable = [&](const DataSourceCheck& d) {
        ASSERT_EQ(d.unmovable.size(), 3u);
        auto lines = d.unmovable;  // in the engine's order of reading
        std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
            return std::tie(a.quote_id, a.line) < std::tie(b.quote_id, b.line);
        });
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(std::make_pair(lines[i].quote_id, lines[i].line), unmovable_keys[i]);
            EXPECT_EQ(lines[i].why, faults[i]);
        }
    };

    DataSourceCheck before = check();
    EXPECT_EQ(before.verdict, CheckVerdict::NeedsUpdate) << before.error;
    EXPECT_EQ(before.server.dbms_name, postgres() ? "PostgreSQL" : "SQLite");
    EXPECT_FALSE(before.engine_matches);
    EXPECT_EQ(before.product_tables.size(), e.product_tables.size());
    EXPECT_EQ(before.missing_tables.size(), 19u);
    EXPECT_EQ(before.missing_columns.size(), e.added_columns.size());
    EXPECT_EQ(before.columns_to_drop.size(), 6u);
    EXPECT_TRUE(before.legacy_comment_columns);
    EXPECT_EQ(before.lines_to_move, 2);
    EXPECT_EQ(before.lines_in_comm_ins, 0);
    expect_unmovable(before);

    // The lines that cannot be moved keep the legacy columns through a run.
    ASSERT_EQ(update().data_sources.at(0).comments, CommentMove::Kept);
    DataSourceCheck half = check();
    EXPECT_EQ(half.verdict, CheckVerdict::NeedsUpdate);
    EXPECT_EQ(half.missing_tables, std::vector<std::string>{});
    EXPECT_EQ(names(half.missing_columns), std::vector<std::string>{});
    EXPECT_EQ(names(half.columns_to_drop), legacy);
    EXPECT_EQ(half.lines_to_move, 0);
    EXPECT_EQ(half.lines_in_comm_ins, 2);
    expect_unmovable(half);

    // A moved comment edited since: CommIns holds another comment for its line.
    ASSERT_NO_FATAL_FAILURE(testing::run(*session_, {"UPDATE Details SET deItemCom = 'edited' WHERE QuoteID = 1 AND Line = 1"}));
    DataSourceCheck edited = check();
    EXPECT_EQ(edited.lines_in_comm_ins, 1);
    ASSERT_EQ(edited.unmovable.size(), 4u);
    auto other = std::find_if(edited.unmovable.begin(), edited.unmovable.end(),
                              [](const auto& u) { return u.why == LineFault::OtherComment; });
    ASSERT_NE(other, edited.unmovable.end());
    EXPECT_EQ(other->quote_id + "/" + other->line, "1/1");  // read order is the engine's

    // Fixed by hand, then updated again: nothing left.
    ASSERT_NO_FATAL_FAILURE(testing::run(*session_, {"UPDATE Details SET deItemComType = 1 WHERE deItemComType IS NULL OR "
                                          "deItemComType > 100",
                                          "UPDATE Details SET deItemCom = 'short' WHERE QuoteID = 2 AND Line = 2",
                                          "UPDATE Details SET deItemCom = 'first' WHERE QuoteID = 1 AND Line = 1"}));
    DataSourceCheck fixed = check();
    EXPECT_EQ(fixed.lines_to_move, 3);
    EXPECT_TRUE(fixed.unmovable.empty());
    ASSERT_EQ(update().data_sources.at(0).comments, CommentMove::Moved);
    DataSourceCheck full = check();
    EXPECT_EQ(full.verdict, CheckVerdict::UpToDate) << names(full.missing_columns).size();
    EXPECT_FALSE(full.legacy_comment_columns);
    EXPECT_EQ(full.lines_to_move + full.lines_in_comm_ins + full.unmovable.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Engines, CheckOnEngine, ::testing::Values(kLite, kPg), testing::engine_name);

}  // namespace
}  // namespace sp

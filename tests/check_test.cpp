// The read-only check: the objects of 5.4.0 the statement lists give; SQL Server (alone with stored procedures) over
// the fake; SQLite and PostgreSQL through their ODBC drivers, in the Pervasive wording, before, half and fully updated.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

bool has(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// SQL Server's list as read from its statements (the Pervasive one is counted by the check on both engines below),
// then a SQL Server database modelled by the fake: its catalog as the driver answers it; then a run on it.
TEST(CheckOverFake, ExpectedObjectsProceduresForeignDatabasesAndCatalogFailures) {
    const ExpectedObjects& e = expected_objects(Engine::SqlServer);
    EXPECT_EQ(e.created_tables.size(), 19u);  // "nineteen new tables"
    EXPECT_EQ(e.added_columns.size(), 103u);  // one a statement, not the constraints added
    EXPECT_EQ(e.dropped_columns, (std::vector<TableColumn>{{"Quote", "quDiscount"}, {"Defaults", "qdSVBillTo"},
                                                           {"Defaults", "qdSVShipTo"}, {"Quote", "quAccountSet"},
                                                           {"Details", "deItemComType"}, {"Details", "deItemCom"}}));
    EXPECT_TRUE(has(e.product_tables, "DMiscCharge") && !has(e.product_tables, "DLocRange"));  // DLocRange is new
    // "[sprQuoteType]" and "dbo.udfFormatNum" by their bare names; dropped and not recreated: not expected.
    EXPECT_TRUE(has(e.routines, "sprQuoteType") && has(e.routines, "udfFormatNum"));
    EXPECT_FALSE(has(e.routines, "sprNextQuoteNumber") || has(e.routines, "sprStatusDefaults"));

    testing::FakeDatabase::Catalog updated{{"Microsoft SQL Server", "15", "SELVANE"}, e.product_tables, {}, e.routines};
    updated.tables.insert(updated.tables.end(), e.created_tables.begin(), e.created_tables.end());
    for (const auto& c : e.added_columns) updated.columns.push_back({c.table, c.column});
    auto without_quote_type = updated;
    std::erase(without_quote_type.procedures, "sprQuoteType");
    const testing::FakeDatabase::Catalog foreign{{"PostgreSQL", "15.4", "accounts"}, {"ledger", "journal"}, {}, {}};
    const struct {
        std::optional<testing::FakeDatabase::Catalog> catalog;
        CheckVerdict verdict;
        std::vector<std::string> missing_routines;
        int exit_status;
        bool engine_matches, refused_by_run;
    } cases[] = {
        {updated, CheckVerdict::UpToDate, {}, 0, true, false},
        {without_quote_type, CheckVerdict::NeedsUpdate, {"sprQuoteType"}, 1, true, false},
        {foreign, CheckVerdict::NotProductDatabase, {}, 3, false, true},
        {std::nullopt, CheckVerdict::NotChecked, {}, 3, false, false},  // no catalog functions: updated still
    };
    RunSettings settings;
    settings.sqlserver_login_timeout_s = 11;
    settings.command_timeout_s = 7;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.verdict));
        testing::FakeDatabase db;
        db.catalog = c.catalog;
        const CheckReport report = check_data_sources({{"sv01"}, {}}, db, settings);
        const DataSourceCheck& d = report.data_sources.at(0);
        EXPECT_EQ(d.verdict, c.verdict) << d.error;
        EXPECT_EQ(d.missing_routines, c.missing_routines);
        EXPECT_EQ(d.engine_matches, c.engine_matches);
        EXPECT_EQ(check_exit_status(report), c.exit_status);
        const ConnectOptions& options = db.connects.at(0);  // read-only, with a run's timeouts
        EXPECT_TRUE(options.read_only && options.query_timeout_s == 7 && options.login_timeout_s == 11);
        EXPECT_TRUE(db.executed().empty());

        db.log.clear();
        testing::RecordingView view;
        const DataSourceOutcome outcome = run_upgrade({{"sv01"}, {}}, db, view).data_sources.at(0).outcome;
        EXPECT_EQ(outcome, c.refused_by_run ? DataSourceOutcome::NotProductDatabase : DataSourceOutcome::Done);
        EXPECT_EQ(db.executed().empty(), c.refused_by_run);
        EXPECT_EQ(view.messages.size(), c.refused_by_run ? 1u : 0u);
        for (const auto& m : view.messages) EXPECT_NE(m.find("PostgreSQL 15.4, database \"accounts\""), m.npos);
    }
}

TEST(CheckReportText, ListsTwentyLinesThatCannotBeMovedAndCountsTheRest) {
    for (size_t n : {20u, 21u}) {
        DataSourceCheck d;
        d.unmovable.assign(n, {"7", "3", LineFault::TypeEmpty});
        std::ostringstream out;
        print_check_text({{d}}, out);
        EXPECT_NE(out.str().find(std::to_string(n) + " flagged quote lines cannot be moved"), std::string::npos);
        EXPECT_EQ(out.str().find("... and"), n == 20 ? std::string::npos : out.str().find("... and 1 more")) << n;
    }
}

// What a check found: verdict; missing tables, missing columns, columns to drop; lines to move, lines in CommIns;
// whether the legacy columns are there; the lines that cannot be moved and why, sorted (engines differ in order).
std::string summary(const DataSourceCheck& d) {
    const char* verdicts[] = {"UpToDate", "NeedsUpdate", "NotProductDatabase", "NotChecked", "CannotConnect"};
    const char* faults[] = {"KeyNotWhole", "TypeEmpty", "TypeOutOfRange", "CommentTooLong", "OtherComment"};
    std::vector<std::string> lines;
    for (const auto& u : d.unmovable) lines.push_back(" " + u.quote_id + "/" + u.line + " " + faults[int(u.why)]);
    std::sort(lines.begin(), lines.end());
    std::ostringstream out;
    out << verdicts[int(d.verdict)] << " " << d.missing_tables.size() << "/" << d.missing_columns.size() << "/"
        << d.columns_to_drop.size() << " " << d.lines_to_move << "/" << d.lines_in_comm_ins
        << (d.legacy_comment_columns ? " legacy" : "");
    for (const auto& l : lines) out << l;
    return out.str();
}

// Two lines to move, one not flagged, and three that cannot be moved as they stand.
const std::string kDetails = "(1, 1, 1, 0, 'first', 0, 0, 'c', 1), (1, 2, 0, 1, 'not flagged', 0, 0, 'c', 1), "
                             "(1, 3, 1, NULL, 'no type', 0, 0, 'c', 1), (2, 1, 1, 2, NULL, 0, 0, 'c', 1), "
                             "(2, 2, 1, 0, '" + std::string(81, 'x') + "', 0, 0, 'c', 1), "
                             "(2, 3, 1, 200, 'big type', 0, 0, 'c', 1)";

class CheckOnEngine : public testing::OnEngine {
protected:
    DataSourceCheck check() {
        return check_data_sources({{}, {GetParam()}}, connector_, {}).data_sources.at(0);
    }
    CommentMove update() {
        testing::RecordingView view;
        return run_upgrade({{}, {GetParam()}}, connector_, view).data_sources.at(0).comments;
    }
};

TEST_P(CheckOnEngine, BeforeHalfAndFullyUpdated) {
    if (postgres()) run("CREATE DOMAIN identity AS integer");
    ASSERT_NO_FATAL_FAILURE(testing::run(*session_, testing::legacy_schema(postgres(), kDetails)));
    const std::string unmovable = " 1/3 TypeEmpty 2/2 CommentTooLong 2/3 TypeOutOfRange";
    const DataSourceCheck before = check();
    EXPECT_EQ(summary(before), "NeedsUpdate 19/106/6 2/0 legacy" + unmovable) << before.error;
    EXPECT_EQ(before.server.dbms_name, postgres() ? "PostgreSQL" : "SQLite");
    EXPECT_FALSE(before.engine_matches);
    EXPECT_EQ(before.product_tables.size(), 7u);

    // The lines that cannot be moved keep the legacy columns through a run.
    ASSERT_EQ(update(), CommentMove::Kept);
    const DataSourceCheck half = check();
    EXPECT_EQ(summary(half), "NeedsUpdate 0/0/2 0/2 legacy" + unmovable);
    EXPECT_EQ(half.columns_to_drop,
              (std::vector<TableColumn>{{"Details", "deItemComType"}, {"Details", "deItemCom"}}));

    // A moved comment edited since: CommIns holds another comment for its line.
    run("UPDATE Details SET deItemCom = 'edited' WHERE QuoteID = 1 AND Line = 1");
    EXPECT_EQ(summary(check()), "NeedsUpdate 0/0/2 0/1 legacy 1/1 OtherComment" + unmovable);

    // Fixed by hand, then updated again: nothing left.
    ASSERT_NO_FATAL_FAILURE(testing::run(
        *session_, {"UPDATE Details SET deItemComType = 1 WHERE deItemComType IS NULL OR deItemComType > 100",
                    "UPDATE Details SET deItemCom = 'short' WHERE QuoteID = 2 AND Line = 2",
                    "UPDATE Details SET deItemCom = 'first' WHERE QuoteID = 1 AND Line = 1"}));
    EXPECT_EQ(summary(check()), "NeedsUpdate 0/0/2 3/2 legacy");
    ASSERT_EQ(update(), CommentMove::Moved);
    EXPECT_EQ(summary(check()), "UpToDate 0/0/0 0/0");
}

INSTANTIATE_TEST_SUITE_P(Engines, CheckOnEngine, ::testing::Values(kLite, kPg), testing::engine_name);

}  // namespace
}  // namespace sp

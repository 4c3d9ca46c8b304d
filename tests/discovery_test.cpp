// Data-source discovery through the real unixODBC driver manager: each case
// runs in a child process with an odbc.ini of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/odbc_enumerator.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::DsnEntry;
using testing::dsn_with_driver;
using testing::OdbcSandbox;

std::string join(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

// Both lists as text, e.g. "sqlserver: sv01,SVtest | pervasive: sv02".
std::string discover(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system) {
    return OdbcSandbox::run_isolated(user, system, [] {
        OdbcDataSourceEnumerator enumerator;
        const DataSourceLists lists = discover_data_sources(enumerator);
        return "sqlserver: " + join(lists.sqlserver) + " | pervasive: " + join(lists.pervasive);
    });
}

// Every data source the enumerator lists, as "name=description" lines.
std::string enumerate(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                      std::size_t initial_buffer = 1024, int passes = 1) {
    return OdbcSandbox::run_isolated(user, system, [=] {
        OdbcDataSourceEnumerator enumerator(initial_buffer);
        std::string out;
        for (int pass = 0; pass < passes; ++pass) {
            if (pass > 0) out += "--\n";
            for (const auto& e : enumerator.list()) out += e.name + "=" + e.description + "\n";
        }
        return out;
    });
}

TEST(Discovery, KeepsProductDataSourcesOfEachEngineInDriverManagerOrder) {
    EXPECT_EQ(discover({}, {dsn_with_driver("sv01", "SQL Server"), dsn_with_driver("SVtest", "SQL Server"),
                            dsn_with_driver("acct", "SQL Server"),
                            dsn_with_driver("sv02", "Pervasive ODBC Client Interface")}),
              "sqlserver: sv01,SVtest | pervasive: sv02");
}

TEST(Discovery, DriverNamesAndPrefixIgnoreCaseAndBothPervasiveInterfacesCount) {
    EXPECT_EQ(discover({}, {dsn_with_driver("svPE", "PERVASIVE ODBC ENGINE INTERFACE"),
                            dsn_with_driver("Sv1", "sql server"),
                            dsn_with_driver("sVPC", "pervasive odbc client interface"),
                            dsn_with_driver("sv", "Sql Server")}),
              "sqlserver: Sv1,sv | pervasive: svPE,sVPC");
}

TEST(Discovery, OtherDriversAndOtherNamesAreLeftOut) {
    EXPECT_EQ(discover({}, {dsn_with_driver("sv03", "ODBC Driver 17 for SQL Server"),
                            dsn_with_driver("sv04", "SQLite3"),
                            dsn_with_driver("sv05", "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"),
                            dsn_with_driver("sv06", "Pervasive ODBC Interface"),
                            dsn_with_driver("s", "SQL Server"), dsn_with_driver("xsv08", "SQL Server"),
                            dsn_with_driver("acct", "Pervasive ODBC Engine Interface")}),
              "sqlserver:  | pervasive: ");
}

TEST(Discovery, EmptyDescriptionCountsAsSqlServer) {
    // The first call's second driver name is empty, so an "sv" data source
    // without a driver matches it and joins the SQL Server list.
    EXPECT_EQ(discover({}, {dsn_with_driver("svblank", ""), dsn_with_driver("blank", ""),
                            dsn_with_driver("sv09", "SQL Server")}),
              "sqlserver: svblank,sv09 | pervasive: ");
}

TEST(Discovery, NoDataSourcesLeavesBothListsEmpty) {
    EXPECT_EQ(discover({}, {}), "sqlserver:  | pervasive: ");
}

TEST(Discovery, UserDataSourcesComeBeforeSystemDataSources) {
    EXPECT_EQ(discover({dsn_with_driver("svuser", "SQL Server"), dsn_with_driver("svuserpv", "Pervasive ODBC Engine Interface")},
                       {dsn_with_driver("sva", "SQL Server"), dsn_with_driver("svsystempv", "Pervasive ODBC Client Interface")}),
              "sqlserver: svuser,sva | pervasive: svuserpv,svsystempv");
}

TEST(OdbcDataSourceEnumerator, ListsEveryDataSourceWithItsDriverValue) {
    EXPECT_EQ(enumerate({dsn_with_driver("mine", "SQLite3")},
                        {dsn_with_driver("sv01", "SQL Server"), dsn_with_driver("other", ""),
                         {"described", {{"Description", "no driver here"}}}}),
              "mine=SQLite3\nsv01=SQL Server\nother=\ndescribed=no driver here\n");
}

TEST(OdbcDataSourceEnumerator, EveryListingStartsFromTheFirstDataSource) {
    EXPECT_EQ(enumerate({}, {dsn_with_driver("sv01", "SQL Server"), dsn_with_driver("sv02", "SQL Server")}, 1024, 2),
              "sv01=SQL Server\nsv02=SQL Server\n--\nsv01=SQL Server\nsv02=SQL Server\n");
}

TEST(OdbcDataSourceEnumerator, NamesLongerThanTheBufferAreListedWholeAndTheListGoesOn) {
    // With room for 7 characters the driver manager cuts names and answers
    // "success with information"; neither may shorten a name or end the list.
    const std::string long_name = "sv_" + std::string(300, 'n');
    const std::string long_driver = "Pervasive ODBC Client Interface";
    EXPECT_EQ(enumerate({}, {dsn_with_driver("sv1", "SQL"), dsn_with_driver(long_name, long_driver),
                             dsn_with_driver("sv_after", "SQL Server")},
                        8),
              "sv1=SQL\n" + long_name + "=" + long_driver + "\nsv_after=SQL Server\n");
}

}  // namespace
}  // namespace sp

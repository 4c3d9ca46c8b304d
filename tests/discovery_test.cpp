// Data-source discovery through the real driver manager, each case with an odbc.ini of its own.
#include <gtest/gtest.h>

#include "discovery/discovery.h"
#include "discovery/odbc_enumerator.h"
#include "tests/support/odbc_sandbox.h"

namespace sp {
namespace {

using testing::DsnEntry;
using testing::OdbcSandbox;

DsnEntry dsn(std::string name, std::string driver) { return {std::move(name), {{"Driver", std::move(driver)}}}; }

std::string join(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

// The enumerator starts with room for 10 characters: the driver manager cuts a longer text, or one of exactly 10 (no
// room for the terminating zero), and answers "success with information"; the list is read again, whole, with room
// enough, and from the first data source each time.
TEST(Discovery, KeepsProductDataSourcesOfEachEngineInDriverManagerOrder) {
    const std::string sql = "SQL Server", client = "Pervasive ODBC Client Interface",
                      engine = "Pervasive ODBC Engine Interface", long_name = "sv_" + std::string(300, 'n');
    const struct { std::vector<DsnEntry> user, system; std::string lists; } cases[] = {  // "sqlserver | pervasive"
        {{}, {dsn("sv01", sql), dsn("SVtest", sql), dsn("acct", sql), dsn("sv02", client), dsn("sv", sql),
          dsn("svPE", "PERVASIVE ODBC ENGINE INTERFACE"), dsn("Sv1", "sql server"), dsn(long_name, sql),
          dsn("sVPC", "pervasive odbc client interface")}, "sv01,SVtest,sv,Sv1," + long_name + " | sv02,svPE,sVPC"},
        {{}, {dsn("sv04", "SQL"), dsn("sv06", "Pervasive ODBC Interface"), dsn("s", sql), dsn("xsv08", sql)}, " | "},
        // Without a driver the description is empty, which the SQL Server pass also accepts.
        {{}, {{"svblank_10", {}}, {"blank", {}}}, "svblank_10 | "},  // the only cut: a name of exactly 10
        {{}, {dsn("sv09", sql)}, "sv09 | "},                          // the only cut: a driver's name of exactly 10
        {{dsn("svuser", sql), dsn("svuserpv", engine)}, {dsn("sva", sql), dsn("svsystempv", client)},
         "svuser,sva | svuserpv,svsystempv"},
        {{}, {}, " | "},
    };
    for (const auto& c : cases) {
        std::string out;
        OdbcSandbox::run_isolated(c.user, c.system, [&] {
            OdbcDataSourceEnumerator enumerator(10);
            for (int pass = 0; pass < 2; ++pass) {
                const DataSourceLists lists = discover_data_sources(enumerator);
                out += join(lists.sqlserver) + " | " + join(lists.pervasive) + "\n";
            }
        });
        EXPECT_EQ(out, c.lists + "\n" + c.lists + "\n");
    }
}

}  // namespace
}  // namespace sp

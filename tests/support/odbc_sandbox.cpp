#include "tests/support/odbc_sandbox.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sp::testing {

namespace {

namespace fs = std::filesystem;

const char* kAdminDsn = "sp_pg_admin";

std::string env_or(const char* name, const char* fallback) { return std::getenv(name) ? std::getenv(name) : fallback; }

// The directory of the driver manager's ini files, which it reads afresh at each call. Under Wine the launcher's
// (tests/wine-run.sh, named in SP_ODBC_DIR): Wine's odbc32 hands every call to the host's unixODBC, which takes
// ODBCSYSINI and ODBCINI as they were when Wine started. Paths are the host's, which Wine programs reach as well.
fs::path driver_manager_dir() {
#ifdef _WIN32
    const char* dir = std::getenv("SP_ODBC_DIR");
    if (!dir || !*dir) throw std::runtime_error("SP_ODBC_DIR is not set: run the tests through tests/wine-run.sh");
    return dir;
#else
    std::string dir = (fs::temp_directory_path() / "sp-odbc.XXXXXX").string();
    if (!mkdtemp(dir.data())) throw std::runtime_error("cannot make a temporary directory");
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);  // relative to ODBCSYSINI
    setenv("ODBCINI", (dir + "/odbc.user.ini").c_str(), 1);
    return dir;
#endif
}

const char* const kFiles[] = {"odbcinst.ini", "odbc.ini", "odbc.user.ini"};

// odbcinst.ini, odbc.ini (system data sources) and odbc.user.ini in dir; the sandbox's drivers unless others given.
void write_config(const fs::path& dir, const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                  std::vector<DsnEntry> drivers = {}) {
    if (drivers.empty())
        drivers = {{"SQLite3", {{"Driver", odbc_driver_library("libsqlite3odbc.so")}}},
                   {"PostgreSQL", {{"Driver", odbc_driver_library("psqlodbcw.so")}}},
                   {"SQL Server", {{"Driver", odbc_driver_library("libtdsodbc.so")}}}};
    for (const auto& [file, entries] :
         {std::pair<const char*, const std::vector<DsnEntry>*>{kFiles[0], &drivers}, {kFiles[1], &system},
          {kFiles[2], &user}}) {
        std::ofstream out(dir / file, std::ios::trunc);
        for (const auto& e : *entries) {
            out << '[' << e.name << "]\n";
            for (const auto& [key, value] : e.attributes) out << key << '=' << value << '\n';
            out << '\n';
        }
        if (!out) throw std::runtime_error("cannot write " + (dir / file).string());
    }
}

DsnEntry postgres_entry(const std::string& name, const std::string& database) {
    const auto login = PostgresLogin::from_environment();
    return {name, {{"Driver", "PostgreSQL"}, {"Servername", login.host}, {"Port", login.port}, {"Database", database},
                   {"Username", login.user}, {"Password", login.password}, {"SSLmode", "disable"}}};
}

std::string drop_sql(const std::string& db) { return "DROP DATABASE IF EXISTS \"" + db + "\" WITH (FORCE)"; }

}  // namespace

struct OdbcSandbox::DropDatabases : ::testing::Environment {
    void TearDown() override {
        auto& made = OdbcSandbox::instance().created_databases_;
        if (auto admin = OdbcSandbox::instance().connect_admin())  // else the server is gone with its databases
            for (const auto& database : made) (void)(*admin)->execute(drop_sql(database));
        made.clear();
    }
};

PostgresLogin PostgresLogin::from_environment() {
    return {env_or("SP_PG_HOST", "127.0.0.1"), env_or("SP_PG_PORT", "5432"), env_or("SP_PG_USER", "postgres"),
            env_or("SP_PG_PASSWORD", "")};
}

std::string odbc_driver_library(const std::string& file) {
    // Under Wine the host's libraries of the program's own bitness.
    const char* own = sizeof(void*) == 4 ? "/usr/lib/i386-linux-gnu/odbc" : "/usr/lib/x86_64-linux-gnu/odbc";
    for (const char* dir : {own, "/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib/odbc",
                            "/usr/lib64", "/usr/local/lib"})
        if (fs::exists(fs::path(dir) / file)) return std::string(dir) + "/" + file;
    return file;
}

std::vector<std::string> legacy_schema(bool postgres, const std::string& details) {
    std::vector<std::string> sql;
    if (postgres) sql = {"CREATE DOMAIN tinyint AS smallint", "CREATE DOMAIN currency AS numeric(19,4)"};
    for (const char* s : {
             "CREATE TABLE Quote (QuoteID int PRIMARY KEY, quDiscount smallint, quLines smallint, "
             "quDateModify timestamp, quUserModify varchar(10), quAccountSet varchar(10))",
             "CREATE TABLE Details (QuoteID int, Line smallint, deHasItemCom smallint, deItemComType smallint, "
             "deItemCom varchar(250), deCost numeric(18,4), deSelected smallint, deComment varchar(100), "
             "deQuantity numeric(18,2), PRIMARY KEY (QuoteID, Line))",
             "CREATE TABLE Defaults (DefaultID int, qdSVShipTo smallint, qdSVBillTo smallint)",
             "CREATE TABLE BillTo (BillToID int)", "CREATE TABLE Customer (CustomerID int)",
             "CREATE TABLE ShipTo (ShipToID int)", "CREATE TABLE Items (ItemID int)",
             "INSERT INTO Quote VALUES (1, 5, 2, NULL, 'x', 'A'), (2, 7, 1, NULL, 'y', 'B')",
             "INSERT INTO Defaults VALUES (1, 1, 0), (2, 0, 1)"})
        sql.push_back(s);
    sql.push_back("INSERT INTO Details VALUES " + details);
    return sql;
}

OdbcSandbox& OdbcSandbox::instance() {
    static OdbcSandbox sandbox;  // removed at exit
    return sandbox;
}

bool OdbcSandbox::postgres_configured() { return std::getenv("SP_PG_PORT") != nullptr; }

OdbcSandbox::OdbcSandbox() : dir_(driver_manager_dir()) {
    write_config(dir_, {}, system_);
    if (postgres_configured()) add(postgres_entry(kAdminDsn, "postgres"));
}

OdbcSandbox::~OdbcSandbox() {
#ifndef _WIN32  // the launcher removes its own
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
#endif
}

std::string OdbcSandbox::add(DsnEntry entry) {
    system_.push_back(std::move(entry));
    write_config(dir_, {}, system_);
    return system_.back().name;
}

bool OdbcSandbox::is_postgres(const std::string& dsn) const {
    for (const auto& e : system_)
        if (e.name == dsn) return !e.attributes.empty() && e.attributes[0].second == "PostgreSQL";
    return false;
}

std::string OdbcSandbox::add_sqlite(const std::string& name) {
    return add({name, {{"Driver", "SQLite3"}, {"Database", sqlite_file(name).generic_string()}, {"Timeout", "2000"},
                 {"SyncPragma", "OFF"}}});  // a test database needs no flush to disk after each statement
}

std::string OdbcSandbox::add_postgres(const std::string& name) {
    return add(postgres_entry(name, postgres_database(name)));
}

std::string OdbcSandbox::postgres_database(const std::string& dsn) const {
    std::string db = "sp_" + std::to_string(getpid()) + "_";
    for (char c : dsn) db += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    return db;
}

Result<std::unique_ptr<Session>> OdbcSandbox::connect_admin() {
    static OdbcConnector connector;
    return connector.connect({kAdminDsn, 5, 30});
}

::testing::AssertionResult OdbcSandbox::prepare_postgres(const std::string& dsn) {
    const std::string database = postgres_database(dsn);
    for (const auto& made : created_databases_)
        if (made == database) return ::testing::AssertionSuccess();
    auto admin = connect_admin();
    if (!admin)
        return ::testing::AssertionFailure() << "SP_PG_PORT is set but no server answers: " << admin.error().messages();
    for (const auto& sql : {drop_sql(database), "CREATE DATABASE \"" + database + '"'})
        if (auto r = (*admin)->execute(sql); !r)
            return ::testing::AssertionFailure() << sql << ": " << r.error().sqlstate() << ' ' << r.error().messages();
    if (created_databases_.empty()) ::testing::AddGlobalTestEnvironment(new DropDatabases);
    created_databases_.push_back(database);
    return ::testing::AssertionSuccess();
}

void run(Session& session, const std::vector<std::string>& sql) {
    for (const auto& text : sql) {
        auto r = session.execute(text);
        ASSERT_TRUE(r) << text << ": " << r.error().sqlstate() << ' ' << r.error().messages();
    }
}

std::vector<Row> rows(Session& session, const std::string& sql) {
    std::vector<Row> out;
    auto cursor = session.query(sql);
    for (auto row = cursor ? (*cursor)->fetch() : cursor.error();; row = (*cursor)->fetch()) {
        EXPECT_TRUE(row) << sql << ": " << row.error().sqlstate() << ' ' << row.error().messages();
        if (!row || !*row) return out;
        out.push_back(std::move(**row));
    }
}

void OnEngine::SetUp() {
    if (postgres())
        SP_REQUIRE_POSTGRES(GetParam());
    else
        fs::remove(OdbcSandbox::instance().sqlite_file(GetParam()));  // the driver makes a new, empty file
    session_ = connect();
    ASSERT_TRUE(session_ != nullptr);
    if (postgres()) run("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
}

std::unique_ptr<Session> OnEngine::connect(int query_timeout_s) {
    auto session = connector_.connect({GetParam(), 5, query_timeout_s});
    EXPECT_TRUE(session) << GetParam() << ": " << session.error().messages();
    return session ? std::move(*session) : nullptr;
}

std::string engine_name(const ::testing::TestParamInfo<std::string>& info) {
    return OdbcSandbox::instance().is_postgres(info.param) ? "PostgreSQL" : "SQLite";
}

void OdbcSandbox::run_isolated(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                               const std::function<void()>& body, const std::vector<DsnEntry>& drivers) {
    const fs::path dir = instance().dir_;
    std::vector<std::pair<fs::path, std::string>> held;
    for (const char* file : kFiles) {
        std::ifstream in(dir / file, std::ios::binary);
        held.emplace_back(dir / file, std::string(std::istreambuf_iterator<char>(in), {}));
    }
    write_config(dir, user, system, drivers);
    body();
    for (const auto& [file, text] : held) std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace sp::testing

#include "tests/support/odbc_sandbox.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "odbc/odbc_session.h"

namespace sp::testing {

namespace {

namespace fs = std::filesystem;

const char* kAdminDsn = "sp_pg_admin";

std::string env_or(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

fs::path make_temp_dir(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
    return pattern;
}

void write_ini(const fs::path& file, const std::vector<DsnEntry>& entries) {
    std::ofstream out(file, std::ios::trunc);
    for (const auto& e : entries) {
        out << '[' << e.name << "]\n";
        for (const auto& [key, value] : e.attributes) out << key << '=' << value << '\n';
        out << '\n';
    }
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void write_driver_ini(const fs::path& dir) {
    std::ofstream out(dir / "odbcinst.ini", std::ios::trunc);
    out << "[SQLite3]\nDriver=" << odbc_driver_library("libsqlite3odbc.so") << "\n\n"
        << "[PostgreSQL]\nDriver=" << odbc_driver_library("psqlodbcw.so") << "\n\n";
    if (!out) throw std::runtime_error("cannot write odbcinst.ini");
}

// Points the driver manager at the files of dir; must precede its first call.
void point_driver_manager_at(const fs::path& dir) {
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);  // relative to ODBCSYSINI
    setenv("ODBCINI", (dir / "odbc.user.ini").c_str(), 1);
}

DsnEntry postgres_entry(const std::string& name, const std::string& database, const PostgresLogin& login) {
    return {name,
            {{"Driver", "PostgreSQL"},
             {"Servername", login.host},
             {"Port", login.port},
             {"Database", database},
             {"Username", login.user},
             {"Password", login.password},
             {"SSLmode", "disable"}}};
}

std::string quoted_identifier(const std::string& name) { return '"' + name + '"'; }

// Drops the databases made by this process when the tests are over.
class DropDatabases : public ::testing::Environment {
public:
    void TearDown() override { OdbcSandbox::instance().drop_databases(); }
};

}  // namespace

DsnEntry dsn_with_driver(std::string name, std::string driver) {
    DsnEntry entry{std::move(name), {}};
    if (!driver.empty()) entry.attributes.emplace_back("Driver", std::move(driver));
    return entry;
}

PostgresLogin PostgresLogin::from_environment() {
    return {env_or("SP_PG_HOST", "127.0.0.1"), env_or("SP_PG_PORT", "5432"), env_or("SP_PG_USER", "postgres"),
            env_or("SP_PG_PASSWORD", "")};
}

std::string odbc_driver_library(const std::string& file) {
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib/odbc",
                            "/usr/lib64", "/usr/local/lib"}) {
        const fs::path candidate = fs::path(dir) / file;
        if (fs::exists(candidate)) return candidate.string();
    }
    return file;
}

int closed_local_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);  // bound but never listening; now released
    return port;
}

OdbcSandbox& OdbcSandbox::instance() {
    static OdbcSandbox sandbox;
    return sandbox;
}

bool OdbcSandbox::postgres_configured() { return std::getenv("SP_PG_PORT") != nullptr; }

OdbcSandbox::OdbcSandbox() : dir_(make_temp_dir("sp-odbc.")) {
    write_driver_ini(dir_);
    if (postgres_configured())
        system_.push_back(postgres_entry(kAdminDsn, "postgres", PostgresLogin::from_environment()));
    write_files();
    point_driver_manager_at(dir_);
}

OdbcSandbox::~OdbcSandbox() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void OdbcSandbox::write_files() const {
    write_ini(dir_ / "odbc.ini", system_);
    write_ini(dir_ / "odbc.user.ini", user_);
}

std::string OdbcSandbox::add_sqlite(const std::string& name) {
    add_system_dsn({name, {{"Driver", "SQLite3"}, {"Database", sqlite_file(name).string()}, {"Timeout", "2000"}}});
    return name;
}

std::string OdbcSandbox::postgres_database(const std::string& dsn) const {
    std::string db = "sp_" + std::to_string(getpid()) + "_";
    for (char c : dsn) db += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    return db;
}

std::string OdbcSandbox::add_postgres(const std::string& name, PostgresLogin login) {
    add_system_dsn(postgres_entry(name, postgres_database(name), login));
    return name;
}

void OdbcSandbox::add_system_dsn(DsnEntry entry) {
    system_.push_back(std::move(entry));
    write_files();
}

void OdbcSandbox::add_user_dsn(DsnEntry entry) {
    user_.push_back(std::move(entry));
    write_files();
}

Result<std::unique_ptr<Session>> OdbcSandbox::connect_admin() {
    static OdbcConnector connector;
    ConnectOptions options;
    options.dsn = kAdminDsn;
    options.login_timeout_s = 5;
    options.query_timeout_s = 30;
    return connector.connect(options);
}

::testing::AssertionResult OdbcSandbox::prepare_postgres(const std::string& dsn) {
    const std::string database = postgres_database(dsn);
    for (const auto& made : created_databases_)
        if (made == database) return ::testing::AssertionSuccess();
    auto admin = connect_admin();
    if (!admin)
        return ::testing::AssertionFailure() << "SP_PG_PORT is set but the PostgreSQL server cannot be reached: "
                                             << admin.error().sqlstate() << ' ' << admin.error().messages();
    for (const auto& sql : {"DROP DATABASE IF EXISTS " + quoted_identifier(database) + " WITH (FORCE)",
                                  "CREATE DATABASE " + quoted_identifier(database)}) {
        if (auto r = (*admin)->execute(sql); !r)
            return ::testing::AssertionFailure() << sql << ": " << r.error().sqlstate() << ' ' << r.error().messages();
    }
    if (created_databases_.empty()) ::testing::AddGlobalTestEnvironment(new DropDatabases);
    created_databases_.push_back(database);
    return ::testing::AssertionSuccess();
}

void OdbcSandbox::drop_databases() {
    if (created_databases_.empty()) return;
    auto admin = connect_admin();
    if (!admin) return;  // the server is gone with its databases
    for (const auto& database : created_databases_)
        (void)(*admin)->execute("DROP DATABASE IF EXISTS " + quoted_identifier(database) + " WITH (FORCE)");
    created_databases_.clear();
}

std::string OdbcSandbox::run_isolated(const std::vector<DsnEntry>& user, const std::vector<DsnEntry>& system,
                                      const std::function<std::string()>& body) {
    const fs::path dir = make_temp_dir("sp-odbc-child.");
    write_driver_ini(dir);
    write_ini(dir / "odbc.ini", system);
    write_ini(dir / "odbc.user.ini", user);

    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return "child failed: no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipe_fds[0]);
        point_driver_manager_at(dir);
        const std::string out = body();
        std::size_t written = 0;
        while (written < out.size()) {
            const ssize_t n = write(pipe_fds[1], out.data() + written, out.size() - written);
            if (n <= 0) _exit(3);
            written += static_cast<std::size_t>(n);
        }
        _exit(0);  // no exit handlers: they belong to the parent
    }
    close(pipe_fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        out = "child failed: status " + std::to_string(status);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return out;
}

}  // namespace sp::testing

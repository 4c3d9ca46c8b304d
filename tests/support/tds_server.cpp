#include "tests/support/tds_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/odbc_sandbox.h"

namespace sp::testing {

namespace fs = std::filesystem;

TdsServer& TdsServer::instance() {
    static TdsServer server;
    return server;
}

TdsServer::TdsServer() {
    std::string pattern = (fs::temp_directory_path() / "sp-tds.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
    dir_ = pattern;
    std::ofstream(dir_ + "/plan.json") << "{}";
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("cannot make a pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        execlp("python3", "python3", SP_TDS_SERVER, (dir_ + "/plan.json").c_str(), (dir_ + "/log").c_str(),
               (dir_ + "/port").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[0]);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);  // programs the tests start must not keep it open
    keep_alive_fd_ = fds[1];
    for (int i = 0; i < 200 && !fs::exists(dir_ + "/port"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream(dir_ + "/port") >> port_;
    if (port_ == 0) throw std::runtime_error("the TDS test server did not start (is python3 installed?)");
}

TdsServer::~TdsServer() {
    close(keep_alive_fd_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void TdsServer::set_plan(const std::string& json) {
    std::ofstream(dir_ + "/log", std::ios::trunc);
    std::ofstream(dir_ + "/plan.json", std::ios::trunc) << json;
}

std::vector<std::vector<std::string>> TdsServer::received() const {
    std::vector<std::vector<std::string>> out;
    std::ifstream in(dir_ + "/log");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields(1);
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                fields.emplace_back();
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                const char c = line[++i];
                fields.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            } else {
                fields.back() += line[i];
            }
        }
        out.push_back(std::move(fields));
    }
    return out;
}

std::vector<std::string> TdsServer::statements() const {
    std::vector<std::string> out;
    for (const auto& m : received())
        if (m[0] == "batch" && m.size() > 1)
            out.push_back(m[1]);
        else if (m[0] == "rpc" && m.size() > 2 && m[2] != "NULL")
            out.push_back(m[2]);
    return out;
}

std::string add_tds_data_source(const std::string& name, int port) {
    return OdbcSandbox::instance().add({name,
                                        {{"Driver", "SQL Server"},
                                         {"Server", "127.0.0.1"},
                                         {"Port", std::to_string(port)},
                                         {"TDS_Version", "7.4"},
                                         {"Database", "sv"}}});
}

}  // namespace sp::testing

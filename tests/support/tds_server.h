// The TDS test server (tds_server.py beside this file) as the tests see it:
// started once per test process, on 127.0.0.1, ended with the process. A test
// sets the plan the server answers from and reads back what it received.
#pragma once

#include <string>
#include <vector>

namespace sp::testing {

class TdsServer {
public:
    static TdsServer& instance();  // started on first use

    int port() const { return port_; }
    // The plan as JSON (see tds_server.py); also forgets what was received.
    void set_plan(const std::string& json);
    // What the server received since the last set_plan, one entry a message,
    // its fields split at tabs: "login USER PASSWORD DATABASE", "batch SQL",
    // "rpc PROC SQL DECLARED TYPE=VALUE...", "attention".
    std::vector<std::vector<std::string>> received() const;
    // The statement texts of batches and RPCs, in order.
    std::vector<std::string> statements() const;

    TdsServer(const TdsServer&) = delete;
    ~TdsServer();

private:
    TdsServer();
    std::string dir_;
    int port_ = 0;
    int keep_alive_fd_ = -1;  // the server ends when this pipe closes
};

// Adds a data source with driver "SQL Server" (FreeTDS) on the test server,
// or on another port, to the sandbox; returns its name.
std::string add_tds_data_source(const std::string& name, int port);

}  // namespace sp::testing

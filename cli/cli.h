// The command line: the version, the data sources a run would visit, the
// dry run, and unattended runs with a report and exit statuses. Without
// arguments the program opens its window instead.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "odbc/database.h"

namespace sp {

struct CliContext {
    Connector& connector;
    DataSourceEnumerator& enumerator;
    std::ostream& out;
    std::ostream& err;
    bool out_is_terminal = false;
    bool handle_signals = false;  // Ctrl-C, SIGINT, SIGTERM stop a run
    // The password for --user, asked with this prompt: SELVANE_SP_PASSWORD, else
    // typed at the terminal without echo; std::nullopt when neither can be had.
    std::function<std::optional<std::string>(const std::string& prompt)> password_for_user{};
};

// The exit status, or std::nullopt when there are no arguments (open the window).
std::optional<int> run_command_line(const std::vector<std::string>& args, CliContext& context);

std::string usage_text();

}  // namespace sp

// The command line: the version, the data sources a run would visit, the
// dry run, and unattended runs with a report and exit statuses. Without
// arguments the program opens its window instead.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/run_log.h"
#include "discovery/discovery.h"
#include "odbc/database.h"
#include "platform/run_lock.h"

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
    // Opens the run's log: the file given with --log, else a new one in the
    // log folder. Empty: runs keep no log.
    std::function<OpenedLog(const std::optional<std::string>& file, std::chrono::system_clock::time_point started)>
        open_log{};
    // Takes the machine's one-run-at-a-time lock. Empty: no lock.
    std::function<LockAttempt()> lock_for_run{};
    // The terminal's width in columns (0: unknown), for the progress line.
    std::function<int()> terminal_columns{};
};

// The exit status, or std::nullopt when there are no arguments (open the window).
std::optional<int> run_command_line(const std::vector<std::string>& args, CliContext& context);

std::string usage_text();

// The exit status of a run (or a check) that found no data source to visit.
inline constexpr int kExitNothingFound = 4;
// The exit status of a run stopped by SIGTERM (SIGINT: 130).
inline constexpr int kExitTerminated = 143;

// What a run or a check that finds no data source to visit says (one line).
std::string nothing_found_message(bool check = false);

}  // namespace sp

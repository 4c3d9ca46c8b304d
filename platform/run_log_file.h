// Where run logs are kept and how one is opened: one file per run in the
// user's state folder, named by the run's start time, the newest 50 kept; or
// the one file the user names.
#pragma once

#include <chrono>
#include <filesystem>

#include "core/run_log.h"

namespace sp {

inline constexpr int kLogsKept = 50;

// The folder for the logs of the user's runs: on Linux $XDG_STATE_HOME/selvane-sp,
// else ~/.local/state/selvane-sp; on Windows %LOCALAPPDATA%\Selvane SP5.4.
// Empty when neither the variable nor a home folder is known.
// (One implementation per operating system: log_folder_posix.cpp, log_folder_win.cpp.)
std::filesystem::path default_log_folder();

// A new log in folder (made when missing) named "selvane-sp-YYYYMMDD-HHMMSS.log"
// by the local start time; the oldest logs of that name pattern beyond keep
// are removed. The file is never one that exists already.
OpenedLog open_log_in_folder(const std::filesystem::path& folder, std::chrono::system_clock::time_point started,
                             int keep = kLogsKept);

// The file the user named; what it held is replaced.
OpenedLog open_log_file(const std::filesystem::path& file);

}  // namespace sp

// The job that the window's Start runs: one run at a time on the machine,
// the upgrade of every listed data source, and its run log. Free of Qt.
#pragma once

#include <chrono>
#include <functional>

#include "core/run_log.h"
#include "core/stop_switch.h"
#include "discovery/discovery.h"
#include "platform/run_lock.h"
#include "window_qt/window_app.h"

namespace sp {

struct WindowJobParts {
    std::function<LockAttempt()> lock_for_run;  // empty: no lock
    std::function<OpenedLog(std::chrono::system_clock::time_point started)> open_log;  // empty: no log
};

// lists: the data sources to visit, asked for when Start is pressed.
// stop: what closing the window during the run pulls.
RunJob window_run_job(std::function<DataSourceLists()> lists, Connector& connector, StopSwitch& stop, WindowJobParts parts);

}  // namespace sp

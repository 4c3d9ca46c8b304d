// selvane-sp-window: the update window over the run driver.
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iostream>

#include "core/run_driver.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"
#include "platform/display.h"
#include "platform/run_lock.h"
#include "platform/run_log_file.h"
#include "window_qt/window_app.h"
#include "window_qt/window_job.h"

int main(int argc, char** argv) {
    if (!sp::display_available()) {
        std::cerr << "selvane-sp: no display to open the window on; 'selvane-sp --run' updates without one "
                     "(see 'selvane-sp --help')\n";
        return 2;
    }
    sp::OdbcConnector connector;
    sp::OdbcDataSourceEnumerator enumerator;
    // The window appears at once and its lists fill right after: the driver
    // manager may take seconds to list many data sources. Start waits for them.
    std::shared_future<sp::DataSourceLists> lists =
        std::async(std::launch::async, [&enumerator] { return sp::discover_data_sources(enumerator); }).share();
    sp::StopSwitch stop;
    sp::WindowJobParts parts;
    parts.lock_for_run = [] { return sp::lock_for_run(sp::default_lock_file()); };
    parts.open_log = [](std::chrono::system_clock::time_point started) {
        return sp::open_log_in_folder(sp::default_log_folder(), started);
    };
    const int status = sp::run_window_app(
        argc, argv, sp::window_run_job([lists] { return lists.get(); }, connector, stop, std::move(parts)),
        [&stop] { stop.stop(); });
    // Closed while the data sources were still being listed: nothing to wait for.
    if (lists.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

// selvane-sp.exe: the update window over the run driver. A Windows program
// without a console; selvane-sp.com beside it is the command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <future>

#include "core/run_driver.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"
#include "window_win32/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
    sp::OdbcConnector connector;
    sp::OdbcDataSourceEnumerator enumerator;
    // The window appears at once and its lists fill right after: the driver
    // manager may take seconds to list many data sources. Start waits for them.
    std::shared_future<sp::DataSourceLists> lists =
        std::async(std::launch::async, [&enumerator] { return sp::discover_data_sources(enumerator); }).share();
    const int status = sp::run_window_app(
        [&](sp::RunView& view) { sp::run_upgrade(lists.get(), connector, view); }, show_command);
    // Closed while the data sources were still being listed: nothing to wait for.
    if (lists.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

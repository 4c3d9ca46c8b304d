// selvane-sp-window: the update window over the run driver.
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iostream>

#include "core/run_driver.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"
#include "platform/display.h"
#include "window_qt/window_app.h"

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
    const int status = sp::run_window_app(
        argc, argv, [&](sp::RunView& view) { sp::run_upgrade(lists.get(), connector, view); });
    // Closed while the data sources were still being listed: nothing to wait for.
    if (lists.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

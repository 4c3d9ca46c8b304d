// selvane-sp-window: the update window over the run driver.
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
    // The window fills its lists as it loads, then Start runs the driver.
    const sp::DataSourceLists lists = sp::discover_data_sources(enumerator);
    return sp::run_window_app(argc, argv, [&](sp::RunView& view) { sp::run_upgrade(lists, connector, view); });
}

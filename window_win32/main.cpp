// selvane-sp.exe: the update window over the run driver. A Windows program
// without a console; selvane-sp.com beside it is the command line.
#include <windows.h>

#include "core/run_driver.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"
#include "window_win32/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
    sp::OdbcConnector connector;
    sp::OdbcDataSourceEnumerator enumerator;
    // The window fills its lists as it loads, then Start runs the driver.
    const sp::DataSourceLists lists = sp::discover_data_sources(enumerator);
    return sp::run_window_app([&](sp::RunView& view) { sp::run_upgrade(lists, connector, view); }, show_command);
}

// selvane-sp: the window without arguments, the command line with them.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/run_driver.h"
#include "app/window_app.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    sp::OdbcConnector connector;
    sp::OdbcDataSourceEnumerator enumerator;
    sp::CliContext context{connector, enumerator, std::cout, std::cerr, isatty(STDOUT_FILENO) != 0, true};
    if (auto status = sp::run_command_line(args, context)) return *status;

    // The window fills its lists as it loads, then Start runs the driver.
    const sp::DataSourceLists lists = sp::discover_data_sources(enumerator);
    return sp::run_window_app(argc, argv, [&](sp::RunView& view) { sp::run_upgrade(lists, connector, view); });
}

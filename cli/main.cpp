// selvane-sp: the command line with arguments; without them, the window
// program installed beside it. This program links no GUI library, so the
// command line runs on servers without one.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "discovery/odbc_enumerator.h"
#include "odbc/odbc_session.h"
#include "platform/display.h"
#include "platform/password.h"
#include "platform/run_lock.h"
#include "platform/run_log_file.h"
#include "platform/terminal.h"
#include "platform/window_program.h"

int main(int argc, char** argv) {
    sp::use_utf8_console();
    std::vector<std::string> args(argv + 1, argv + argc);
    sp::OdbcConnector connector;
    sp::OdbcDataSourceEnumerator enumerator;
    sp::CliContext context{connector, enumerator, std::cout, std::cerr, sp::output_is_terminal(), true};
    context.password_for_user = [](const std::string& prompt) -> std::optional<std::string> {
        if (const char* password = std::getenv("SELVANE_SP_PASSWORD")) return std::string(password);
        return sp::read_password_from_terminal(prompt);
    };
    context.open_log = [](const std::optional<std::string>& file, std::chrono::system_clock::time_point started) {
        return file ? sp::open_log_file(*file) : sp::open_log_in_folder(sp::default_log_folder(), started);
    };
    context.lock_for_run = [] { return sp::lock_for_run(sp::default_lock_file()); };
    context.terminal_columns = sp::terminal_columns;
    if (auto status = sp::run_command_line(args, context)) return *status;

    if (!sp::display_available()) {
        std::cerr << "selvane-sp: no display to open the window on; 'selvane-sp --run' updates without one "
                     "(see 'selvane-sp --help')\n";
        return 2;
    }
    return sp::open_window_program(std::cerr);
}

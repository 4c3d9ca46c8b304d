// The console face of a run: plain lines when standard output is a file or a pipe, one line per data source updated in
// place on a terminal, and each message on one line of its own.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/console_view.h"

namespace sp {
namespace {

void play(RunView& v) {
    v.run_started();
    v.set_status_label("Beginning update.");
    v.set_engine_label("Database Engine: SQL Server");
    v.set_progress(0);
    v.set_status_label("Updating database sv01.");
    v.set_progress(5);
    if (v.shows_migration_progress()) v.set_migration_progress(123456, 1000000);
    v.show_message("-2147217873: first line\nsecond line\x1b[2J\xff");
    v.show_failure("sv01", {2, 141, "-2147217900: in context"});
    v.show_failure("sv01", {2, 0, "-2147217900: in context"});  // the migration: no statement number
    v.show_failure("sv01", {0, 0, "-2147217900: in context"});  // connecting
    v.set_progress(100);
    v.set_engine_label("");
    v.set_status_label("Updating complete.");
    v.run_finished();
}

TEST(ConsoleView, PlainLinesInAFileAndOnATerminalTheDataSourceLineShowsItsProgressInPlace) {
    std::ostringstream file, err, out, terminal_err;
    ConsoleView plain(file, err, false), terminal(out, terminal_err, true);
    play(plain);
    play(terminal);
    EXPECT_EQ(file.str(),
              "Beginning update.\nDatabase Engine: SQL Server\nUpdating database sv01.\nUpdating complete.\n");
    EXPECT_EQ(err.str(), "-2147217873: first line second line\\x1b[2J\xEF\xBF\xBD\n"
                         "sv01 2.141: -2147217900: in context\nsv01 2: -2147217900: in context\n"
                         "sv01: -2147217900: in context\n");
    EXPECT_EQ(terminal_err.str(), err.str());
    // Lines outside a data source's run are plain; its own is rewritten in place; every line is finished.
    EXPECT_EQ(out.str(), "Beginning update.\nDatabase Engine: SQL Server\nUpdating database sv01.\r\033[K"
                         "Updating database sv01. 5%\r\033[KUpdating database sv01. 5% moving item comments: "
                         "123,456 of 1,000,000\n\r\033[KUpdating database sv01. 100%\nUpdating complete.\n");

    // On one screen, a message right after the data source's line starts below it.
    std::ostringstream screen;
    ConsoleView shared(screen, screen, true);
    shared.set_progress(0);
    shared.set_status_label("Updating database sv02.");
    shared.show_message("m");
    shared.set_progress(5);
    EXPECT_EQ(screen.str(), "Updating database sv02.\nm\n\r\033[KUpdating database sv02. 5%");
}

TEST(ConsoleView, TheLineRewrittenInPlaceIsCutToTheTerminalsWidth) {
    std::ostringstream out, err;
    ConsoleView view(out, err, true);
    int columns = 20;
    view.set_width_source([&] { return columns; });
    view.set_progress(0);
    view.set_status_label("Updating database \xc3\xa9tude-long.");  // an accented letter counts once
    view.set_progress(40);
    columns = 0;  // unknown: the whole line
    view.set_progress(50);
    view.set_progress(100);
    EXPECT_EQ(out.str(), "Updating database \xc3\xa9\r\033[KUpdating database \xc3\xa9\r\033[K"
                         "Updating database \xc3\xa9tude-long. 50%\r\033[KUpdating database \xc3\xa9tude-long. 100%\n");
}

}  // namespace
}  // namespace sp

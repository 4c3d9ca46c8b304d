// The two ways into the program: started without arguments, the command-line
// program hands over to the window program installed beside it; with
// arguments it writes to a console, which may or may not be a terminal.
#pragma once

#include <ostream>

namespace sp {

// Starts the window program beside this one. Returns only when the hand-over
// is complete (0) or failed (2, after saying why on err).
int open_window_program(std::ostream& err);

// Whether standard output is a terminal (then progress is shown in place).
bool output_is_terminal();

// Makes the console show the program's UTF-8 text as such (Windows; a
// terminal elsewhere takes the bytes as they are).
void use_utf8_console();

}  // namespace sp

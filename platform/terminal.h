// The width of the terminal on standard output, asked at each redraw of the
// progress line so that a resized terminal is followed.
#pragma once

namespace sp {

// Columns of the terminal on standard output; 0 when it is none or unknown.
int terminal_columns();

}  // namespace sp

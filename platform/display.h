// Whether a window can be opened at all: started without arguments on a
// machine with no display, the program says so instead of aborting.
#pragma once

namespace sp {

bool display_available();

}  // namespace sp

#include "platform/display.h"

namespace sp {

// A Windows session always has a desktop to open the window on.
bool display_available() { return true; }

}  // namespace sp

#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace sp {

int terminal_columns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

}  // namespace sp

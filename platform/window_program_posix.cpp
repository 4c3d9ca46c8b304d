#include "platform/window_program.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace sp {

namespace {

// The folder this program was started from, for the window program beside it.
std::string own_folder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string self(path, static_cast<size_t>(n));
    return self.substr(0, self.find_last_of('/'));
}

}  // namespace

int open_window_program(std::ostream& err) {
    const std::string window = own_folder() + "/selvane-sp-window";
    execl(window.c_str(), window.c_str(), static_cast<char*>(nullptr));
    err << "selvane-sp: cannot start the window (" << window << ": " << std::strerror(errno)
        << "); install the package with the window, or use 'selvane-sp --help'\n";
    return 2;
}

bool output_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

void use_utf8_console() {}

}  // namespace sp

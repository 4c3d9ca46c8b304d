#include "platform/password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sp {

std::optional<std::string> read_password_from_terminal(const std::string& prompt) {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    termios saved{};
    const bool is_terminal = tcgetattr(fd, &saved) == 0;
    if (!is_terminal) {
        close(fd);
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
    (void)!write(fd, prompt.data(), prompt.size());
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    tcsetattr(fd, TCSAFLUSH, &saved);
    close(fd);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace sp

#include "platform/interrupt.h"

#include <csignal>
#include <cerrno>
#include <unistd.h>

namespace sp {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
int g_pipe[2] = {-1, -1};
struct sigaction g_old_int, g_old_term;

extern "C" void on_signal(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    g_stop.store(true);
    const char wake = 's';
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &wake, 1);
}

}  // namespace

InterruptWatcher::InterruptWatcher() {
    g_stop.store(false);
    g_signal.store(0);
    if (pipe(g_pipe) != 0) g_pipe[0] = g_pipe[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sa.sa_flags = SA_RESETHAND;  // a second signal ends the program
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_old_int);
    sigaction(SIGTERM, &sa, &g_old_term);
    thread_ = std::thread([this] { watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
    const char quit = 'q';
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &quit, 1);
    if (thread_.joinable()) thread_.join();
    close(g_pipe[0]);
    close(g_pipe[1]);
}

const std::atomic<bool>& InterruptWatcher::stop_flag() const { return g_stop; }

int InterruptWatcher::signal_received() const { return g_signal.load(); }

void InterruptWatcher::watch() {
    for (;;) {
        char c = 0;
        ssize_t n = read(g_pipe[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == 'q') return;
        cancel_statement();
    }
}

}  // namespace sp

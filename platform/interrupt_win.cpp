#include "platform/interrupt.h"

#include <windows.h>

#include <csignal>

namespace sp {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_events{0};
std::atomic<int> g_signal{0};
std::mutex g_watcher_mutex;
InterruptWatcher* g_watcher = nullptr;

// Windows calls this on a thread of its own, so it may cancel the statement
// itself. Ctrl-C, Ctrl-Break and closing the console stop the run; a second
// Ctrl-C or Ctrl-Break goes to the default handler, which ends the program.
// Ctrl-C and Ctrl-Break count as SIGINT; closing the console, logging off and
// shutting down as SIGTERM.
BOOL WINAPI on_console_event(DWORD event) {
    const bool key = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (g_events.fetch_add(1) > 0) return key ? FALSE : TRUE;
    g_signal.store(key ? SIGINT : SIGTERM);
    g_stop.store(true);
    std::lock_guard<std::mutex> lock(g_watcher_mutex);
    if (g_watcher) g_watcher->cancel_statement();
    return TRUE;
}

}  // namespace

InterruptWatcher::InterruptWatcher() {
    g_stop.store(false);
    g_events.store(0);
    g_signal.store(0);
    {
        std::lock_guard<std::mutex> lock(g_watcher_mutex);
        g_watcher = this;
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptWatcher::~InterruptWatcher() {
    SetConsoleCtrlHandler(on_console_event, FALSE);
    std::lock_guard<std::mutex> lock(g_watcher_mutex);
    g_watcher = nullptr;
}

const std::atomic<bool>& InterruptWatcher::stop_flag() const { return g_stop; }

int InterruptWatcher::signal_received() const { return g_signal.load(); }

}  // namespace sp

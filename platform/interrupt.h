// Ctrl-C, SIGINT and SIGTERM during an unattended run: the first one sets the
// stop flag and cancels the statement in flight through its session; a second
// one ends the program the ordinary way. On POSIX systems the cancel is made
// by a watcher thread, since a signal handler may do next to nothing; Windows
// runs its console handler (Ctrl-C, Ctrl-Break, closing the console) on a
// thread of its own, which cancels directly.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "odbc/database.h"

namespace sp {

class InterruptWatcher {
public:
    InterruptWatcher();   // installs the handlers
    ~InterruptWatcher();  // restores them

    const std::atomic<bool>& stop_flag() const;
    // The first signal that stopped the run (SIGINT, SIGTERM), or 0.
    int signal_received() const;
    // The session whose statement an interrupt cancels (nullptr: none).
    void set_session(Session* session);
    // Cancels the statement in flight, if any.
    void cancel_statement();

private:
    void watch();

    std::mutex mutex_;
    Session* session_ = nullptr;
    std::thread thread_;
};

}  // namespace sp

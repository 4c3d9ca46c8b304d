// One run at a time on a machine: a lock on a file, held by the running
// process for the time of its run. The operating system releases it when the
// process ends, also when it crashes, so a stale lock never blocks a run.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace sp {

// Held while it lives.
class RunLock {
public:
    virtual ~RunLock() = default;
};

struct LockAttempt {
    std::unique_ptr<RunLock> held;  // the lock, when taken
    bool busy = false;              // another process holds it
    std::string message;            // why it was not taken (busy, or the file could not be used)
};

// Takes the lock at once or not at all; never waits.
LockAttempt lock_for_run(const std::filesystem::path& file);

// The machine's lock file: $SELVANE_SP_LOCK_FILE when set (tests, or separate
// installations), else /tmp/selvane-sp.lock; on Windows %ProgramData%\selvane-sp.lock,
// held open without sharing.
// (One implementation per operating system: run_lock_posix.cpp, run_lock_win.cpp.)
std::filesystem::path default_lock_file();

// What a refused second run says.
inline constexpr const char* kAnotherRunMessage =
    "another run of the service pack is under way on this machine; try again when it has ended";

}  // namespace sp

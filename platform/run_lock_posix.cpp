#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/run_lock.h"

namespace sp {

namespace {

class FlockLock : public RunLock {
public:
    explicit FlockLock(int fd) : fd_(fd) {}
    ~FlockLock() override { close(fd_); }  // closing the last descriptor releases the lock

private:
    int fd_;
};

}  // namespace

LockAttempt lock_for_run(const std::filesystem::path& file) {
    LockAttempt attempt;
    // Read-only is enough for flock. Opening an existing file without O_CREAT
    // also works where another user made it in a sticky folder such as /tmp.
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) fchmod(fd, 0644);  // readable by every user, whatever the umask
    }
    if (fd < 0) {
        attempt.message = "cannot use the lock file " + file.string() + ": " + std::strerror(errno);
        return attempt;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        close(fd);
        attempt.busy = e == EWOULDBLOCK;
        attempt.message = attempt.busy ? kAnotherRunMessage
                                       : "cannot lock " + file.string() + ": " + std::strerror(e);
        return attempt;
    }
    attempt.held = std::make_unique<FlockLock>(fd);
    return attempt;
}

std::filesystem::path default_lock_file() {
    const char* set = std::getenv("SELVANE_SP_LOCK_FILE");
    if (set && *set) return set;
    return "/tmp/selvane-sp.lock";
}

}  // namespace sp

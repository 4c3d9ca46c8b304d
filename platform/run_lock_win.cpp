#include <windows.h>

#include <cstdlib>

#include "platform/run_lock.h"

namespace sp {
namespace {

// A file opened with no sharing: a second program cannot open it while it is
// held, and Windows closes the handle when the holder ends, however it ends.
class ExclusiveFileLock : public RunLock {
public:
    explicit ExclusiveFileLock(HANDLE file) : file_(file) {}
    ~ExclusiveFileLock() override { CloseHandle(file_); }

private:
    HANDLE file_;
};

}  // namespace

LockAttempt lock_for_run(const std::filesystem::path& file) {
    LockAttempt attempt;
    HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        attempt.busy = error == ERROR_SHARING_VIOLATION;
        attempt.message = attempt.busy ? kAnotherRunMessage
                                       : "cannot use the lock file " + file.string() + ": error " + std::to_string(error);
        return attempt;
    }
    attempt.held = std::make_unique<ExclusiveFileLock>(handle);
    return attempt;
}

std::filesystem::path default_lock_file() {
    // Read wide, so that a path outside the code page stays right.
    const wchar_t* set = _wgetenv(L"SELVANE_SP_LOCK_FILE");
    if (set && *set) return set;
    // Shared by every user of the machine.
    const wchar_t* data = _wgetenv(L"ProgramData");
    return std::filesystem::path(data && *data ? data : L"C:\\ProgramData") / L"selvane-sp.lock";
}

}  // namespace sp

#include <cstdlib>

#include "platform/run_log_file.h"

namespace sp {

// The user's local application data, as Windows programs keep their logs.
// Read wide: a user name outside the code page stays right.
std::filesystem::path default_log_folder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local) return {};
    return std::filesystem::path(local) / L"Selvane SP5.4";
}

}  // namespace sp

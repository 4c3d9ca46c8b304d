#include <cstdlib>

#include "platform/run_log_file.h"

namespace sp {

// The user's local application data, as Windows programs keep their logs.
std::filesystem::path default_log_folder() {
    const char* local = std::getenv("LOCALAPPDATA");
    if (!local || !*local) return {};
    return std::filesystem::path(local) / "Selvane SP5.4";
}

}  // namespace sp

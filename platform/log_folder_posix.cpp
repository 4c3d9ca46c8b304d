#include <cstdlib>

#include "platform/run_log_file.h"

namespace sp {

std::filesystem::path default_log_folder() {
    auto value = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    // XDG_STATE_HOME counts only when it is an absolute path.
    const std::string state = value("XDG_STATE_HOME");
    if (!state.empty() && state.front() == '/') return std::filesystem::path(state) / "selvane-sp";
    const std::string home = value("HOME");
    if (home.empty()) return {};
    return std::filesystem::path(home) / ".local" / "state" / "selvane-sp";
}

}  // namespace sp

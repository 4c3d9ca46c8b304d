#include "platform/run_log_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace sp {

namespace {

constexpr const char* kPrefix = "selvane-sp-";
constexpr const char* kSuffix = ".log";

class StdioLog : public LogFile {
public:
    explicit StdioLog(std::FILE* f) : f_(f) {}
    ~StdioLog() override { std::fclose(f_); }
    bool append(std::string_view text) override {
        return std::fwrite(text.data(), 1, text.size(), f_) == text.size() && std::fflush(f_) == 0;
    }

private:
    std::FILE* f_;
};

std::string stamp(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char buf[32];
    return std::string(buf, std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm));
}

bool is_run_log(const std::filesystem::path& p) {
    const std::string name = p.filename().string();
    return name.size() > std::strlen(kPrefix) + std::strlen(kSuffix) && name.rfind(kPrefix, 0) == 0 &&
           name.compare(name.size() - std::strlen(kSuffix), std::string::npos, kSuffix) == 0;
}

// Removes the oldest logs (their names sort by start time) beyond keep.
void remove_old_logs(const std::filesystem::path& folder, int keep) {
    std::error_code ec;
    std::vector<std::filesystem::path> logs;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec) && is_run_log(entry.path())) logs.push_back(entry.path());
    if (static_cast<int>(logs.size()) <= keep) return;
    std::sort(logs.begin(), logs.end());
    for (size_t i = 0; i < logs.size() - static_cast<size_t>(keep); ++i) std::filesystem::remove(logs[i], ec);
}

// Opens the file for writing; with new_only, never one that exists already
// (errno EEXIST then). On Windows by its wide name, since msvcrt's fopen knows
// no "x" and takes names in the code page.
std::FILE* open_for_writing(const std::filesystem::path& path, bool new_only) {
#ifdef _WIN32
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | (new_only ? _O_EXCL : 0), _S_IREAD | _S_IWRITE);
    return fd < 0 ? nullptr : _fdopen(fd, "w");
#else
    return std::fopen(path.c_str(), new_only ? "wx" : "w");
#endif
}

OpenedLog failed(const std::filesystem::path& path, const std::string& why) {
    OpenedLog log;
    log.path = path.string();
    log.error = "cannot write the run log " + path.string() + ": " + why;
    return log;
}

}  // namespace

OpenedLog open_log_file(const std::filesystem::path& file) {
    std::FILE* f = open_for_writing(file, false);
    if (!f) return failed(file, std::strerror(errno));
    return {std::make_unique<StdioLog>(f), file.string(), {}};
}

OpenedLog open_log_in_folder(const std::filesystem::path& folder, std::chrono::system_clock::time_point started,
                             int keep) {
    if (folder.empty()) return failed("(no home folder)", "neither XDG_STATE_HOME nor HOME is set");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return failed(folder, ec.message());
    // A second run in the same second gets the next free name: "-2", "-3"...
    const std::string base = kPrefix + stamp(started);
    for (int n = 1; n < 100; ++n) {
        const std::filesystem::path path = folder / (base + (n == 1 ? "" : "-" + std::to_string(n)) + kSuffix);
        std::FILE* f = open_for_writing(path, true);
        if (!f) {
            if (errno == EEXIST) continue;
            return failed(path, std::strerror(errno));
        }
        remove_old_logs(folder, keep);
        return {std::make_unique<StdioLog>(f), path.string(), {}};
    }
    return failed(folder / (base + kSuffix), "too many runs started in the same second");
}

}  // namespace sp

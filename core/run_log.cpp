#include "core/run_log.h"

#include <cctype>
#include <ctime>
#include <sstream>

#include "core/report_format.h"
#include "core/text.h"
#include "core/version.h"

namespace sp {

namespace {

std::tm broken_down(std::chrono::system_clock::time_point at, bool utc) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm tm{};
#ifdef _WIN32
    utc ? gmtime_s(&tm, &t) : localtime_s(&tm, &t);
#else
    utc ? gmtime_r(&t, &tm) : localtime_r(&t, &tm);
#endif
    return tm;
}

std::string format_time(std::chrono::system_clock::time_point at, bool utc, const char* format) {
    const std::tm tm = broken_down(at, utc);
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

std::string where(const ReportedFailure& f) {
    if (f.phase == 0) return "connection";
    if (f.number == 0) return "phase " + std::to_string(f.phase);
    return "phase " + std::to_string(f.phase) + ", statement " + std::to_string(f.number);
}

}  // namespace

std::string local_time_text(std::chrono::system_clock::time_point at) {
    return format_time(at, false, "%Y-%m-%d %H:%M:%S %z");
}

std::string utc_time_text(std::chrono::system_clock::time_point at) {
    return format_time(at, true, "%Y-%m-%dT%H:%M:%SZ");
}

std::string without_passwords(std::string text) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    for (const std::string key : {"pwd", "password"}) {
        for (size_t i = 0; i + key.size() < text.size(); ++i) {
            bool match = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
            for (size_t k = 0; match && k < key.size(); ++k) match = lower(text[i + k]) == key[k];
            if (!match) continue;
            size_t v = i + key.size();
            while (v < text.size() && text[v] == ' ') ++v;
            if (v >= text.size() || text[v] != '=') continue;
            ++v;
            while (v < text.size() && text[v] == ' ') ++v;  // "PWD= secret" hides the secret too
            size_t end = v;
            if (end < text.size() && text[end] == '{') {  // a braced value may hold ';'
                end = text.find('}', end);
                end = end == std::string::npos ? text.size() : end + 1;
            } else {
                while (end < text.size() && text[end] != ';' && !std::isspace(static_cast<unsigned char>(text[end])))
                    ++end;
            }
            text.replace(v, end - v, "***");
            i = v + 2;
        }
    }
    return text;
}

void RunLog::write(const std::string& text) {
    if (!file_ || failed_) return;
    if (!file_->append(without_passwords(text))) failed_ = true;
}

void RunLog::start(std::chrono::system_clock::time_point at, const std::string& how_started) {
    write(std::string(kAppTitle) + " " + kFileVersion + ": run log\nStarted: " + local_time_text(at) +
          "\nStarted from: " + one_line(how_started) + "\n");
}

void RunLog::data_source(const DataSourceReport& ds) {
    std::ostringstream out;
    out << "\n" << ds.name << " (" << engine_caption(ds.engine) << "): " << outcome_text(ds.outcome) << "; runs "
        << ds.runs << ", statements sent " << ds.statements_sent << ", failed " << ds.failures.size() << "\n";
    for (const auto& f : ds.failures) {
        out << "  failure at " << where(f);
        if (!f.sqlstate.empty() || f.native_error != 0)
            out << ": SQLSTATE " << (f.sqlstate.empty() ? "(none)" : f.sqlstate) << ", native error "
                << f.native_error;
        out << "\n    message: " << one_line(f.message) << "\n";
        if (!f.statement.empty()) out << "    statement: " << f.statement << "\n";
    }
    if (ds.comments != CommentMove::NotReached)
        out << "  item-comment migration: " << ds.comments_copied << " lines copied, " << ds.comments_present
            << " already in CommIns, " << ds.migration_elapsed.count() << " ms\n";
    write(out.str());
}

void RunLog::finish(const RunReport& report) {
    std::ostringstream out;
    out << "\nEnded: " << local_time_text(report.finished) << (report.interrupted ? " (interrupted)" : "") << "\n";
    print_report_text(report, out);
    write(out.str());
}

}  // namespace sp

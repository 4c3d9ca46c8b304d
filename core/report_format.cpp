#include "core/report_format.h"

#include <cstdio>

#include "core/text.h"
#include "core/json.h"
#include "core/run_log.h"
#include "core/version.h"

namespace sp {

namespace {

// How the report names a value: its key for tools and its text for people.
struct Words {
    const char* key;
    const char* text;
};

Words words(DataSourceOutcome o) {
    switch (o) {
        case DataSourceOutcome::Done: return {"done", "done"};
        case DataSourceOutcome::Refused: return {"refused", "refused (data-source name not allowed), not connected"};
        case DataSourceOutcome::NotProductDatabase:
            return {"not_product_database", "refused: not the product's database, nothing sent"};
        case DataSourceOutcome::ConnectFailed: return {"connect_failed", "could not be connected"};
        case DataSourceOutcome::ConnectionLost: return {"connection_lost", "connection lost, run abandoned"};
        case DataSourceOutcome::Interrupted: return {"interrupted", "interrupted"};
        case DataSourceOutcome::TimedOut: return {"timed_out", "not completed: phase two timed out after the re-runs"};
        case DataSourceOutcome::Busy: return {"busy", "refused: another run is updating this database, nothing sent"};
    }
    return {"", ""};
}

Words words(CommentMove c) {
    switch (c) {
        case CommentMove::NotReached: return {"not_reached", "migration not reached"};
        case CommentMove::Moved: return {"moved", "all moved"};
        case CommentMove::Kept: return {"kept", "not all moved; legacy comment columns kept"};
    }
    return {"", ""};
}

std::string seconds(std::chrono::milliseconds ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", ms.count() / 1000.0);
    return buf;
}

}  // namespace

const char* outcome_text(DataSourceOutcome outcome) { return words(outcome).text; }

int exit_status(const RunReport& report) {
    if (report.interrupted) return kExitInterrupted;
    bool unreachable = false;
    for (const auto& d : report.data_sources)
        unreachable = unreachable || d.outcome == DataSourceOutcome::Refused ||
                      d.outcome == DataSourceOutcome::NotProductDatabase ||
                      d.outcome == DataSourceOutcome::ConnectFailed ||
                      d.outcome == DataSourceOutcome::ConnectionLost;
    if (unreachable) return kExitUnreachable;
    for (const auto& d : report.data_sources)
        if (d.outcome == DataSourceOutcome::Busy) return kExitBusy;
    return report.any_failure() ? kExitFailure : kExitOk;
}

void print_report_text(const RunReport& report, std::ostream& out, const std::string& log_path) {
    out << "\nReport: " << report.data_sources.size() << " data source(s)"
        << (report.interrupted ? ", run interrupted" : "") << "\n";
    for (const auto& d : report.data_sources) {
        out << "\n" << printable(d.name) << " (" << engine_caption(d.engine) << "): " << words(d.outcome).text << "\n"
            << "  runs: " << d.runs << (d.timeout_rerun ? " (a timeout in phase two forced a re-run)" : "") << "\n"
            << "  statements sent: " << d.statements_sent << ", passed over silently: " << d.passed_silently
            << ", timed out in phase two: " << d.timed_out << ", failed: " << d.failures.size() << "\n"
            << "  item comments: " << words(d.comments).text << ", lines copied: " << d.comments_copied << "\n"
            << "  elapsed: " << seconds(d.elapsed) << "\n";
        for (const auto& f : d.failures) {
            out << "  - ";
            if (f.phase == 0)
                out << "connection";
            else if (f.number == 0)
                out << "phase " << f.phase;
            else
                out << "phase " << f.phase << ", statement " << f.number;
            out << ": " << one_line(f.message) << "\n";
        }
    }
    out << "\nExit status: " << exit_status(report) << "\n";
    if (!log_path.empty()) out << "Log: " << log_path << "\n";
}

void print_report_json(const RunReport& report, std::ostream& out, const std::string& log_path) {
    out << "{\"format\":" << kReportJsonFormat << ",\"version\":" << json_string(kFileVersion)
        << ",\"started\":" << json_string(utc_time_text(report.started))
        << ",\"finished\":" << json_string(utc_time_text(report.finished))
        << ",\"log\":" << (log_path.empty() ? "null" : json_string(log_path))
        << ",\"interrupted\":" << (report.interrupted ? "true" : "false")
        << ",\"exit_status\":" << exit_status(report) << ",\"data_sources\":[";
    bool first = true;
    for (const auto& d : report.data_sources) {
        out << (first ? "" : ",") << "{\"name\":" << json_string(d.name) << ",\"engine\":\"" << engine_key(d.engine)
            << "\",\"outcome\":\"" << words(d.outcome).key << "\",\"runs\":" << d.runs
            << ",\"statements_sent\":" << d.statements_sent << ",\"passed_silently\":" << d.passed_silently
            << ",\"timed_out\":" << d.timed_out << ",\"failed\":" << d.failures.size() << ",\"failures\":[";
        for (size_t i = 0; i < d.failures.size(); ++i) {
            const auto& f = d.failures[i];
            out << (i ? "," : "") << "{\"phase\":" << f.phase << ",\"statement\":" << f.number
                << ",\"message\":" << json_string(f.message)
                << ",\"sqlstate\":" << (f.sqlstate.empty() ? "null" : json_string(f.sqlstate))
                << ",\"native_error\":" << f.native_error
                << ",\"number\":" << (f.ado_number ? std::to_string(f.ado_number) : "null")
                << ",\"sql\":" << (f.statement.empty() ? "null" : json_string(f.statement)) << "}";
        }
        out << "],\"timeout_rerun\":" << (d.timeout_rerun ? "true" : "false") << ",\"item_comments\":\""
            << words(d.comments).key << "\",\"comments_copied\":" << d.comments_copied << ",\"elapsed_ms\":" << d.elapsed.count() << "}";
        first = false;
    }
    out << "]}\n";
}

}  // namespace sp

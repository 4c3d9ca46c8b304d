// The run log: a plain-text record of one run, kept for the administrator and
// for support once the window's messages are gone. It says when the run
// started and ended, the program's version, each data source with its engine
// and outcome, every failure with its data source, phase, statement number,
// SQLSTATE, native error, message and the first line of the statement, and
// then the report. It is written as the run goes, so a run that ends abruptly
// still leaves what it did. No password is ever written to it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "core/report.h"

namespace sp {

// The file a log is written to; the caller opens it (the folder, the name and
// how many old logs are kept are the operating system's side).
class LogFile {
public:
    virtual ~LogFile() = default;
    // Appends and flushes; false when the text could not be written.
    virtual bool append(std::string_view text) = 0;
};

// A log opened for a run, or why none could be.
struct OpenedLog {
    std::unique_ptr<LogFile> file;
    std::string path;   // shown at the end of the command line's report
    std::string error;  // when file is null: why
};

class RunLog {
public:
    explicit RunLog(LogFile* file) : file_(file) {}

    // how_started: "window" or the command line's arguments.
    void start(std::chrono::system_clock::time_point at, const std::string& how_started);
    void data_source(const DataSourceReport& ds);
    void finish(const RunReport& report);

    // A write failed; nothing more is written.
    bool failed() const { return failed_; }

private:
    void write(const std::string& text);

    LogFile* file_;
    bool failed_ = false;
};

// Local time with its offset from UTC: "2026-12-06 21:40:01 +0100".
std::string local_time_text(std::chrono::system_clock::time_point at);
// UTC in ISO 8601: "2026-12-06T20:40:01Z".
std::string utc_time_text(std::chrono::system_clock::time_point at);

// The text with the value of every PWD= or Password= attribute replaced by
// "***" (a driver may quote its connection string in a message).
std::string without_passwords(std::string text);

}  // namespace sp

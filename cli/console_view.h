// The run shown on a console: status lines on one stream, each message the
// window would show as one line on the error stream. On a terminal, the
// line of the data source being updated shows its progress in place.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "core/run_view.h"
#include "core/text.h"

namespace sp {

class ConsoleView : public RunView {
public:
    ConsoleView(std::ostream& status, std::ostream& messages, bool terminal)
        : status_(status), messages_(messages), terminal_(terminal) {}

    void run_started() override {}
    void set_engine_label(const std::string& text) override;
    void set_status_label(const std::string& text) override;
    void set_progress(int value) override;
    void show_message(const std::string& text) override;
    // "sv01 2.141: message": the data source, then phase.statement when known.
    void show_failure(const std::string& data_source, const ReportedFailure& failure) override;
    void run_finished() override;
    bool shows_migration_progress() const override { return terminal_; }
    // On the data source's line: "... 70% moving item comments: 12,345 of 1,000,000".
    void set_migration_progress(long long handled, long long total) override;

    // The terminal's width in columns, asked at each redraw (0: unknown); the
    // line rewritten in place is cut to fit, since a wrapped one cannot be.
    void set_width_source(std::function<int()> columns) { columns_ = std::move(columns); }

private:
    void end_progress_line();
    std::string fitted(const std::string& line) const;

    std::ostream& status_;
    std::ostream& messages_;
    bool terminal_;
    std::function<int()> columns_;
    std::string status_text_;
    bool line_open_ = false;      // a line without its end is on the terminal
    bool progress_line_ = false;  // set_progress rewrites the status line
    bool in_data_source_ = false; // between a data source's progress 0 and 100
    int progress_ = 0;            // the last value set
};

}  // namespace sp

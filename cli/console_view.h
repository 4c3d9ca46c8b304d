// The run shown on a console: status lines on one stream, each message the
// window would show as one line on the error stream. On a terminal, the
// line of the data source being updated shows its progress in place.
#pragma once

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
    void run_finished() override;

private:
    void end_progress_line();

    std::ostream& status_;
    std::ostream& messages_;
    bool terminal_;
    std::string status_text_;
    bool line_open_ = false;      // a line without its end is on the terminal
    bool progress_line_ = false;  // set_progress rewrites the status line
    bool in_data_source_ = false; // between a data source's progress 0 and 100
};

}  // namespace sp

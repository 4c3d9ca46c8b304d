#include "cli/console_view.h"

namespace sp {

void ConsoleView::end_progress_line() {
    if (line_open_) status_ << "\n";
    line_open_ = false;
}

void ConsoleView::set_engine_label(const std::string& text) {
    if (text.empty()) return;
    end_progress_line();
    status_ << one_line(text) << "\n" << std::flush;
}

void ConsoleView::set_status_label(const std::string& text) {
    end_progress_line();
    status_text_ = one_line(text);
    status_ << status_text_;
    if (terminal_ && in_data_source_) {
        // The line stays open: set_progress rewrites it in place.
        line_open_ = true;
        progress_line_ = true;
    } else {
        status_ << "\n";
    }
    status_ << std::flush;
}

void ConsoleView::set_progress(int value) {
    if (value == 0) in_data_source_ = true;  // a data source's run begins
    if (value == 100) in_data_source_ = false;
    if (!terminal_ || !progress_line_) return;
    status_ << "\r\033[K" << status_text_ << " " << value << "%" << std::flush;
    line_open_ = true;
    if (value == 100) {  // the data source is done; its line is final
        progress_line_ = false;
        end_progress_line();
    }
}

void ConsoleView::show_message(const std::string& text) {
    end_progress_line();
    status_ << std::flush;
    messages_ << one_line(text) << "\n" << std::flush;
}

void ConsoleView::run_finished() {
    progress_line_ = false;
    end_progress_line();
    status_ << std::flush;
}

}  // namespace sp

#include "app/console_view.h"

namespace sp {

std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += (c == '\n' || c == '\t') ? ' ' : c;
    }
    return out;
}

void ConsoleView::end_progress_line() {
    if (progress_shown_) status_ << "\n";
    progress_shown_ = false;
}

void ConsoleView::set_engine_label(const std::string& text) {
    if (text.empty()) return;
    end_progress_line();
    status_ << one_line(text) << "\n" << std::flush;
}

void ConsoleView::set_status_label(const std::string& text) {
    end_progress_line();
    status_text_ = one_line(text);
    if (terminal_) {
        // Printed with its progress by set_progress from now on.
        status_ << status_text_ << std::flush;
        progress_shown_ = true;
    } else {
        status_ << status_text_ << "\n" << std::flush;
    }
}

void ConsoleView::set_progress(int value) {
    if (!terminal_ || !progress_shown_) return;
    status_ << "\r\033[K" << status_text_ << " " << value << "%" << std::flush;
}

void ConsoleView::show_message(const std::string& text) {
    end_progress_line();
    status_ << std::flush;
    messages_ << one_line(text) << "\n" << std::flush;
}

void ConsoleView::run_finished() { end_progress_line(); }

}  // namespace sp

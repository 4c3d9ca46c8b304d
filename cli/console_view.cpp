#include "cli/console_view.h"

namespace sp {

void ConsoleView::end_progress_line() {
    if (line_open_) status_ << "\n";
    line_open_ = false;
}

std::string ConsoleView::fitted(const std::string& line) const {
    const int columns = columns_ ? columns_() : 0;
    if (columns <= 1) return line;
    // One column stays free: some terminals wrap once the last one is written.
    const size_t room = static_cast<size_t>(columns - 1);
    size_t chars = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;  // inside a UTF-8 character
        if (chars++ == room) return line.substr(0, i);
    }
    return line;
}

void ConsoleView::set_engine_label(const std::string& text) {
    if (text.empty()) return;
    end_progress_line();
    status_ << one_line(text) << "\n" << std::flush;
}

void ConsoleView::set_status_label(const std::string& text) {
    end_progress_line();
    status_text_ = one_line(text);
    const bool in_place = terminal_ && in_data_source_;
    status_ << (in_place ? fitted(status_text_) : status_text_);
    if (in_place) {
        // The line stays open: set_progress rewrites it in place.
        line_open_ = true;
        progress_line_ = true;
    } else {
        status_ << "\n";
    }
    status_ << std::flush;
}

namespace {

// 1234567 as "1,234,567".
std::string with_separators(long long number) {
    const std::string digits = std::to_string(number < 0 ? -number : number);
    std::string out = number < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

void ConsoleView::set_migration_progress(long long handled, long long total) {
    if (!terminal_ || !progress_line_) return;
    status_ << "\r\033[K" << status_text_ << " " << progress_ << "% moving item comments: " << with_separators(handled);
    if (total >= 0) status_ << " of " << with_separators(total);
    status_ << std::flush;
    line_open_ = true;
}

void ConsoleView::set_progress(int value) {
    progress_ = value;
    if (value == 0) in_data_source_ = true;  // a data source's run begins
    if (value == 100) in_data_source_ = false;
    if (!terminal_ || !progress_line_) return;
    status_ << "\r\033[K" << fitted(status_text_ + " " + std::to_string(value) + "%") << std::flush;
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

void ConsoleView::show_failure(const std::string& data_source, const ReportedFailure& failure) {
    std::string where = data_source;
    if (failure.phase != 0) where += " " + std::to_string(failure.phase);
    if (failure.phase != 0 && failure.number != 0) where += "." + std::to_string(failure.number);
    show_message(where + ": " + failure.message);
}

void ConsoleView::run_finished() {
    progress_line_ = false;
    end_progress_line();
    status_ << std::flush;
}

}  // namespace sp

// What the run driver shows while it works. The window implements it (the
// driver runs on a worker thread and each call is carried to the window's
// thread); the command line implements it with standard output and error.
#pragma once

#include <string>

#include "core/report.h"

namespace sp {

enum class LoginAnswer {
    NotAsked,   // this view cannot ask (the command line: --user does it)
    Cancelled,  // the user declined: the data source is skipped
    Given,      // user and password were filled in
};

class RunView {
public:
    virtual ~RunView() = default;
    virtual void run_started() = 0;   // Cancel disabled, busy pointer
    virtual void set_engine_label(const std::string& text) = 0;
    virtual void set_status_label(const std::string& text) = 0;
    virtual void set_progress(int value) = 0;  // 0 to 100
    // A failure for the user; returns once the user has acknowledged it.
    virtual void show_message(const std::string& text) = 0;
    // A failure of a data source, with where it happened. The window shows
    // its message alone; the command line puts the context before it.
    virtual void show_failure(const std::string& data_source, const ReportedFailure& failure) {
        (void)data_source;
        show_message(failure.message);
    }
    virtual void run_finished() = 0;  // "Updating complete." shown; Exit enabled
    // The server refused the login to the data source: asks the user once for
    // a user name and password for it and returns once answered. The values
    // are only ever put into the connection string, then wiped.
    virtual LoginAnswer ask_login(const std::string& data_source, std::string& user, std::string& password) {
        (void)data_source, (void)user, (void)password;
        return LoginAnswer::NotAsked;
    }
    // Whether the view shows how far a long item-comment migration has come
    // (the command line on a terminal does; the window's bar keeps the value
    // its phase set); only then are the flagged lines counted first.
    virtual bool shows_migration_progress() const { return false; }
    // Flagged lines handled so far, of `total` (-1: not known).
    virtual void set_migration_progress(long long handled, long long total) {
        (void)handled;
        (void)total;
    }
};

}  // namespace sp

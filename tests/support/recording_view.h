// A RunView that records what a run shows, for checking it.
#pragma once

#include <string>
#include <vector>

#include "core/run_view.h"

namespace sp::testing {

struct RecordingView : RunView {
    // In order: "started", "engine:TEXT", "status:TEXT", "login:DSN", "finished"; messages and progress apart.
    std::vector<std::string> events, messages;
    std::vector<int> progress;
    // The answer to a refused login; Given fills in login_user and login_password.
    LoginAnswer login_answer = LoginAnswer::NotAsked;
    std::string login_user, login_password;

    void run_started() override { events.push_back("started"); }
    void set_engine_label(const std::string& t) override { events.push_back("engine:" + t); }
    void set_status_label(const std::string& t) override { events.push_back("status:" + t); }
    void set_progress(int v) override { progress.push_back(v); }
    void show_message(const std::string& t) override { messages.push_back(t); }
    void run_finished() override { events.push_back("finished"); }
    LoginAnswer ask_login(const std::string& dsn, std::string& user, std::string& password) override {
        events.push_back("login:" + dsn);
        if (login_answer == LoginAnswer::Given) user = login_user, password = login_password;
        return login_answer;
    }
};

}  // namespace sp::testing

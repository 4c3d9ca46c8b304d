// A RunView that records every call in order, for checking what a run shows.
#pragma once

#include <string>
#include <vector>

#include "core/run_view.h"

namespace sp::testing {

class RecordingView : public RunView {
public:
    // "started", "engine:TEXT", "status:TEXT", "progress:N", "message:TEXT", "finished".
    std::vector<std::string> events;

    void run_started() override { events.push_back("started"); }
    void set_engine_label(const std::string& t) override { events.push_back("engine:" + t); }
    void set_status_label(const std::string& t) override { events.push_back("status:" + t); }
    void set_progress(int v) override { events.push_back("progress:" + std::to_string(v)); }
    void show_message(const std::string& t) override { events.push_back("message:" + t); }
    void run_finished() override { events.push_back("finished"); }
    // "login:DSN"; answers with login_answer, filling in login_user and login_password.
    LoginAnswer login_answer = LoginAnswer::NotAsked;
    std::string login_user, login_password;
    LoginAnswer ask_login(const std::string& dsn, std::string& user, std::string& password) override {
        events.push_back("login:" + dsn);
        if (login_answer == LoginAnswer::Given) user = login_user, password = login_password;
        return login_answer;
    }

    std::vector<std::string> messages() const { return with_prefix("message:"); }
    std::vector<int> progress() const {
        std::vector<int> out;
        for (const auto& v : with_prefix("progress:")) out.push_back(std::stoi(v));
        return out;
    }
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("engine:", 0) == 0 || e.rfind("status:", 0) == 0) out.push_back(e);
        return out;
    }

private:
    std::vector<std::string> with_prefix(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
        return out;
    }
};

}  // namespace sp::testing

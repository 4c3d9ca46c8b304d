// Carries the run driver's view calls from its worker thread to the thread of
// a Qt object (the window), where widgets may be touched. Label and progress
// updates are posted and the worker goes on; a message waits until the user
// has acknowledged it. Posted and waiting calls share one queue, so the
// window sees them in the order the driver made them.
#pragma once

#include <functional>
#include <string>

#include "core/run_view.h"

class QObject;

namespace sp {

class QueuedRunView : public RunView {
public:
    // Every call is made on target in the thread of context. Both must
    // outlive the worker's last call.
    QueuedRunView(RunView& target, QObject* context) : target_(target), context_(context) {}

    void run_started() override;
    void set_engine_label(const std::string& text) override;
    void set_status_label(const std::string& text) override;
    void set_progress(int value) override;
    void show_message(const std::string& text) override;
    void run_finished() override;
    LoginAnswer ask_login(const std::string& data_source, std::string& user, std::string& password) override;

private:
    enum class Wait { No, UntilDone };
    void deliver(std::function<void()> call, Wait wait);

    RunView& target_;
    QObject* context_;
};

}  // namespace sp

// Stops a run from another thread (the window's, when it is closed during a
// run): sets the flag the run driver reads between statements and cancels
// the statement in flight through the session the driver registered.
#pragma once

#include <atomic>
#include <mutex>

#include "core/run_driver.h"

namespace sp {

class StopSwitch {
public:
    // Makes the run of these settings answer to this switch.
    void attach(RunSettings& settings) {
        settings.stop = &stop_;
        settings.on_session = [this](Session* s) {
            std::lock_guard<std::mutex> lock(mutex_);
            session_ = s;
        };
    }
    void stop() {
        stop_.store(true);
        std::lock_guard<std::mutex> lock(mutex_);
        if (session_) session_->cancel();
    }
    bool stopped() const { return stop_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Session* session_ = nullptr;
};

}  // namespace sp

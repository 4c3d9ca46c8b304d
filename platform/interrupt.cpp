// The part of the interrupt watcher that is the same on every system.
#include "platform/interrupt.h"

namespace sp {

void InterruptWatcher::set_session(Session* session) {
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = session;
}

void InterruptWatcher::cancel_statement() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session_) session_->cancel();
}

}  // namespace sp

#include "window_qt/window_queued_view.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace sp {

void QueuedRunView::deliver(std::function<void()> call, Wait wait) {
    // A blocking queued call made from the target's own thread would wait for
    // itself forever; there the call is simply made.
    if (QThread::currentThread() == context_->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(context_, std::move(call),
                              wait == Wait::UntilDone ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void QueuedRunView::run_started() {
    deliver([this] { target_.run_started(); }, Wait::No);
}

void QueuedRunView::set_engine_label(const std::string& text) {
    deliver([this, text] { target_.set_engine_label(text); }, Wait::No);
}

void QueuedRunView::set_status_label(const std::string& text) {
    deliver([this, text] { target_.set_status_label(text); }, Wait::No);
}

void QueuedRunView::set_progress(int value) {
    deliver([this, value] { target_.set_progress(value); }, Wait::No);
}

void QueuedRunView::show_message(const std::string& text) {
    deliver([this, text] { target_.show_message(text); }, Wait::UntilDone);
}

LoginAnswer QueuedRunView::ask_login(const std::string& data_source, std::string& user, std::string& password) {
    LoginAnswer answer = LoginAnswer::NotAsked;
    deliver([&] { answer = target_.ask_login(data_source, user, password); }, Wait::UntilDone);
    return answer;
}

void QueuedRunView::run_finished() {
    deliver([this] { target_.run_finished(); }, Wait::No);
}

}  // namespace sp

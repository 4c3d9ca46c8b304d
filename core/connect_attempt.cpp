#include "core/connect_attempt.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sp {

namespace {

// What the connecting thread and the waiting one share. The last of them to
// let go frees it: after a stop request, the connecting thread, which then
// also closes the session that opened too late, if any.
struct Attempt {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Result<std::unique_ptr<Session>>> result;
};

constexpr auto kLookAtStop = std::chrono::milliseconds(50);

}  // namespace

std::optional<Result<std::unique_ptr<Session>>> connect_unless_stopped(Connector& connector,
                                                                       const ConnectOptions& options,
                                                                       const std::atomic<bool>* stop) {
    if (!stop) return connector.connect(options);
    if (stop->load()) return std::nullopt;

    auto attempt = std::make_shared<Attempt>();
    std::thread thread([attempt, &connector, options] {
        auto result = connector.connect(options);
        std::lock_guard lock(attempt->mutex);
        attempt->result.emplace(std::move(result));
        attempt->done.notify_one();
    });

    std::unique_lock lock(attempt->mutex);
    while (!attempt->result) {
        if (stop->load()) {
            lock.unlock();
            thread.detach();
            return std::nullopt;
        }
        attempt->done.wait_for(lock, kLookAtStop);
    }
    auto result = std::move(*attempt->result);
    lock.unlock();
    thread.join();
    return result;
}

}  // namespace sp

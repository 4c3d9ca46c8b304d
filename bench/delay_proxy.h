// A TCP forwarder on 127.0.0.1 that holds every chunk of bytes for a fixed
// time in each direction before passing it on: a network link with a chosen
// round trip, so that the benchmarks see what a server across a LAN costs.
// Each accepted connection gets its own connection to the upstream server.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sp::bench {

class DelayProxy {
public:
    // Listens at once on a free port of 127.0.0.1; round_trip is split evenly
    // between the two directions. Exits the program when it cannot listen.
    DelayProxy(std::string upstream_host, int upstream_port, std::chrono::microseconds round_trip);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return port_; }

private:
    struct Link;
    void accept_loop();

    std::string upstream_host_;
    int upstream_port_;
    std::chrono::microseconds one_way_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;  // guards links_
    std::vector<std::unique_ptr<Link>> links_;
    std::thread acceptor_;
};

}  // namespace sp::bench

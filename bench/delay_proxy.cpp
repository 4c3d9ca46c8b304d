#include "bench/delay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>

namespace sp::bench {

namespace {

using Clock = std::chrono::steady_clock;

// Without it, small packets wait for the peer's delayed acknowledgement
// (tens of milliseconds), which no real client-server pair suffers.
void no_delay(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool send_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Sleeps end up to 50 us late by default; a link of half a millisecond
// needs them on time. Applies to the calling thread and those it starts.
void precise_sleeps() { prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0); }

// One direction of a link: a reader that stamps each chunk with the time it
// is due, and a writer that sends it then. Order is kept.
class Direction {
public:
    Direction(int from, int to, std::chrono::microseconds delay) : from_(from), to_(to), delay_(delay) {
        reader_ = std::thread([this] { read_loop(); });
        if (delay_.count() > 0) writer_ = std::thread([this] { write_loop(); });
    }
    ~Direction() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
        if (reader_.joinable()) reader_.join();
        if (writer_.joinable()) writer_.join();
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    void read_loop() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(from_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            if (delay_.count() == 0) {
                if (!send_all(to_, buffer, static_cast<std::size_t>(n))) break;
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                queue_.push_back({Clock::now() + delay_, std::string(buffer, static_cast<std::size_t>(n))});
            }
            ready_.notify_one();
        }
        // The sender is gone: pass the end on once everything before it is out.
        {
            std::lock_guard lock(mutex_);
            eof_ = true;
        }
        ready_.notify_all();
        if (delay_.count() == 0) ::shutdown(to_, SHUT_WR);
    }

    void write_loop() {
        precise_sleeps();
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [&] { return closed_ || eof_ || !queue_.empty(); });
            if (closed_) return;
            if (queue_.empty()) {  // eof_ and nothing left
                ::shutdown(to_, SHUT_WR);
                return;
            }
            Chunk chunk = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(chunk.due);
            const bool sent = send_all(to_, chunk.bytes.data(), chunk.bytes.size());
            lock.lock();
            if (!sent) return;
        }
    }

    int from_, to_;
    std::chrono::microseconds delay_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Chunk> queue_;
    bool eof_ = false, closed_ = false;
    std::thread reader_, writer_;
};

int connect_to(const std::string& host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    no_delay(fd);
    return fd;
}

}  // namespace

// A client connection and its upstream connection, forwarded both ways.
struct DelayProxy::Link {
    Link(int client_fd, int server_fd, std::chrono::microseconds one_way)
        : client(client_fd), server(server_fd) {
        up = std::make_unique<Direction>(client, server, one_way);
        down = std::make_unique<Direction>(server, client, one_way);
    }
    ~Link() {
        // Wakes both readers; then the directions join their threads.
        ::shutdown(client, SHUT_RDWR);
        ::shutdown(server, SHUT_RDWR);
        up.reset();
        down.reset();
        ::close(client);
        ::close(server);
    }
    int client, server;
    std::unique_ptr<Direction> up, down;
};

DelayProxy::DelayProxy(std::string upstream_host, int upstream_port, std::chrono::microseconds round_trip)
    : upstream_host_(std::move(upstream_host)), upstream_port_(upstream_port), one_way_(round_trip / 2) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("delay proxy: listening on 127.0.0.1");
        std::exit(2);
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
}

DelayProxy::~DelayProxy() {
    stopping_ = true;
    acceptor_.join();
    ::close(listener_);
    std::lock_guard lock(mutex_);
    links_.clear();
}

void DelayProxy::accept_loop() {
    precise_sleeps();
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        no_delay(client);
        const int server = connect_to(upstream_host_, upstream_port_);
        if (server < 0) {
            ::close(client);
            continue;
        }
        std::lock_guard lock(mutex_);
        links_.push_back(std::make_unique<Link>(client, server, one_way_));
    }
}

}  // namespace sp::bench

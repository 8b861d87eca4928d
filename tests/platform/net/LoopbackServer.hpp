#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>

namespace moss_test {

// A cpp-httplib server on 127.0.0.1 at a port the system picks, run on its own thread for the
// lifetime of the object.
class LoopbackServer {
public:
    // `routes` registers the handlers before the server starts listening.
    explicit LoopbackServer(const std::function<void(httplib::Server&, LoopbackServer&)>& routes) {
        routes(server_, *this);
        // One request per connection: a kept-alive connection would hold a worker (and the
        // server's shutdown) for seconds after the test is done.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LoopbackServer() {
        release();
        server_.stop();
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return server_; }
    [[nodiscard]] std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Handlers that hold a reply back wait here until the test lets them go (or the server ends).
    void holdUntilReleased(std::chrono::seconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [this] { return released_; });
    }
    void release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
};

} // namespace moss_test

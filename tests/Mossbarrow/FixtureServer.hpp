#pragma once

// A real HTTP server on loopback for the client and view-model tests: it serves fixture files
// (or any reply a test hands it), records every request target, and can hold replies back until
// a test releases them, so that replies arrive in an order the test chooses.

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <httplib.h>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mossbarrow::testing {

inline std::string fixture(const std::string& name) {
    const auto path = std::filesystem::path(MOSS_FIXTURE_DIR) / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("missing fixture " + path.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Reply {
    int status = 200;
    std::string body;
    bool held = false; // wait for release(key) before answering
    std::string key;   // the hold's name
};

class FixtureServer {
public:
    // Chooses the reply for a request target (path plus query as sent).
    using Router = std::function<Reply(const std::string& path, const httplib::Params& params)>;

    explicit FixtureServer(Router router)
        : router_(std::move(router)) {
        // One request per connection: a pooled client connection would otherwise keep a worker
        // thread reading until its keep-alive timeout when the server stops.
        server_.set_keep_alive_max_count(1);
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(mutex_);
                targets_.push_back(request.target);
            }
            changed_.notify_all();
            Reply reply = router_(request.path, request.params);
            if (reply.held) {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || released_.count(reply.key) > 0; });
            }
            response.status = reply.status;
            response.set_content(reply.body, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
    }

    ~FixtureServer() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        server_.stop();
        thread_.join();
    }

    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void release(const std::string& key) {
        {
            const std::lock_guard lock(mutex_);
            released_.insert({key, true});
        }
        changed_.notify_all();
    }

    std::vector<std::string> targets() const {
        const std::lock_guard lock(mutex_);
        return targets_;
    }

private:
    Router router_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> targets_;
    std::map<std::string, bool> released_;
    bool stopping_ = false;
};

} // namespace mossbarrow::testing

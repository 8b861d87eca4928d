#pragma once

// Shared by the view-model tests: a loopback server whose replies each test scripts, and a way
// to drive the main executor until a condition holds.

#include "FixtureServer.hpp"
#include "Mossbarrow/APIClient.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace mossbarrow::testing {

using namespace std::chrono_literals;

// Runs the main executor until `predicate` holds (failing the test after a generous timeout).
inline void runUntil(const std::function<bool()>& predicate, const char* what) {
    EXPECT_TRUE(platform::MainExecutor::shared().runUntil(predicate, 10000ms)) << what;
}

// Runs the main executor for a while, to show that nothing more happens.
inline void settle(std::chrono::milliseconds duration = 700ms) {
    platform::MainExecutor::shared().runFor(duration);
}

class ScriptedServer {
public:
    using Script = std::function<Reply(const std::string& path, const httplib::Params& params)>;

    explicit ScriptedServer(Script script)
        : script_(std::move(script)) {}

    // Every request target received so far whose path starts with `prefix`.
    std::vector<std::string> requests(const std::string& prefix = "/") const {
        auto all = server_.targets();
        std::erase_if(all, [&](const std::string& target) { return target.rfind(prefix, 0) != 0; });
        return all;
    }
    std::size_t count(const std::string& prefix) const { return requests(prefix).size(); }
    void release(const std::string& key) { server_.release(key); }

    std::shared_ptr<APIClient> client() const {
        return APIClient::make(APIClient::sharedSession(), server_.baseURL());
    }

private:
    Script script_;
    FixtureServer server_{[this](const std::string& path, const httplib::Params& params) {
        return script_(path, params);
    }};
};

inline std::string param(const httplib::Params& params, const std::string& name) {
    const auto found = params.find(name);
    return found == params.end() ? std::string("<none>") : found->second;
}

inline Reply ok(const std::string& fixtureName) {
    return Reply{.body = fixture(fixtureName)};
}

} // namespace mossbarrow::testing

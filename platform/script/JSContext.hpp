#pragma once

// A JavaScript context: evaluates scripts and calls their global functions. The engine stays
// behind this header.
//
// A context is not thread-safe; its owner serialises every use (one actor, or one thread). It may
// move between threads between calls.
//
// Every entry into the engine (an evaluation, a call) is stopped once it has run for
// `executionTimeLimit`, if it is running script when the engine looks: a stopped entry reports
// what a thrown exception reports, and the context stays usable for the next call. The engine
// does not look while a regular expression backtracks, so one match can hold a call for far
// longer; callers that must not wait that long run their calls in a ScriptWorkerPool.

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class JSContext {
public:
    // One object of a reply: its properties in enumeration order, all of them strings.
    using StringObject = std::vector<std::pair<std::string, std::string>>;

    // How long one entry into the engine may run. Process-wide: the engine reads it when its
    // first context is made.
    static constexpr std::chrono::milliseconds executionTimeLimit{2000};

    // A fresh context with its own global object; nullptr when the engine cannot make one.
    [[nodiscard]] static std::unique_ptr<JSContext> make();

    JSContext(const JSContext&) = delete;
    JSContext& operator=(const JSContext&) = delete;
    ~JSContext();

    // Evaluates `source`; false when it threw or was stopped. The result is dropped.
    bool evaluate(std::string_view source, std::string_view sourceURL = {});

    // Whether the global object has a property `name` that can be called.
    [[nodiscard]] bool hasFunction(std::string_view name) const;

    // Calls the global function `name` with string arguments and reads its reply as an array of
    // objects with string values. nullopt when there is no such function, the call threw, was
    // stopped or answered nothing, the reply is not an array, or any element is not an object
    // whose every property holds a string.
    [[nodiscard]] std::optional<std::vector<StringObject>>
    callReturningStringObjects(std::string_view name, std::span<const std::string> arguments);

private:
    struct Engine;
    explicit JSContext(std::unique_ptr<Engine> engine);

    std::unique_ptr<Engine> engine_;
};

} // namespace platform

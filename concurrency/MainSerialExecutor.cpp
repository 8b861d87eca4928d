#include "concurrency/MainSerialExecutor.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace concurrency {

void enqueueOnMainExecutor(platform::Job&& job, void (*)(platform::Job&&)) {
    platform::MainExecutor::shared().enqueue(std::move(job));
}

// The slot belongs to our own runtime and is always there, so no lookup can fail; it is an
// atomic, so switching the hook while other threads enqueue is safe.
bool isMainSerialHookInstalled() {
    return platform::globalEnqueueHook().load(std::memory_order_acquire) != nullptr;
}

void installMainSerialHook(bool installed) {
    platform::globalEnqueueHook().store(installed ? &enqueueOnMainExecutor : nullptr,
                                        std::memory_order_release);
}

namespace detail {

ScopedMainSerialHook::ScopedMainSerialHook()
    : wasInstalled_(isMainSerialHookInstalled()) {
    installMainSerialHook(true);
}

ScopedMainSerialHook::~ScopedMainSerialHook() {
    installMainSerialHook(wasInstalled_);
}

} // namespace detail

int parseRepeatedYieldCount(const char* text) {
    constexpr int fallback = 20;
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    const char* begin = text;
    const char* const end = text + std::strlen(text);
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end) {
        return fallback;
    }
    for (const char* c = begin; c != end; ++c) {
        if (!platform::ascii::isDigit(*c)) {
            return fallback;
        }
    }
    // Accumulate as a negative number so that the full signed 64-bit range parses.
    std::int64_t value = 0;
    for (const char* c = begin; c != end; ++c) {
        const int digit = *c - '0';
        if (value < (INT64_MIN + digit) / 10) {
            return fallback;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == INT64_MIN) {
            return fallback; // 9223372036854775808 does not fit
        }
        value = -value;
    }
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, 10000));
}

int repeatedYieldCount() {
    static const int count = parseRepeatedYieldCount(std::getenv("TASK_REPEATED_YIELD_COUNT"));
    return count;
}

platform::Task<void> repeatedYield(int count) {
    for (int i = 0; i < count; ++i) {
        auto yielder = platform::Task<>::detached(
            []() -> platform::Task<void> { co_await platform::Task<>::yield(); },
            platform::TaskPriority::background);
        co_await yielder.value();
    }
}

} // namespace concurrency

#pragma once

#include "platform/runtime/Executor.hpp"

#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

/// True on the process's main thread, the one thread the main executor runs on.
[[nodiscard]] bool isMainThread() noexcept;

/// Cancels a timer made by MainExecutor::enqueueAfter. A default token cancels nothing;
/// cancelling after the timer fired, or twice, is harmless.
class TimerToken {
public:
    TimerToken() = default;
    void cancel() const;
    [[nodiscard]] std::uint64_t id() const noexcept { return id_; }

private:
    friend class MainExecutor;
    explicit TimerToken(std::uint64_t id)
        : id_(id) {}
    std::uint64_t id_ = 0;
};

/// The main executor: jobs that run one at a time on the main thread.
///
/// It has two drivers. In the application it is attached to a GLib main context and its jobs and
/// timers are dispatched by that context's loop. In tests (and in main() before a loop exists)
/// the main thread drives it directly with runUntil(), runFor() or drain().
class MainExecutor final : public Executor {
public:
    static MainExecutor& shared();

    void enqueue(Job job) override;

    /// Runs `job` on the main thread once `delay` has passed, unless cancelled first.
    TimerToken enqueueAfter(std::chrono::nanoseconds delay, Job job);
    void cancelTimer(std::uint64_t id);

    /// True on the main thread.
    [[nodiscard]] static bool isCurrent() noexcept { return isMainThread(); }

    /// Lets `context` (a GMainContext*) dispatch the executor's jobs and timers from now on.
    /// Call on the main thread; pass nullptr to detach.
    void attachToGlibMainContext(void* context);

    /// Runs jobs and due timers until `predicate` holds or `timeout` passes. Main thread only.
    /// Returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

    /// Runs jobs and timers for `duration`. Main thread only.
    void runFor(std::chrono::nanoseconds duration);

    /// Runs jobs until none is ready (timers not yet due are left). Returns how many ran.
    std::size_t drain();

    /// Number of queued jobs plus pending timers (for tests and diagnostics).
    [[nodiscard]] std::size_t pendingCount() const;

    class Impl;
    explicit MainExecutor(Impl& impl)
        : impl_(impl) {}

private:
    Impl& impl_;
};

} // namespace platform

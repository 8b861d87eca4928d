#pragma once

#include "platform/runtime/Actor.hpp"
#include "platform/runtime/GlobalExecutor.hpp"
#include "platform/runtime/Task.hpp"

#include <functional>
#include <type_traits>

namespace concurrency {

/// The hook that sends every job of the global executor to the main executor, so that all such
/// work runs one job at a time on the main thread (the runtime's own enqueue is not called).
void enqueueOnMainExecutor(platform::Job&& job, void (*original)(platform::Job&&));

/// Whether the runtime's global-enqueue hook slot holds a hook.
[[nodiscard]] bool isMainSerialHookInstalled();

/// true: route global jobs to the main executor from now on; false: clear the hook slot.
void installMainSerialHook(bool installed);

namespace detail {
/// Installs the hook for its lifetime, then restores the on/off state found (a foreign hook
/// that was there before comes back as enqueueOnMainExecutor: only on/off is remembered).
class ScopedMainSerialHook {
public:
    ScopedMainSerialHook();
    ScopedMainSerialHook(const ScopedMainSerialHook&) = delete;
    ScopedMainSerialHook& operator=(const ScopedMainSerialHook&) = delete;
    ~ScopedMainSerialHook();

private:
    bool wasInstalled_;
};

template <class R, class F>
platform::Task<R> runOnMainSerialExecutorAsync(F operation) {
    co_await platform::MainActor::hop();
    const ScopedMainSerialHook hook;
    co_return co_await std::invoke(operation);
}
} // namespace detail

/// Runs `operation` with the main serial hook installed, then restores the previous on/off
/// state, also when it throws.
///
/// A plain callable runs at once on the calling thread and its result is returned. A callable
/// returning a Task makes this return a Task that, when awaited, hops to the main actor,
/// installs the hook and awaits the operation there.
template <class F>
auto runOnMainSerialExecutor(F operation) {
    using R = std::invoke_result_t<F&>;
    if constexpr (platform::detail::IsTask<R>::value) {
        return detail::runOnMainSerialExecutorAsync<typename R::value_type>(std::move(operation));
    } else {
        const detail::ScopedMainSerialHook hook;
        return std::invoke(operation);
    }
}

/// TASK_REPEATED_YIELD_COUNT, read once per process: absent, empty or not a decimal integer
/// (optional sign, digits, nothing else, within 64 bits) gives 20; else clamped to 0...10000.
[[nodiscard]] int repeatedYieldCount();

/// Parses a TASK_REPEATED_YIELD_COUNT value as repeatedYieldCount() does (null for unset).
[[nodiscard]] int parseRepeatedYieldCount(const char* text);

/// Gives other work many chances to run: `count` times, starts a detached background-priority
/// task that yields once, and waits for it before starting the next.
platform::Task<void> repeatedYield(int count = repeatedYieldCount());

} // namespace concurrency

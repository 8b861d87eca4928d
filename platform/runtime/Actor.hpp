#pragma once

#include "platform/runtime/SerialExecutor.hpp"
#include "platform/runtime/Task.hpp"

#include <type_traits>

namespace platform {

/// Base of classes whose state is confined to one serial executor. An async member starts with
/// `co_await hop();` (or `co_await isolated();`): from then on, and after every later suspension
/// of that coroutine, it runs on the actor's executor, one job at a time. Other work may run on
/// the actor at those suspension points (actors are reentrant). The caller continues on its own
/// executor when the member returns.
class Actor {
public:
    Actor()
        : executor_(SerialExecutor::make()) {}
    Actor(const Actor&) = delete;
    Actor& operator=(const Actor&) = delete;
    virtual ~Actor() = default;

    [[nodiscard]] const std::shared_ptr<SerialExecutor>& executor() const noexcept {
        return executor_;
    }

    /// True while the calling thread runs a job of this actor.
    [[nodiscard]] bool isIsolated() const noexcept { return executor_->isCurrent(); }

    /// `co_await hop()` (inside a member) or `co_await actor.hop()` moves the current task onto
    /// this actor's executor.
    [[nodiscard]] detail::HopAwaiter hop() const { return detail::HopAwaiter{executor_}; }
    [[nodiscard]] detail::HopAwaiter isolated() const { return hop(); }

private:
    std::shared_ptr<SerialExecutor> executor_;
};

/// The main actor: the main executor seen as an actor.
class MainActor {
public:
    /// `co_await MainActor::hop()` moves the current task onto the main thread.
    [[nodiscard]] static detail::HopAwaiter hop() {
        return detail::HopAwaiter{detail::mainExecutorPtr()};
    }

    [[nodiscard]] static bool isCurrent() noexcept { return isMainThread(); }

    /// Runs `operation` (a plain callable or one returning a Task) on the main actor as part of
    /// the awaiting task.
    template <class F>
    static auto run(F operation) {
        using R = std::invoke_result_t<F&>;
        if constexpr (detail::IsTask<R>::value) {
            return runAsync<typename R::value_type>(std::move(operation));
        } else {
            return runSync<R>(std::move(operation));
        }
    }

private:
    template <class T, class F>
    static Task<T> runAsync(F operation) {
        co_await hop();
        co_return co_await std::invoke(operation);
    }
    template <class T, class F>
    static Task<T> runSync(F operation) {
        co_await hop();
        co_return std::invoke(operation);
    }
};

} // namespace platform

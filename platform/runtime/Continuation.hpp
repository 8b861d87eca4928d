#pragma once

#include "platform/runtime/Task.hpp"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <variant>

namespace platform {

/// Thrown at the await of a continuation whose every copy was dropped without a resume.
struct ContinuationDroppedError : std::exception {
    [[nodiscard]] const char* what() const noexcept override {
        return "continuation dropped without being resumed";
    }
};

namespace detail {

/// Reports a continuation resumed twice: a programming error. Debug builds stop; release
/// builds log the misuse and ignore the second resume.
void reportContinuationMisuse(const char* what) noexcept;
/// Logs a continuation dropped without being resumed.
void reportContinuationLeak() noexcept;

template <class T>
struct ContinuationState {
    using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    std::mutex mutex;
    bool resumed = false;
    std::optional<Stored> value;
    std::exception_ptr error;
    TaskContext* task = nullptr;
    ExecutorPtr executor;
    std::coroutine_handle<> frame;

    /// Completes once; the awaiting task is queued on its own executor.
    template <class Fill>
    void complete(Fill&& fill, bool onlyIfPending = false) {
        TaskContext* resumeTask = nullptr;
        ExecutorPtr resumeExecutor;
        std::coroutine_handle<> resumeFrame;
        {
            const std::scoped_lock lock(mutex);
            if (resumed) {
                if (!onlyIfPending) {
                    reportContinuationMisuse("continuation resumed more than once");
                }
                return;
            }
            resumed = true;
            fill(*this);
            resumeTask = task;
            resumeExecutor = std::move(executor);
            resumeFrame = frame;
        }
        resumeOn(resumeExecutor, resumeTask, resumeFrame);
    }
};

/// Held by the callback side only. When the last copy of a continuation goes away without a
/// resume, the awaiting task would be stuck for good (and its frames leaked): it is resumed with
/// ContinuationDroppedError instead, and the misuse is logged.
template <class T>
struct ContinuationHandle {
    explicit ContinuationHandle(std::shared_ptr<ContinuationState<T>> state)
        : state(std::move(state)) {}
    ContinuationHandle(const ContinuationHandle&) = delete;
    ContinuationHandle& operator=(const ContinuationHandle&) = delete;
    ~ContinuationHandle() {
        bool pending = false;
        {
            const std::scoped_lock lock(state->mutex);
            pending = !state->resumed;
        }
        if (pending) {
            reportContinuationLeak();
            state->complete(
                [](auto& s) { s.error = std::make_exception_ptr(ContinuationDroppedError()); },
                true);
        }
    }
    std::shared_ptr<ContinuationState<T>> state;
};

} // namespace detail

/// The callback side of withCheckedContinuation: resume it exactly once, from any thread.
/// Copies share the same continuation.
template <class T>
class Continuation {
public:
    explicit Continuation(std::shared_ptr<detail::ContinuationState<T>> state)
        : handle_(std::make_shared<detail::ContinuationHandle<T>>(std::move(state))) {}

    template <class U = T>
    requires(!std::is_void_v<U>) void resume(U value) const {
        handle_->state->complete([&](auto& s) { s.value.emplace(std::move(value)); });
    }
    void resume() const requires std::is_void_v<T> {
        handle_->state->complete([](auto& s) { s.value.emplace(); });
    }
    void resume(std::exception_ptr error) const {
        handle_->state->complete([&](auto& s) { s.error = std::move(error); });
    }
    template <class E>
    requires std::is_base_of_v<std::exception, std::decay_t<E>>
    void resumeThrowing(E&& error) const {
        resume(std::make_exception_ptr(std::forward<E>(error)));
    }

private:
    std::shared_ptr<detail::ContinuationHandle<T>> handle_;
};

namespace detail {

template <class T>
struct ContinuationAwaiter {
    explicit ContinuationAwaiter(std::function<void(Continuation<T>)> body)
        : body(std::move(body)) {}
    std::function<void(Continuation<T>)> body;
    std::shared_ptr<ContinuationState<T>> state = std::make_shared<ContinuationState<T>>();

    [[nodiscard]] bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> frame) {
        TaskContext* const task = currentTask();
        assert(task != nullptr && "co_await outside a task");
        {
            const std::scoped_lock lock(state->mutex);
            state->task = task;
            state->executor = task->executor;
            state->frame = frame;
        }
        // The body may resume at once, even on another thread; this frame is not touched after.
        auto keep = state;
        auto run = std::move(body);
        run(Continuation<T>(std::move(keep)));
    }
    T await_resume() {
        if (state->error) {
            std::rethrow_exception(state->error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*state->value);
        }
    }
};

} // namespace detail

/// Suspends the current task, hands `body` a continuation, and resumes the task (on its own
/// executor) with whatever the continuation is resumed with.
template <class T>
Task<T> withCheckedContinuation(std::function<void(Continuation<T>)> body) {
    // A named awaiter: g++ 12 mishandles non-trivial awaiter temporaries in co_await.
    detail::ContinuationAwaiter<T> awaiter{std::move(body)};
    co_return co_await awaiter;
}

template <>
inline Task<void> withCheckedContinuation<void>(std::function<void(Continuation<void>)> body) {
    detail::ContinuationAwaiter<void> awaiter{std::move(body)};
    co_await awaiter;
}

/// The same; an error passed to `resume(std::exception_ptr)` is thrown at the await.
template <class T>
Task<T> withCheckedThrowingContinuation(std::function<void(Continuation<T>)> body) {
    return withCheckedContinuation<T>(std::move(body));
}

} // namespace platform

#pragma once

#include "platform/runtime/Task.hpp"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <variant>

namespace platform {

namespace detail {

/// Stands for "take the result type from the body" in withTaskGroup<T, R>.
struct DeduceResult {};

template <class T>
class GroupState : public std::enable_shared_from_this<GroupState<T>> {
public:
    using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
    using Outcome = std::variant<Stored, std::exception_ptr>;

    template <class F>
    void add(F operation, TaskPriority priority) {
        std::uint64_t id = 0;
        bool cancelled = false;
        {
            const std::scoped_lock lock(mutex_);
            id = ++lastId_;
            ++running_;
            cancelled = cancelled_;
        }
        // Children run on the global executor: they are not isolated to the parent's actor.
        auto child = startTask<T>(std::move(operation), globalExecutorPtr(), priority, cancelled);
        {
            const std::scoped_lock lock(mutex_);
            if (!child->isDone()) {
                children_.emplace(id, child);
            }
            if (cancelled_ && !cancelled) {
                cancelled = true; // cancelAll() ran while the child was being started
            }
        }
        if (cancelled) {
            child->task.cancel();
        }
        auto self = this->shared_from_this();
        if (!child->addWaiter([self, child, id] { self->childDone(*child, id); })) {
            childDone(*child, id);
        }
    }

    void cancelAll() {
        std::unordered_map<std::uint64_t, std::shared_ptr<TaskState<T>>> children;
        {
            const std::scoped_lock lock(mutex_);
            cancelled_ = true;
            children = children_;
        }
        for (auto& entry : children) {
            entry.second->task.cancel();
        }
    }

    [[nodiscard]] bool isCancelled() const {
        const std::scoped_lock lock(mutex_);
        return cancelled_;
    }

    [[nodiscard]] bool isEmpty() const {
        const std::scoped_lock lock(mutex_);
        return running_ == 0 && outcomes_.empty();
    }

    /// Takes a finished child's outcome, or registers the waiting task. Returns true when the
    /// caller must suspend.
    bool takeOrWait(std::optional<Outcome>& out, std::coroutine_handle<> frame, bool discard) {
        const std::scoped_lock lock(mutex_);
        if (discard) {
            outcomes_.clear();
            discarding_ = true;
        }
        if (!outcomes_.empty()) {
            out.emplace(std::move(outcomes_.front()));
            outcomes_.pop_front();
            return false;
        }
        if (running_ == 0) {
            discarding_ = false;
            return false;
        }
        TaskContext* const task = currentTask();
        waiterTask_ = task;
        waiterExecutor_ = task->executor;
        waiter_ = frame;
        return true;
    }

private:
    void childDone(TaskState<T>& child, std::uint64_t id) {
        Outcome outcome{std::exception_ptr()};
        try {
            if constexpr (std::is_void_v<T>) {
                child.get();
                outcome.template emplace<0>();
            } else {
                outcome.template emplace<0>(child.get());
            }
        } catch (...) {
            outcome = std::current_exception();
        }
        TaskContext* task = nullptr;
        ExecutorPtr executor;
        std::coroutine_handle<> frame;
        {
            const std::scoped_lock lock(mutex_);
            children_.erase(id);
            --running_;
            if (!discarding_) {
                outcomes_.push_back(std::move(outcome));
            }
            if (waiter_ && (!discarding_ || running_ == 0)) {
                task = waiterTask_;
                executor = std::move(waiterExecutor_);
                frame = std::exchange(waiter_, nullptr);
            }
        }
        if (frame) {
            resumeOn(executor, task, frame);
        }
    }

    mutable std::mutex mutex_;
    std::deque<Outcome> outcomes_;
    std::unordered_map<std::uint64_t, std::shared_ptr<TaskState<T>>> children_;
    std::uint64_t lastId_ = 0;
    std::size_t running_ = 0;
    bool cancelled_ = false;
    bool discarding_ = false;
    TaskContext* waiterTask_ = nullptr;
    ExecutorPtr waiterExecutor_;
    std::coroutine_handle<> waiter_;
};

} // namespace detail

/// A scope of child tasks producing values of type T, made by withTaskGroup /
/// withThrowingTaskGroup. Children run concurrently on the global executor at the parent's
/// priority unless given one; cancelling the parent task cancels them. The group waits for
/// every child before its scope returns.
template <class T>
class TaskGroup {
public:
    using Stored = typename detail::GroupState<T>::Stored;

    TaskGroup()
        : parent_(detail::currentTask()) {
        assert(parent_ != nullptr && "a task group lives inside a task");
        std::weak_ptr<detail::GroupState<T>> weak = state_;
        cancelHandler_ = parent_->addCancellationHandler([weak] {
            if (auto state = weak.lock()) {
                state->cancelAll();
            }
        });
    }
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;
    ~TaskGroup() { parent_->removeCancellationHandler(cancelHandler_); }

    /// Starts a child running `operation()` (a callable returning Task<T>).
    template <class F>
    void addTask(F operation, std::optional<TaskPriority> priority = std::nullopt) {
        state_->add(std::move(operation), priority.value_or(parent_->priority));
    }

    /// Starts a child unless the group is cancelled; returns whether it did.
    template <class F>
    bool addTaskUnlessCancelled(F operation, std::optional<TaskPriority> priority = std::nullopt) {
        if (isCancelled()) {
            return false;
        }
        addTask(std::move(operation), priority);
        return true;
    }

    void cancelAll() { state_->cancelAll(); }
    [[nodiscard]] bool isCancelled() const {
        return state_->isCancelled() || parent_->isCancelled();
    }
    [[nodiscard]] bool isEmpty() const { return state_->isEmpty(); }

    struct NextAwaiter {
        NextAwaiter(std::shared_ptr<detail::GroupState<T>> state, bool discard)
            : state(std::move(state))
            , discard(discard) {}
        std::shared_ptr<detail::GroupState<T>> state;
        bool discard = false;
        std::optional<typename detail::GroupState<T>::Outcome> outcome;

        [[nodiscard]] bool await_ready() const noexcept { return false; }
        bool await_suspend(std::coroutine_handle<> frame) {
            return state->takeOrWait(outcome, frame, discard);
        }
        std::optional<Stored> await_resume() {
            if (!outcome) {
                // Woken by a completion: take it now (or learn that the group is empty).
                state->takeOrWait(outcome, nullptr, false);
            }
            if (!outcome) {
                return std::nullopt;
            }
            if (auto* error = std::get_if<std::exception_ptr>(&*outcome)) {
                std::rethrow_exception(*error);
            }
            return std::move(std::get<0>(*outcome));
        }
    };

    /// `co_await group.next()`: the next child to finish (in completion order), or nullopt when
    /// no child is left. A child's error is rethrown here. (For T = void the value is
    /// std::monostate.)
    NextAwaiter next() { return NextAwaiter(state_, false); }

    /// Waits for every child, discarding results and errors.
    Task<void> waitForAll() {
        for (;;) {
            NextAwaiter awaiter(state_, true);
            if (co_await awaiter; state_->isEmpty()) {
                co_return;
            }
        }
    }

private:
    detail::TaskContext* parent_;
    std::shared_ptr<detail::GroupState<T>> state_ = std::make_shared<detail::GroupState<T>>();
    std::uint64_t cancelHandler_ = 0;
};

/// Runs `body(group)` (returning Task<R>; R may also be given: withTaskGroup<T, R>) with a new task
/// group, then waits for the group's remaining children. If the body throws, the children are
/// cancelled first and the error is rethrown once they are done.
template <class T, class Declared = detail::DeduceResult, class F>
auto withTaskGroup(F body) -> std::invoke_result_t<F&, TaskGroup<T>&> {
    using R = typename std::invoke_result_t<F&, TaskGroup<T>&>::value_type;
    static_assert(std::is_same_v<Declared, detail::DeduceResult> || std::is_same_v<Declared, R>,
                  "withTaskGroup<T, R>: the body must return Task<R>");
    TaskGroup<T> group;
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<R>, std::monostate, R>> result;
    try {
        if constexpr (std::is_void_v<R>) {
            co_await std::invoke(body, group);
            result.emplace();
        } else {
            result.emplace(co_await std::invoke(body, group));
        }
    } catch (...) {
        error = std::current_exception();
    }
    if (error) {
        group.cancelAll();
    }
    co_await group.waitForAll();
    if (error) {
        std::rethrow_exception(error);
    }
    if constexpr (!std::is_void_v<R>) {
        co_return std::move(*result);
    }
}

/// The same as withTaskGroup; children may throw, and next() rethrows their errors.
template <class T, class Declared = detail::DeduceResult, class F>
auto withThrowingTaskGroup(F body) -> std::invoke_result_t<F&, TaskGroup<T>&> {
    return withTaskGroup<T, Declared>(std::move(body));
}

} // namespace platform

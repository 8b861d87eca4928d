#pragma once

#include "platform/runtime/Executor.hpp"

#include <atomic>
#include <condition_variable>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

enum class TaskPriority : std::uint8_t {
    background = 9,
    utility = 17,
    low = 17,
    medium = 21,
    userInitiated = 25,
    high = 25
};

/// Thrown by cancellation checks and by waits that a cancellation cut short.
struct CancellationError : std::exception {
    [[nodiscard]] const char* what() const noexcept override { return "CancellationError()"; }
};

namespace detail {

/// What every coroutine frame of one task shares: the executor it currently runs on, its
/// priority and its cancellation state.
class TaskContext {
public:
    TaskContext(ExecutorPtr executor, TaskPriority priority)
        : executor(std::move(executor))
        , priority(priority) {}
    TaskContext(const TaskContext&) = delete;
    TaskContext& operator=(const TaskContext&) = delete;

    /// Changed only by the task itself (on a hop); others capture it while the task is
    /// suspended on something they will resume.
    ExecutorPtr executor;
    const TaskPriority priority;

    [[nodiscard]] bool isCancelled() const noexcept {
        return cancelled_.load(std::memory_order_acquire);
    }

    /// Sets the flag and runs the registered handlers on the calling thread, once.
    void cancel();

    /// Registers a handler run on cancellation. If the task is already cancelled the handler
    /// runs at once, before this returns, and the result is 0.
    std::uint64_t addCancellationHandler(UniqueFunction<void()> handler);

    /// Unregisters a handler. If a cancel() on another thread is running the handlers at this
    /// moment, waits until it is done, so that a handler never outlives its registration scope.
    void removeCancellationHandler(std::uint64_t id);

private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable handlersDone_;
    std::vector<std::pair<std::uint64_t, UniqueFunction<void()>>> handlers_;
    std::uint64_t lastId_ = 0;
    bool runningHandlers_ = false;
    std::thread::id runner_;
};

/// The task whose job the calling thread is running, or null outside tasks.
TaskContext* currentTask() noexcept;

class CurrentTaskScope {
public:
    explicit CurrentTaskScope(TaskContext* task) noexcept;
    CurrentTaskScope(const CurrentTaskScope&) = delete;
    CurrentTaskScope& operator=(const CurrentTaskScope&) = delete;
    ~CurrentTaskScope();

private:
    TaskContext* previous_;
};

/// A job that resumes `handle` as part of `task`.
inline Job resumeJob(TaskContext* task, std::coroutine_handle<> handle) {
    return [task, handle] {
        const CurrentTaskScope scope(task);
        handle.resume();
    };
}

/// The priority of the job being enqueued on this thread (medium when none is set): the
/// global executor reads it to order its queue.
TaskPriority enqueuePriority() noexcept;

class EnqueuePriorityScope {
public:
    explicit EnqueuePriorityScope(TaskPriority priority) noexcept;
    EnqueuePriorityScope(const EnqueuePriorityScope&) = delete;
    EnqueuePriorityScope& operator=(const EnqueuePriorityScope&) = delete;
    ~EnqueuePriorityScope();

private:
    TaskPriority previous_;
};

/// Queues the resumption of `handle` (part of `task`) on `executor`, at the task's priority.
inline void resumeOn(const ExecutorPtr& executor, TaskContext* task,
                     std::coroutine_handle<> handle) {
    const EnqueuePriorityScope scope(task->priority);
    executor->enqueue(resumeJob(task, handle));
}

/// Where a new unstructured task starts when nothing is given: the current task's executor,
/// else the executor the thread is running (if it is not the global one), else the main
/// executor on the main thread, else the global executor.
ExecutorPtr inheritedExecutor();

/// The process-wide executors as shared pointers.
ExecutorPtr mainExecutorPtr();
ExecutorPtr globalExecutorPtr();

} // namespace detail
} // namespace platform

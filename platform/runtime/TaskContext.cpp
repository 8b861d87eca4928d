#include "platform/runtime/TaskContext.hpp"

#include "platform/runtime/GlobalExecutor.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <algorithm>

namespace platform::detail {

namespace {
thread_local TaskContext* tlsCurrentTask = nullptr;
thread_local TaskPriority tlsEnqueuePriority = TaskPriority::medium;
} // namespace

void TaskContext::cancel() {
    std::vector<std::pair<std::uint64_t, UniqueFunction<void()>>> handlers;
    {
        const std::scoped_lock lock(mutex_);
        if (cancelled_.exchange(true, std::memory_order_acq_rel)) {
            return;
        }
        handlers.swap(handlers_);
        runningHandlers_ = true;
        runner_ = std::this_thread::get_id();
    }
    for (auto& entry : handlers) {
        entry.second();
    }
    handlers.clear();
    {
        const std::scoped_lock lock(mutex_);
        runningHandlers_ = false;
    }
    handlersDone_.notify_all();
}

std::uint64_t TaskContext::addCancellationHandler(UniqueFunction<void()> handler) {
    {
        const std::scoped_lock lock(mutex_);
        if (!cancelled_.load(std::memory_order_relaxed)) {
            handlers_.emplace_back(++lastId_, std::move(handler));
            return lastId_;
        }
    }
    handler();
    return 0;
}

void TaskContext::removeCancellationHandler(std::uint64_t id) {
    UniqueFunction<void()> removed; // destroyed outside the lock
    std::unique_lock lock(mutex_);
    if (id != 0) {
        const auto found = std::find_if(handlers_.begin(), handlers_.end(),
                                        [id](const auto& entry) { return entry.first == id; });
        if (found != handlers_.end()) {
            removed = std::move(found->second);
            handlers_.erase(found);
            return;
        }
    }
    if (runningHandlers_ && runner_ != std::this_thread::get_id()) {
        handlersDone_.wait(lock, [this] { return !runningHandlers_; });
    }
}

TaskContext* currentTask() noexcept {
    return tlsCurrentTask;
}

TaskPriority enqueuePriority() noexcept {
    return tlsEnqueuePriority;
}

EnqueuePriorityScope::EnqueuePriorityScope(TaskPriority priority) noexcept
    : previous_(tlsEnqueuePriority) {
    tlsEnqueuePriority = priority;
}

EnqueuePriorityScope::~EnqueuePriorityScope() {
    tlsEnqueuePriority = previous_;
}

CurrentTaskScope::CurrentTaskScope(TaskContext* task) noexcept
    : previous_(tlsCurrentTask) {
    tlsCurrentTask = task;
}

CurrentTaskScope::~CurrentTaskScope() {
    tlsCurrentTask = previous_;
}

ExecutorPtr mainExecutorPtr() {
    return MainExecutor::shared().shared_from_this();
}

ExecutorPtr globalExecutorPtr() {
    return GlobalExecutor::shared().shared_from_this();
}

ExecutorPtr inheritedExecutor() {
    if (TaskContext* const task = tlsCurrentTask) {
        return task->executor;
    }
    if (Executor* const running = Executor::current();
        running != nullptr && running != &GlobalExecutor::shared()) {
        return running->shared_from_this();
    }
    return isMainThread() ? mainExecutorPtr() : globalExecutorPtr();
}

} // namespace platform::detail

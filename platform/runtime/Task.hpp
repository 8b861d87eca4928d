#pragma once

#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/TaskContext.hpp"

#include <atomic>
#include <cassert>
#include <chrono>
#include <concepts>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

template <class T = void>
class Task;

namespace detail {

template <class T>
struct IsTask : std::false_type {};
template <class T>
struct IsTask<Task<T>> : std::true_type {};

/// Shared by every frame type: the task it belongs to and where to continue when it ends.
/// Live coroutine frames of Task type, counted in debug builds only (for leak tests); -1 in
/// release builds.
long liveFrameCount() noexcept;
void countFrame(int delta) noexcept;

struct PromiseBase {
#ifndef NDEBUG
    PromiseBase() noexcept {
        countFrame(1);
    }
    PromiseBase(const PromiseBase&) = delete;
    PromiseBase& operator=(const PromiseBase&) = delete;
    ~PromiseBase() {
        countFrame(-1);
    }
#endif

    TaskContext* task = nullptr;
    /// Whoever awaits the frame first runs it; it then continues here.
    std::coroutine_handle<> continuation;
    /// The executor the awaiting frame was on; the task goes back there when this frame ends,
    /// so a hop inside a callee never leaks into its caller.
    ExecutorPtr continuationExecutor;
    std::exception_ptr error;
    std::atomic<int> references{0};
    bool root = false; // a root frame destroys itself when it ends

    /// Copies of a Task share one frame. The first await runs it; an await of another copy
    /// waits for that run to end and gets its result as well. `alone`: the first await knows
    /// no other can come (it awaits the only Task of the frame, a temporary), so the common
    /// `co_await f()` pays no atomic operation for this. False when the frame already runs.
    bool beginRun(bool alone) noexcept {
        if (alone) {
            awaits_.store(running, std::memory_order_relaxed);
            alone_ = true;
            return true;
        }
        std::uintptr_t expected = notAwaited;
        return awaits_.compare_exchange_strong(expected, running, std::memory_order_acq_rel);
    }

    /// Registers a later await: false when the frame has already ended (go on at once).
    bool addLaterAwait(TaskContext* task, std::coroutine_handle<> waiting) {
        auto await = std::make_unique<LaterAwait>(LaterAwait{task, task->executor, waiting});
        std::uintptr_t head = awaits_.load(std::memory_order_acquire);
        do {
            if (head == ended) {
                return false;
            }
            await->next = head == running ? nullptr : reinterpret_cast<LaterAwait*>(head);
        } while (!awaits_.compare_exchange_weak(head, reinterpret_cast<std::uintptr_t>(await.get()),
                                                std::memory_order_acq_rel,
                                                std::memory_order_acquire));
        (void)await.release(); // owned by the list until the frame ends
        return true;
    }

    /// Called once, as the frame ends: resumes the later awaits on their own executors.
    void resumeLaterAwaits() {
        if (alone_) {
            return;
        }
        const std::uintptr_t head = awaits_.exchange(ended, std::memory_order_acq_rel);
        auto* next = head == running ? nullptr : reinterpret_cast<LaterAwait*>(head);
        while (next != nullptr) {
            const std::unique_ptr<LaterAwait> await(next);
            next = await->next;
            resumeOn(await->executor, await->task, await->waiting);
        }
    }

    std::suspend_always initial_suspend() const noexcept {
        return {};
    }

    struct FinalAwaiter {
        [[nodiscard]] bool await_ready() const noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> frame) noexcept {
            PromiseBase& promise = frame.promise();
            if (promise.root) {
                frame.destroy();
                return std::noop_coroutine();
            }
            const std::coroutine_handle<> next = promise.continuation;
            TaskContext* const task = promise.task;
            // The frame stays alive meanwhile: the first awaiter's Task still holds it.
            promise.resumeLaterAwaits();
            if (task->executor != promise.continuationExecutor) {
                // Nothing of this frame may be touched once the job is queued: the caller may
                // resume on another thread and destroy it.
                task->executor = promise.continuationExecutor;
                ExecutorPtr target = task->executor;
                resumeOn(target, task, next);
                return std::noop_coroutine();
            }
            return next;
        }
        void await_resume() const noexcept {}
    };
    FinalAwaiter final_suspend() const noexcept {
        return {};
    }

    void unhandled_exception() noexcept {
        error = std::current_exception();
    }

private:
    struct LaterAwait {
        TaskContext* task;
        ExecutorPtr executor;
        std::coroutine_handle<> waiting;
        LaterAwait* next = nullptr;
    };
    // `awaits_` is one of these marks, or (once later awaits wait) the last LaterAwait of a list
    // ending in `running`; list nodes are heap blocks, never at addresses 0 to 2.
    static constexpr std::uintptr_t notAwaited = 0;
    static constexpr std::uintptr_t running = 1;
    static constexpr std::uintptr_t ended = 2;
    std::atomic<std::uintptr_t> awaits_{notAwaited};
    bool alone_ = false;
};

template <class T>
struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <class U = T>
    requires std::convertible_to<U&&, T>
    void return_value(U&& result) { value.emplace(std::forward<U>(result)); }
    /// The result for the await that ran the frame: moved out when nobody else can ask for it.
    T take(bool onlyReader) {
        if (error) {
            std::rethrow_exception(error);
        }
        if (onlyReader) {
            return std::move(*value);
        }
        return *value;
    }
    /// The result for a later await of a copy.
    T share() {
        if (error) {
            std::rethrow_exception(error);
        }
        return *value;
    }
};

template <>
struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() const noexcept {}
    void take(bool /*onlyReader*/) const { share(); }
    void share() const {
        if (error) {
            std::rethrow_exception(error);
        }
    }
};

/// Completion of an unstructured task: its result plus whoever waits for it.
class TaskStateBase {
public:
    TaskStateBase(ExecutorPtr executor, TaskPriority priority)
        : task(std::move(executor), priority) {}
    TaskStateBase(const TaskStateBase&) = delete;
    TaskStateBase& operator=(const TaskStateBase&) = delete;

    TaskContext task;

    [[nodiscard]] bool isDone() const noexcept { return done_.load(std::memory_order_acquire); }

    /// Stores `waiter` to be called (on the completing thread) when the task ends; returns false
    /// and drops it when the task has already ended.
    bool addWaiter(UniqueFunction<void()> waiter) {
        const std::scoped_lock lock(mutex_);
        if (done_.load(std::memory_order_relaxed)) {
            return false;
        }
        waiters_.push_back(std::move(waiter));
        return true;
    }

    /// Blocks the calling thread until the task ends.
    void waitBlocking() {
        std::unique_lock lock(mutex_);
        doneChanged_.wait(lock, [this] { return done_.load(std::memory_order_relaxed); });
    }

protected:
    void markDone() {
        std::vector<UniqueFunction<void()>> waiters;
        {
            const std::scoped_lock lock(mutex_);
            done_.store(true, std::memory_order_release);
            waiters.swap(waiters_);
        }
        doneChanged_.notify_all();
        for (auto& waiter : waiters) {
            waiter();
        }
    }

    std::exception_ptr error_;

private:
    std::mutex mutex_;
    std::condition_variable doneChanged_;
    std::atomic<bool> done_{false};
    std::vector<UniqueFunction<void()>> waiters_;
};

template <class T>
class TaskState final : public TaskStateBase {
public:
    using TaskStateBase::TaskStateBase;
    void finish(T value) {
        value_.emplace(std::move(value));
        markDone();
    }
    void fail(std::exception_ptr error) {
        error_ = std::move(error);
        markDone();
    }
    /// Only after isDone().
    T get() const {
        if (error_) {
            std::rethrow_exception(error_);
        }
        return *value_;
    }

private:
    std::optional<T> value_;
};

template <>
class TaskState<void> final : public TaskStateBase {
public:
    using TaskStateBase::TaskStateBase;
    void finish() { markDone(); }
    void fail(std::exception_ptr error) {
        error_ = std::move(error);
        markDone();
    }
    void get() const {
        if (error_) {
            std::rethrow_exception(error_);
        }
    }
};

/// Suspends the current task until `state` completes, then resumes it on its own executor.
template <class T>
struct StateAwaiter {
    // Awaiters get constructors: g++ 12 double-destroys aggregate temporaries in co_await.
    explicit StateAwaiter(std::shared_ptr<TaskState<T>> state)
        : state(std::move(state)) {}
    std::shared_ptr<TaskState<T>> state;

    [[nodiscard]] bool await_ready() const noexcept { return state->isDone(); }
    bool await_suspend(std::coroutine_handle<> waiting) {
        TaskContext* const task = currentTask();
        assert(task != nullptr && "co_await outside a task");
        return state->addWaiter(
            [task, executor = task->executor, waiting] { resumeOn(executor, task, waiting); });
    }
    T await_resume() const { return state->get(); }
};

/// Creates and starts a task running `operation()`; `cancelled` starts it already cancelled
/// (children of a cancelled group).
template <class T, class F>
std::shared_ptr<TaskState<T>> startTask(F operation, ExecutorPtr executor, TaskPriority priority,
                                        bool cancelled);

template <class T, class F>
Task<void> driveRoot(F operation, std::shared_ptr<TaskState<T>> state);

/// Starts `root` (a frame that owns itself from now on) as task `task` on `executor`.
void startRoot(Task<void>&& root, TaskContext* task, const ExecutorPtr& executor);

/// Sleep support: runs `job` on a timer thread after `delay`; returns an id for cancelTimer.
std::uint64_t scheduleTimer(std::chrono::nanoseconds delay, Job job);
void cancelTimer(std::uint64_t id);

/// Runs the main executor on the calling (main) thread until `state` is done.
void pumpMainUntilDone(TaskStateBase& state);

} // namespace detail

/// The return type of every async function, and the handle of an unstructured task.
///
/// A coroutine `Task<int> f() { co_return 1; }` does nothing until awaited; `co_await f()` runs
/// it as part of the awaiting task. Awaiting a task created by run() or detached() waits for its
/// value. Copies share the same task: a coroutine runs once, at its first await, and an await of
/// another copy waits for that run and gets the same value or error.
///
/// Compiler caveat (g++ 12.2): a temporary made by aggregate initialisation inside a co_await
/// expression (`co_await f(Agg{...})`, or a lambda with non-trivial captures written inline as
/// in `co_await MainActor::run([ptr] {...})`) is destroyed twice. Bind such a value to a named
/// local first (`auto fn = [ptr] {...}; co_await MainActor::run(fn);`).
///
/// Executors: a coroutine keeps running on its caller's executor unless it hops
/// (`co_await hopTo(executor)`, `co_await MainActor::hop()`, `co_await hop()` in an Actor). When
/// a coroutine that hopped returns, its caller continues on the caller's own executor.
template <class T>
class Task {
public:
    using promise_type = detail::Promise<T>;
    using value_type = T;

    Task() = default;
    Task(const Task& other)
        : frame_(other.frame_)
        , state_(other.state_) {
        retain();
    }
    Task(Task&& other) noexcept
        : frame_(std::exchange(other.frame_, nullptr))
        , state_(std::move(other.state_)) {}
    Task& operator=(Task other) noexcept {
        std::swap(frame_, other.frame_);
        std::swap(state_, other.state_);
        return *this;
    }
    ~Task() { release(); }

    /// Starts an unstructured task running `operation()` (a callable returning Task<T>) at
    /// once: on the current actor's executor when called from one (the main executor from the
    /// main thread), else on the global executor. The priority is inherited unless given.
    /// `operation` and what it captures live until the task ends. Dropping the handle does not
    /// cancel the task.
    template <class F>
    requires std::is_same_v<std::invoke_result_t<F&>, Task<T>>
    static Task run(F operation, std::optional<TaskPriority> priority = std::nullopt) {
        const detail::TaskContext* const current = detail::currentTask();
        const TaskPriority inherited =
            current != nullptr ? current->priority : TaskPriority::medium;
        return start(std::move(operation), detail::inheritedExecutor(),
                     priority.value_or(inherited));
    }

    /// Starts an unstructured task on the global executor that inherits nothing.
    template <class F>
    requires std::is_same_v<std::invoke_result_t<F&>, Task<T>>
    static Task detached(F operation, TaskPriority priority = TaskPriority::medium) {
        return start(std::move(operation), detail::globalExecutorPtr(), priority);
    }

    /// Starts an unstructured task on `executor`.
    template <class F>
    requires std::is_same_v<std::invoke_result_t<F&>, Task<T>>
    static Task runOn(ExecutorPtr executor, F operation,
                      TaskPriority priority = TaskPriority::medium) {
        return start(std::move(operation), std::move(executor), priority);
    }

    // -- handle operations (tasks made by run / detached) --

    void cancel() const {
        assert(state_ && "cancel() needs a task handle");
        state_->task.cancel();
    }
    /// Whether this task was cancelled. (`Task<>::isCancelled()` asks about the current task.)
    [[nodiscard]] bool isTaskCancelled() const {
        assert(state_ && "isTaskCancelled() needs a task handle");
        return state_->task.isCancelled();
    }
    [[nodiscard]] bool isDone() const { return state_ && state_->isDone(); }

    /// `co_await handle.value()`: the task's value, or its error rethrown. (The result is the
    /// handle itself: awaiting a handle waits for its value.)
    Task value() const {
        assert(state_ && "value() needs a task handle");
        return Task(state_);
    }

    // -- the current task --

    [[nodiscard]] static bool isCancelled() noexcept {
        const detail::TaskContext* const task = detail::currentTask();
        return task != nullptr && task->isCancelled();
    }
    static void checkCancellation() {
        if (isCancelled()) {
            throw CancellationError();
        }
    }
    /// The current task's priority (medium outside tasks).
    [[nodiscard]] static TaskPriority currentPriority() noexcept {
        const detail::TaskContext* const task = detail::currentTask();
        return task != nullptr ? task->priority : TaskPriority::medium;
    }

    /// Suspends and lets other jobs of the current executor run first.
    static auto yield() noexcept {
        struct Awaiter {
            [[nodiscard]] bool await_ready() const noexcept { return false; }
            void await_suspend(std::coroutine_handle<> waiting) const {
                detail::TaskContext* const task = detail::currentTask();
                assert(task != nullptr && "co_await outside a task");
                ExecutorPtr executor = task->executor;
                detail::resumeOn(executor, task, waiting);
            }
            void await_resume() const noexcept {}
        };
        return Awaiter{};
    }

    /// Suspends for `duration`; throws CancellationError if the task is (or gets) cancelled.
    static Task<void> sleep(std::chrono::nanoseconds duration);

    // -- awaiting --

    struct Awaiter {
        Awaiter(std::coroutine_handle<promise_type> frame, detail::StateAwaiter<T> state,
                bool temporary)
            : frame(frame)
            , state(std::move(state))
            , temporary(temporary) {}
        std::coroutine_handle<promise_type> frame;
        detail::StateAwaiter<T> state;
        bool temporary; // awaiting an rvalue Task: no one awaits this very object again
        bool follower = false;

        [[nodiscard]] bool await_ready() const noexcept { return !frame && state.await_ready(); }
        std::coroutine_handle<> await_suspend(std::coroutine_handle<> waiting) {
            if (!frame) {
                return state.await_suspend(waiting) ? std::noop_coroutine() : waiting;
            }
            detail::TaskContext* const task = detail::currentTask();
            assert(task != nullptr && "co_await outside a task");
            promise_type& promise = frame.promise();
            if (!promise.beginRun(isOnlyReference())) {
                follower = true;
                return promise.addLaterAwait(task, waiting) ? std::noop_coroutine() : waiting;
            }
            promise.task = task;
            promise.continuation = waiting;
            promise.continuationExecutor = task->executor;
            return frame;
        }
        T await_resume() {
            if (!frame) {
                return state.await_resume();
            }
            promise_type& promise = frame.promise();
            if (follower) {
                return promise.share();
            }
            return promise.take(isOnlyReference());
        }

        // With no other copy of an awaited temporary, nobody else can await the frame, now or
        // later.
        [[nodiscard]] bool isOnlyReference() const noexcept {
            return temporary && frame.promise().references.load(std::memory_order_relaxed) == 1;
        }
    };

    Awaiter operator co_await() const& noexcept {
        return Awaiter{handle(), detail::StateAwaiter<T>{state_}, false};
    }
    Awaiter operator co_await() && noexcept {
        return Awaiter{handle(), detail::StateAwaiter<T>{state_}, true};
    }

private:
    friend struct detail::Promise<T>;
    friend void detail::startRoot(Task<void>&& root, detail::TaskContext* task,
                                  const ExecutorPtr& executor);

    explicit Task(std::coroutine_handle<promise_type> frame) noexcept
        : frame_(frame.address()) {
        retain();
    }
    explicit Task(std::shared_ptr<detail::TaskState<T>> state) noexcept
        : state_(std::move(state)) {}
    /// Hands the frame over to itself: it is destroyed when it ends.
    std::coroutine_handle<promise_type> releaseAsRoot() noexcept {
        auto frame = handle();
        frame.promise().root = true;
        frame_ = nullptr;
        return frame;
    }

    template <class F>
    static Task start(F operation, ExecutorPtr executor, TaskPriority priority) {
        return Task(
            detail::startTask<T>(std::move(operation), std::move(executor), priority, false));
    }

    std::coroutine_handle<promise_type> handle() const noexcept {
        return std::coroutine_handle<promise_type>::from_address(frame_);
    }
    void retain() const noexcept {
        if (frame_ != nullptr) {
            handle().promise().references.fetch_add(1, std::memory_order_relaxed);
        }
    }
    void release() noexcept {
        if (frame_ != nullptr &&
            handle().promise().references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            handle().destroy();
        }
        frame_ = nullptr;
    }

    void* frame_ = nullptr;
    std::shared_ptr<detail::TaskState<T>> state_;
};

namespace detail {

template <class T>
Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

template <class T, class F>
Task<void> driveRoot(F operation, std::shared_ptr<TaskState<T>> state) {
    // `operation` lives in this frame, so a lambda's captures outlive the coroutine it starts.
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::invoke(operation);
            state->finish();
        } else {
            state->finish(co_await std::invoke(operation));
        }
    } catch (...) {
        state->fail(std::current_exception());
    }
}

template <class T, class F>
std::shared_ptr<TaskState<T>> startTask(F operation, ExecutorPtr executor, TaskPriority priority,
                                        bool cancelled) {
    auto state = std::make_shared<TaskState<T>>(executor, priority);
    if (cancelled) {
        state->task.cancel();
    }
    startRoot(driveRoot<T>(std::move(operation), state), &state->task, executor);
    return state;
}

Task<void> sleepFor(std::chrono::nanoseconds duration);

/// Moves the current task onto `target`; no suspension if it is already running there.
struct HopAwaiter {
    explicit HopAwaiter(ExecutorPtr target)
        : target(std::move(target)) {}
    ExecutorPtr target;

    [[nodiscard]] bool await_ready() const noexcept {
        const TaskContext* const task = currentTask();
        return task != nullptr && task->executor == target && target->isCurrent();
    }
    void await_suspend(std::coroutine_handle<> waiting) const {
        TaskContext* const task = currentTask();
        assert(task != nullptr && "co_await outside a task");
        task->executor = target;
        resumeOn(target, task, waiting);
    }
    void await_resume() const noexcept {}
};

} // namespace detail

template <class T>
Task<void> Task<T>::sleep(std::chrono::nanoseconds duration) {
    return detail::sleepFor(duration);
}

/// `co_await hopTo(executor)` moves the current task onto `executor`: it and every later
/// resumption of the current coroutine run there.
inline detail::HopAwaiter hopTo(ExecutorPtr executor) {
    return detail::HopAwaiter{std::move(executor)};
}
inline detail::HopAwaiter hopTo(Executor& executor) {
    return detail::HopAwaiter{executor.shared_from_this()};
}

/// Runs `task` to completion and returns its value (or rethrows its error), blocking the calling
/// thread. On the main thread the task starts on the main executor, which is pumped meanwhile
/// so that main-actor work inside it progresses; elsewhere it starts on the global executor.
/// Not for use inside a task (it would block that task's thread).
template <class T>
T blockingWait(Task<T> task) {
    const bool onMain = isMainThread();
    ExecutorPtr executor = onMain ? detail::mainExecutorPtr() : detail::globalExecutorPtr();
    auto state = std::make_shared<detail::TaskState<T>>(executor, TaskPriority::medium);
    auto operation = [task = std::move(task)]() mutable -> Task<T> { return std::move(task); };
    detail::startRoot(detail::driveRoot<T>(std::move(operation), state), &state->task, executor);
    if (onMain) {
        detail::pumpMainUntilDone(*state);
    } else {
        state->waitBlocking();
    }
    return state->get();
}

} // namespace platform

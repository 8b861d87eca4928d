#pragma once

#include "platform/runtime/ScopeExit.hpp"
#include "platform/runtime/Task.hpp"

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

/// How a stream keeps elements that were yielded before anyone asked for them.
struct BufferingPolicy {
    enum class Kind { unbounded, bufferingOldest, bufferingNewest };
    Kind kind = Kind::unbounded;
    std::size_t limit = 0;

    static BufferingPolicy unbounded() { return {Kind::unbounded, 0}; }
    /// Keeps the first `limit` elements; later ones are dropped while the buffer is full.
    static BufferingPolicy bufferingOldest(std::size_t limit) {
        return {Kind::bufferingOldest, limit};
    }
    /// Keeps the last `limit` elements; the oldest is dropped to make room.
    static BufferingPolicy bufferingNewest(std::size_t limit) {
        return {Kind::bufferingNewest, limit};
    }
};

/// Why a stream ended, as told to its onTermination callback.
enum class StreamTermination { finished, cancelled };

/// What a yield did with its element.
template <class T>
class YieldResult {
public:
    enum class Kind { enqueued, dropped, terminated };

    static YieldResult enqueued(std::size_t remaining) {
        return YieldResult(Kind::enqueued, remaining, std::nullopt);
    }
    static YieldResult dropped(T element) {
        return YieldResult(Kind::dropped, 0, std::move(element));
    }
    static YieldResult terminated() { return YieldResult(Kind::terminated, 0, std::nullopt); }

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    [[nodiscard]] bool isEnqueued() const noexcept { return kind_ == Kind::enqueued; }
    [[nodiscard]] bool isDropped() const noexcept { return kind_ == Kind::dropped; }
    [[nodiscard]] bool isTerminated() const noexcept { return kind_ == Kind::terminated; }
    /// Room left in the buffer after an enqueue (max size_t when unbounded).
    [[nodiscard]] std::size_t remaining() const noexcept { return remaining_; }
    /// The element that was dropped.
    [[nodiscard]] const std::optional<T>& droppedElement() const noexcept { return dropped_; }

private:
    YieldResult(Kind kind, std::size_t remaining, std::optional<T> dropped)
        : kind_(kind)
        , remaining_(remaining)
        , dropped_(std::move(dropped)) {}
    Kind kind_;
    std::size_t remaining_;
    std::optional<T> dropped_;
};

namespace detail {

/// The shared state of one stream: buffer, waiting consumers, end state, termination callback.
template <class T>
class StreamCore : public std::enable_shared_from_this<StreamCore<T>> {
public:
    explicit StreamCore(BufferingPolicy policy)
        : policy_(policy) {}

    struct Waiter {
        TaskContext* task = nullptr;
        ExecutorPtr executor;
        std::coroutine_handle<> frame;
        std::optional<T> value;
        bool done = false;      // guarded by the core's mutex
        bool published = false; // guarded by the core's mutex
        bool cancelledEarly = false;
        std::atomic<std::uint64_t> cancelHandler{0};
    };

    YieldResult<T> yield(T element) {
        std::shared_ptr<Waiter> waiter;
        std::optional<YieldResult<T>> result;
        {
            const std::scoped_lock lock(mutex_);
            if (finished_ || terminated_) {
                return YieldResult<T>::terminated();
            }
            if (!waiters_.empty()) {
                waiter = std::move(waiters_.front());
                waiters_.pop_front();
                waiter->value.emplace(std::move(element));
                waiter->done = true;
                result = YieldResult<T>::enqueued(remainingLocked());
            } else {
                result = buffer(std::move(element));
            }
        }
        if (waiter) {
            wake(*waiter);
        }
        return std::move(*result);
    }

    void finish(std::exception_ptr error) {
        std::deque<std::shared_ptr<Waiter>> waiters;
        std::function<void(StreamTermination)> onTermination;
        {
            const std::scoped_lock lock(mutex_);
            if (finished_ || terminated_) {
                return;
            }
            finished_ = true;
            error_ = std::move(error);
            waiters = takeWaitersLocked(); // the buffer is empty whenever someone waits
            onTermination = std::move(onTermination_);
            onTermination_ = nullptr;
        }
        for (auto& waiter : waiters) {
            wake(*waiter);
        }
        if (onTermination) {
            onTermination(StreamTermination::finished);
        }
    }

    /// The consumer went away (cancelled while waiting, or dropped the stream).
    void terminate() {
        std::deque<std::shared_ptr<Waiter>> waiters;
        std::function<void(StreamTermination)> onTermination;
        std::deque<T> dropped;
        {
            const std::scoped_lock lock(mutex_);
            if (terminated_) {
                return;
            }
            terminated_ = true;
            dropped.swap(buffer_);
            waiters = takeWaitersLocked();
            if (!finished_) {
                onTermination = std::move(onTermination_);
            }
            onTermination_ = nullptr;
        }
        for (auto& waiter : waiters) {
            wake(*waiter);
        }
        if (onTermination) {
            onTermination(StreamTermination::cancelled);
        }
    }

    void setOnTermination(std::function<void(StreamTermination)> handler) {
        bool runNow = false;
        {
            const std::scoped_lock lock(mutex_);
            if (finished_ || terminated_) {
                runNow = terminated_ && !finished_;
            } else {
                onTermination_ = std::move(handler);
                return;
            }
        }
        // Already over: a late handler still learns about it (once).
        if (runNow && handler) {
            handler(StreamTermination::cancelled);
        } else if (handler) {
            handler(StreamTermination::finished);
        }
    }

    /// Outcome of a pull that did not have to wait.
    enum class Pull { value, end, wait };

    /// Takes an element or the end, or publishes `waiter`. Called with the waiter's cancellation
    /// handler already registered.
    Pull pull(const std::shared_ptr<Waiter>& waiter) {
        const std::scoped_lock lock(mutex_);
        if (!buffer_.empty()) {
            waiter->value.emplace(std::move(buffer_.front()));
            buffer_.pop_front();
            waiter->done = true;
            return Pull::value;
        }
        if (finished_ || terminated_ || waiter->cancelledEarly) {
            waiter->done = true;
            return Pull::end;
        }
        waiter->published = true;
        waiters_.push_back(waiter);
        return Pull::wait;
    }

    /// The waiting consumer's task was cancelled: end its wait and the stream.
    void cancelWaiter(const std::shared_ptr<Waiter>& waiter) {
        bool wakeIt = false;
        {
            const std::scoped_lock lock(mutex_);
            if (waiter->done) {
                return;
            }
            if (!waiter->published) {
                waiter->cancelledEarly = true;
            } else {
                std::erase(waiters_, waiter);
                waiter->done = true;
                wakeIt = true;
            }
        }
        if (wakeIt) {
            wake(*waiter);
        }
        terminate();
    }

    /// The error to throw once the buffer is drained (then forgotten: later pulls just end).
    std::exception_ptr takeError() {
        const std::scoped_lock lock(mutex_);
        return std::exchange(error_, nullptr);
    }

    [[nodiscard]] bool isOver() const {
        const std::scoped_lock lock(mutex_);
        return (finished_ && buffer_.empty()) || terminated_;
    }

    // -- unfolding streams: one pull at a time --

    std::function<Task<std::optional<T>>()> produce;

    bool acquirePull(TaskContext* task, std::coroutine_handle<> frame) {
        const std::scoped_lock lock(mutex_);
        if (!pulling_) {
            pulling_ = true;
            return false;
        }
        pullQueue_.push_back(PullTicket{task, task->executor, frame});
        return true;
    }

    void releasePull() {
        std::optional<PullTicket> next;
        {
            const std::scoped_lock lock(mutex_);
            if (pullQueue_.empty()) {
                pulling_ = false;
                return;
            }
            next.emplace(std::move(pullQueue_.front()));
            pullQueue_.pop_front();
        }
        resumeOn(next->executor, next->task, next->frame);
    }

private:
    struct PullTicket {
        TaskContext* task;
        ExecutorPtr executor;
        std::coroutine_handle<> frame;
    };

    static void wake(Waiter& waiter) { resumeOn(waiter.executor, waiter.task, waiter.frame); }

    std::deque<std::shared_ptr<Waiter>> takeWaitersLocked() {
        std::deque<std::shared_ptr<Waiter>> waiters;
        waiters.swap(waiters_);
        for (auto& waiter : waiters) {
            waiter->done = true;
        }
        return waiters;
    }

    std::size_t remainingLocked() const {
        if (policy_.kind == BufferingPolicy::Kind::unbounded) {
            return std::numeric_limits<std::size_t>::max();
        }
        return policy_.limit > buffer_.size() ? policy_.limit - buffer_.size() : 0;
    }

    YieldResult<T> buffer(T element) {
        switch (policy_.kind) {
        case BufferingPolicy::Kind::unbounded:
            buffer_.push_back(std::move(element));
            return YieldResult<T>::enqueued(remainingLocked());
        case BufferingPolicy::Kind::bufferingOldest:
            if (buffer_.size() >= policy_.limit) {
                return YieldResult<T>::dropped(std::move(element));
            }
            buffer_.push_back(std::move(element));
            return YieldResult<T>::enqueued(remainingLocked());
        case BufferingPolicy::Kind::bufferingNewest:
            if (policy_.limit == 0) {
                return YieldResult<T>::dropped(std::move(element));
            }
            if (buffer_.size() >= policy_.limit) {
                T oldest = std::move(buffer_.front());
                buffer_.pop_front();
                buffer_.push_back(std::move(element));
                return YieldResult<T>::dropped(std::move(oldest));
            }
            buffer_.push_back(std::move(element));
            return YieldResult<T>::enqueued(remainingLocked());
        }
        return YieldResult<T>::terminated();
    }

    const BufferingPolicy policy_;
    mutable std::mutex mutex_;
    std::deque<T> buffer_;
    std::deque<std::shared_ptr<Waiter>> waiters_;
    bool finished_ = false;
    bool terminated_ = false;
    std::exception_ptr error_;
    std::function<void(StreamTermination)> onTermination_;
    bool pulling_ = false;
    std::deque<PullTicket> pullQueue_;
};

/// Suspends the consumer until an element, the end, or its task's cancellation.
template <class T>
class StreamNextAwaiter {
public:
    explicit StreamNextAwaiter(std::shared_ptr<StreamCore<T>> core)
        : core_(std::move(core)) {}

    [[nodiscard]] bool await_ready() const noexcept { return false; }

    bool await_suspend(std::coroutine_handle<> frame) {
        TaskContext* const task = currentTask();
        assert(task != nullptr && "co_await outside a task");
        waiter_ = std::make_shared<typename StreamCore<T>::Waiter>();
        waiter_->task = task;
        waiter_->executor = task->executor;
        waiter_->frame = frame;
        // The handler goes in first so that a cancellation racing with the pull is never lost.
        auto core = core_;
        auto waiter = waiter_;
        waiter_->cancelHandler.store(
            task->addCancellationHandler([core, waiter] { core->cancelWaiter(waiter); }),
            std::memory_order_release);
        // After pull() publishes the waiter the task may resume on another thread: use locals.
        const auto outcome = core->pull(waiter);
        if (outcome != StreamCore<T>::Pull::wait) {
            task->removeCancellationHandler(waiter->cancelHandler.load(std::memory_order_acquire));
            return false;
        }
        return true;
    }

    std::optional<T> await_resume() {
        if (waiter_->published) {
            waiter_->task->removeCancellationHandler(
                waiter_->cancelHandler.load(std::memory_order_acquire));
        }
        return std::move(waiter_->value);
    }

private:
    std::shared_ptr<StreamCore<T>> core_;
    std::shared_ptr<typename StreamCore<T>::Waiter> waiter_;
};

/// Ends the stream as "cancelled" when the last consumer handle goes away.
template <class T>
struct ConsumerToken {
    explicit ConsumerToken(std::shared_ptr<StreamCore<T>> core)
        : core(std::move(core)) {}
    ConsumerToken(const ConsumerToken&) = delete;
    ConsumerToken& operator=(const ConsumerToken&) = delete;
    ~ConsumerToken() { core->terminate(); }
    std::shared_ptr<StreamCore<T>> core;
};

/// Finishes the stream when the last producer handle goes away, so no consumer waits forever.
template <class T>
struct ProducerToken {
    explicit ProducerToken(std::shared_ptr<StreamCore<T>> core)
        : core(std::move(core)) {}
    ProducerToken(const ProducerToken&) = delete;
    ProducerToken& operator=(const ProducerToken&) = delete;
    ~ProducerToken() { core->finish(nullptr); }
    std::shared_ptr<StreamCore<T>> core;
};

template <class T>
Task<std::optional<T>> nextBuffered(std::shared_ptr<StreamCore<T>> core, bool throwing) {
    StreamNextAwaiter<T> awaiter(core);
    std::optional<T> element = co_await awaiter;
    if (!element && throwing) {
        if (auto error = core->takeError()) {
            std::rethrow_exception(error);
        }
    }
    co_return element;
}

/// Pulls one element from an unfolding stream; concurrent pulls wait their turn, so the
/// producing function never runs twice at once.
template <class T>
Task<std::optional<T>> nextUnfolding(std::shared_ptr<StreamCore<T>> core, bool throwing) {
    struct Acquire {
        explicit Acquire(StreamCore<T>* core)
            : core(core) {}
        StreamCore<T>* core;
        [[nodiscard]] bool await_ready() const noexcept { return false; }
        bool await_suspend(std::coroutine_handle<> frame) const {
            return core->acquirePull(currentTask(), frame);
        }
        void await_resume() const noexcept {}
    };
    Acquire acquire(core.get());
    co_await acquire;
    const ScopeExit release([pulled = core.get()] { pulled->releasePull(); });
    if (core->isOver()) {
        if (throwing) {
            if (auto error = core->takeError()) {
                std::rethrow_exception(error);
            }
        }
        co_return std::nullopt;
    }
    if (Task<>::isCancelled()) {
        core->terminate();
        co_return std::nullopt;
    }
    std::optional<T> element;
    std::exception_ptr error;
    try {
        element = co_await core->produce();
    } catch (...) {
        error = std::current_exception();
    }
    if (error) {
        core->finish(throwing ? error : nullptr);
        if (throwing) {
            core->takeError();
            std::rethrow_exception(error);
        }
        co_return std::nullopt;
    }
    if (!element) {
        core->finish(nullptr);
    }
    co_return element;
}

template <class T, bool Throwing>
class BasicStream {
public:
    using Element = T;

    /// The producer side: yield elements, finish, observe termination. Copies share the stream;
    /// when the last copy goes away the stream finishes.
    class Continuation {
    public:
        using Termination = StreamTermination;

        YieldResult<T> yield(T element) const { return token_->core->yield(std::move(element)); }
        void finish() const { token_->core->finish(nullptr); }
        /// Ends the stream with `error`, thrown to the consumer after the buffered elements.
        void finish(std::exception_ptr error) const requires Throwing {
            token_->core->finish(std::move(error));
        }
        /// Called once, when the stream finishes or its consumer cancels / goes away.
        void onTermination(std::function<void(Termination)> handler) const {
            token_->core->setOnTermination(std::move(handler));
        }

    private:
        friend class BasicStream;
        explicit Continuation(std::shared_ptr<StreamCore<T>> core)
            : token_(std::make_shared<ProducerToken<T>>(std::move(core))) {}
        std::shared_ptr<ProducerToken<T>> token_;
    };

protected:
    explicit BasicStream(std::shared_ptr<StreamCore<T>> core)
        : core_(core)
        , consumer_(std::make_shared<ConsumerToken<T>>(std::move(core))) {}

    static std::pair<std::shared_ptr<StreamCore<T>>, Continuation>
    makeCore(BufferingPolicy policy) {
        auto core = std::make_shared<StreamCore<T>>(policy);
        return {core, Continuation(core)};
    }

    static std::shared_ptr<StreamCore<T>>
    makeUnfolding(std::function<Task<std::optional<T>>()> produce) {
        auto core = std::make_shared<StreamCore<T>>(BufferingPolicy::unbounded());
        core->produce = std::move(produce);
        return core;
    }

public:
    /// `co_await stream.next()`: the next element; nullopt at the end, or when the consuming task
    /// is cancelled (which ends the stream).
    Task<std::optional<T>> next() const {
        if (core_->produce) {
            return nextUnfolding<T>(core_, Throwing);
        }
        return nextBuffered<T>(core_, Throwing);
    }

    /// The iterator form: `auto it = stream.makeAsyncIterator(); while (auto v = co_await
    /// it.next())`.
    class Iterator {
    public:
        explicit Iterator(BasicStream stream)
            : stream_(std::move(stream)) {}
        Task<std::optional<T>> next() { return stream_.next(); }

    private:
        BasicStream stream_;
    };
    Iterator makeAsyncIterator() const { return Iterator(*this); }

private:
    std::shared_ptr<StreamCore<T>> core_;
    std::shared_ptr<ConsumerToken<T>> consumer_;
};

} // namespace detail

/// An asynchronous sequence fed by a producer through a Continuation, or by an unfolding function.
/// Meant for one consuming task at a time; copies share the stream.
template <class T>
class AsyncStream : public detail::BasicStream<T, false> {
    using Base = detail::BasicStream<T, false>;

public:
    using Continuation = typename Base::Continuation;

    struct Pair {
        AsyncStream stream;
        Continuation continuation;
    };

    static Pair makeStream(BufferingPolicy policy = BufferingPolicy::unbounded()) {
        auto [core, continuation] = Base::makeCore(policy);
        return Pair{AsyncStream(std::move(core)), std::move(continuation)};
    }

    /// Hands the continuation to `build` at once; keep a copy of it to go on yielding.
    explicit AsyncStream(const std::function<void(Continuation&)>& build,
                         BufferingPolicy policy = BufferingPolicy::unbounded())
        : AsyncStream(makeStream(policy), build) {}

    /// An unfolding stream: each pull awaits `produce()`; nullopt ends the stream.
    explicit AsyncStream(std::function<Task<std::optional<T>>()> produce)
        : Base(Base::makeUnfolding(std::move(produce))) {}

private:
    explicit AsyncStream(std::shared_ptr<detail::StreamCore<T>> core)
        : Base(std::move(core)) {}
    AsyncStream(Pair made, const std::function<void(Continuation&)>& build)
        : Base(std::move(made.stream)) {
        build(made.continuation);
    }
};

/// The same, but a stream that can end with an error: `finish(error)` on the producer side,
/// rethrown by next() once the buffered elements are consumed.
template <class T>
class AsyncThrowingStream : public detail::BasicStream<T, true> {
    using Base = detail::BasicStream<T, true>;

public:
    using Continuation = typename Base::Continuation;

    struct Pair {
        AsyncThrowingStream stream;
        Continuation continuation;
    };

    static Pair makeStream(BufferingPolicy policy = BufferingPolicy::unbounded()) {
        auto [core, continuation] = Base::makeCore(policy);
        return Pair{AsyncThrowingStream(std::move(core)), std::move(continuation)};
    }

    explicit AsyncThrowingStream(const std::function<void(Continuation&)>& build,
                                 BufferingPolicy policy = BufferingPolicy::unbounded())
        : AsyncThrowingStream(makeStream(policy), build) {}

    /// Each pull awaits `produce()`: nullopt ends the stream, an exception ends it with that error.
    explicit AsyncThrowingStream(std::function<Task<std::optional<T>>()> produce)
        : Base(Base::makeUnfolding(std::move(produce))) {}

private:
    explicit AsyncThrowingStream(std::shared_ptr<detail::StreamCore<T>> core)
        : Base(std::move(core)) {}
    AsyncThrowingStream(Pair made, const std::function<void(Continuation&)>& build)
        : Base(std::move(made.stream)) {
        build(made.continuation);
    }
};

} // namespace platform

#include "platform/runtime/Task.hpp"

#include "platform/runtime/NoDestroy.hpp"

#include <map>
#include <thread>
#include <unordered_map>

namespace platform::detail {

namespace {
std::atomic<long> liveFrames{0};
}

long liveFrameCount() noexcept {
#ifndef NDEBUG
    return liveFrames.load(std::memory_order_acquire);
#else
    return -1;
#endif
}

void countFrame(int delta) noexcept {
    liveFrames.fetch_add(delta, std::memory_order_acq_rel);
}

void startRoot(Task<void>&& root, TaskContext* task, const ExecutorPtr& executor) {
    const auto frame = root.releaseAsRoot();
    frame.promise().task = task;
    resumeOn(executor, task, frame);
}

void pumpMainUntilDone(TaskStateBase& state) {
    // A task that ends on another thread must wake the main loop out of its wait.
    state.addWaiter([] { MainExecutor::shared().enqueue([] {}); });
    MainExecutor::shared().runUntil([&state] { return state.isDone(); },
                                    std::chrono::hours(24 * 365));
}

namespace {

using Clock = std::chrono::steady_clock;

/// One thread that fires the timers of sleeping tasks. Its jobs only enqueue resumptions, so a
/// single thread is plenty.
class TimerThread {
public:
    static TimerThread& shared() {
        static NoDestroy<TimerThread> instance;
        return instance.get();
    }

    std::uint64_t schedule(std::chrono::nanoseconds delay, Job job) {
        const auto deadline = Clock::now() + delay;
        std::uint64_t id = 0;
        {
            const std::scoped_lock lock(mutex_);
            if (!started_) {
                started_ = true;
                thread_ = std::thread([this] { run(); });
            }
            id = ++lastId_;
            timers_.emplace(Key{deadline, id}, std::move(job));
            deadlines_.emplace(id, deadline);
        }
        changed_.notify_one();
        return id;
    }

    void cancel(std::uint64_t id) {
        Job dropped;
        const std::scoped_lock lock(mutex_);
        const auto found = deadlines_.find(id);
        if (found == deadlines_.end()) {
            return;
        }
        const auto timer = timers_.find(Key{found->second, id});
        dropped = std::move(timer->second);
        timers_.erase(timer);
        deadlines_.erase(found);
    }

private:
    struct Key {
        Clock::time_point deadline;
        std::uint64_t id;
        bool operator<(const Key& other) const {
            return deadline != other.deadline ? deadline < other.deadline : id < other.id;
        }
    };

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (timers_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const auto next = timers_.begin()->first.deadline;
            if (Clock::now() < next) {
                changed_.wait_until(lock, next);
                continue;
            }
            auto node = timers_.extract(timers_.begin());
            deadlines_.erase(node.key().id);
            lock.unlock();
            node.mapped()();
            node = {};
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<Key, Job> timers_;
    std::unordered_map<std::uint64_t, Clock::time_point> deadlines_;
    std::uint64_t lastId_ = 0;
    bool started_ = false;
    std::thread thread_;
};

/// Shared between a sleeping task, its timer and its cancellation handler: whichever of the
/// two fires first resumes the task.
struct Sleeper {
    enum : int { waiting = 0, timedOut = 1, cancelled = 2 };
    std::atomic<int> outcome{waiting};
    std::atomic<std::uint64_t> timer{0};
    std::atomic<std::uint64_t> handler{0};
    TaskContext* task = nullptr;
    ExecutorPtr executor;
    std::coroutine_handle<> frame;

    void fire(int how) {
        int expected = waiting;
        if (outcome.compare_exchange_strong(expected, how, std::memory_order_acq_rel)) {
            resumeOn(executor, task, frame);
        }
    }
};

struct SleepAwaiter {
    explicit SleepAwaiter(std::chrono::nanoseconds duration)
        : duration(duration) {}
    std::chrono::nanoseconds duration;
    std::shared_ptr<Sleeper> sleeper;

    [[nodiscard]] bool await_ready() const noexcept { return Task<>::isCancelled(); }
    void await_suspend(std::coroutine_handle<> frame) {
        TaskContext* const task = currentTask();
        // This awaiter lives in the frame, which may be gone as soon as the handler is in
        // place: read what is needed of it first.
        const auto delay = duration;
        auto shared = std::make_shared<Sleeper>();
        shared->task = task;
        shared->executor = task->executor;
        shared->frame = frame;
        sleeper = shared;
        // Once the handler is in place the task may resume at any moment on another thread:
        // from here on only `shared` is touched, through its atomics.
        shared->handler.store(
            task->addCancellationHandler([shared] { shared->fire(Sleeper::cancelled); }),
            std::memory_order_release);
        const auto timer =
            TimerThread::shared().schedule(delay, [shared] { shared->fire(Sleeper::timedOut); });
        shared->timer.store(timer, std::memory_order_release);
        // Cancelled meanwhile: the resumed task may have looked for the timer before it existed.
        if (shared->outcome.load(std::memory_order_acquire) != Sleeper::waiting) {
            TimerThread::shared().cancel(timer);
        }
    }
    void await_resume() {
        if (!sleeper) {
            throw CancellationError(); // cancelled before it started
        }
        // A cancellation may have resumed us before the id was stored; 0 is then harmless.
        currentTask()->removeCancellationHandler(sleeper->handler.load(std::memory_order_acquire));
        if (const auto timer = sleeper->timer.load(std::memory_order_acquire); timer != 0) {
            TimerThread::shared().cancel(timer);
        }
        if (sleeper->outcome.load(std::memory_order_acquire) == Sleeper::cancelled) {
            throw CancellationError();
        }
    }
};

} // namespace

std::uint64_t scheduleTimer(std::chrono::nanoseconds delay, Job job) {
    return TimerThread::shared().schedule(delay, std::move(job));
}

void cancelTimer(std::uint64_t id) {
    TimerThread::shared().cancel(id);
}

Task<void> sleepFor(std::chrono::nanoseconds duration) {
    SleepAwaiter awaiter(duration);
    co_await awaiter;
}

} // namespace platform::detail

#include "platform/runtime/Continuation.hpp"

#include <cstdio>
#include <cstdlib>

namespace platform::detail {

void reportContinuationMisuse(const char* what) noexcept {
    std::fputs("platform runtime: ", stderr);
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
#ifndef NDEBUG
    std::abort();
#endif
}

void reportContinuationLeak() noexcept {
    std::fputs("platform runtime: a checked continuation was dropped without being resumed; the "
               "task awaiting it will never continue\n",
               stderr);
}

} // namespace platform::detail

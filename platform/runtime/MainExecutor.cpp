#include "platform/runtime/MainExecutor.hpp"

#include "platform/runtime/NoDestroy.hpp"

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <glib.h>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace platform {

bool isMainThread() noexcept {
    return ::gettid() == ::getpid();
}

using Clock = std::chrono::steady_clock;

class MainExecutor::Impl {
public:
    Impl()
        : executor_(*this)
        , owner_(&executor_, [](MainExecutor*) {}) {}

    MainExecutor& executor() noexcept { return executor_; }

    void push(Job&& job) {
        {
            const std::scoped_lock lock(mutex_);
            ready_.push_back(std::move(job));
        }
        wake();
    }

    std::uint64_t addTimer(Clock::duration delay, Job&& job) {
        const auto deadline = Clock::now() + delay;
        std::uint64_t id = 0;
        {
            const std::scoped_lock lock(mutex_);
            id = ++lastTimerId_;
            timers_.emplace(TimerKey{deadline, id}, std::move(job));
            deadlines_.emplace(id, deadline);
        }
        wake();
        return id;
    }

    void cancelTimer(std::uint64_t id) {
        Job dropped; // destroyed outside the lock: its captures may enqueue work
        const std::scoped_lock lock(mutex_);
        const auto found = deadlines_.find(id);
        if (found == deadlines_.end()) {
            return;
        }
        const auto timer = timers_.find(TimerKey{found->second, id});
        dropped = std::move(timer->second);
        timers_.erase(timer);
        deadlines_.erase(found);
    }

    /// Moves due timers into the ready queue, then runs the jobs that were ready at that moment.
    /// Returns the number of jobs run.
    std::size_t runOnce() {
        assert(isMainThread() && "the main executor runs on the main thread only");
        std::deque<Job> batch;
        {
            const std::scoped_lock lock(mutex_);
            const auto now = Clock::now();
            while (!timers_.empty() && timers_.begin()->first.deadline <= now) {
                auto node = timers_.extract(timers_.begin());
                deadlines_.erase(node.key().id);
                ready_.push_back(std::move(node.mapped()));
            }
            batch.swap(ready_);
            wakePending_ = false;
        }
        const Executor::RunningScope running(&executor_);
        const std::size_t count = batch.size();
        while (!batch.empty()) {
            Job job = std::move(batch.front());
            batch.pop_front();
            job();
        }
        return count;
    }

    /// Waits until a job is ready, the next timer is due or `limit` passes.
    void waitForWork(Clock::time_point limit) {
        std::unique_lock lock(mutex_);
        if (!timers_.empty()) {
            limit = std::min(limit, timers_.begin()->first.deadline);
        }
        wakeup_.wait_until(lock, limit, [this] { return !ready_.empty() || wakePending_; });
        wakePending_ = false;
    }

    bool hasReadyWork() {
        const std::scoped_lock lock(mutex_);
        return !ready_.empty() ||
               (!timers_.empty() && timers_.begin()->first.deadline <= Clock::now());
    }

    /// Milliseconds until the next timer, -1 for none.
    int msUntilNextTimer() {
        const std::scoped_lock lock(mutex_);
        if (timers_.empty()) {
            return -1;
        }
        const auto left = timers_.begin()->first.deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        // Round up so that a dispatch after the wait finds the timer due.
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }

    std::size_t pendingCount() {
        const std::scoped_lock lock(mutex_);
        return ready_.size() + timers_.size();
    }

    void attach(GMainContext* context);
    GMainContext* attachedContext() const noexcept {
        return context_.load(std::memory_order_acquire);
    }

private:
    struct TimerKey {
        Clock::time_point deadline;
        std::uint64_t id;
        bool operator<(const TimerKey& other) const {
            return deadline != other.deadline ? deadline < other.deadline : id < other.id;
        }
    };

    struct Source {
        GSource base;
        Impl* impl;
        gpointer wakeTag;
    };

    static gboolean prepare(GSource* source, gint* timeout) {
        Impl* const impl = reinterpret_cast<Source*>(source)->impl;
        if (impl->hasReadyWork()) {
            *timeout = 0;
            return TRUE;
        }
        *timeout = impl->msUntilNextTimer();
        return FALSE;
    }
    static gboolean check(GSource* source) {
        Source* const self = reinterpret_cast<Source*>(source);
        if ((g_source_query_unix_fd(source, self->wakeTag) & G_IO_IN) != 0) {
            self->impl->drainWakeFd();
        }
        return self->impl->hasReadyWork();
    }
    static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
        reinterpret_cast<Source*>(source)->impl->runOnce();
        return G_SOURCE_CONTINUE;
    }

    void drainWakeFd() const {
        std::uint64_t count = 0;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }

    void wake() {
        {
            const std::scoped_lock lock(mutex_);
            wakePending_ = true;
        }
        wakeup_.notify_one();
        // An eventfd rather than g_main_context_wakeup: other threads then never touch GLib's
        // own state, which keeps ThreadSanitizer (blind to GLib's internal locking) meaningful.
        if (attachedContext() != nullptr) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        }
    }

    static GSourceFuncs sourceFuncs;

    MainExecutor executor_;
    std::shared_ptr<MainExecutor> owner_; // non-owning; enables shared_from_this
    std::mutex mutex_;
    std::condition_variable wakeup_;
    std::deque<Job> ready_;
    std::map<TimerKey, Job> timers_;
    std::unordered_map<std::uint64_t, Clock::time_point> deadlines_;
    std::uint64_t lastTimerId_ = 0;
    bool wakePending_ = false;
    std::atomic<GMainContext*> context_{nullptr};
    GSource* source_ = nullptr;
    const int wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); // lives as long as the process
};

GSourceFuncs MainExecutor::Impl::sourceFuncs = {&MainExecutor::Impl::prepare,
                                                &MainExecutor::Impl::check,
                                                &MainExecutor::Impl::dispatch,
                                                nullptr,
                                                nullptr,
                                                nullptr};

void MainExecutor::Impl::attach(GMainContext* context) {
    assert(isMainThread());
    if (source_ != nullptr) {
        g_source_destroy(source_);
        g_source_unref(source_);
        source_ = nullptr;
    }
    context_.store(context, std::memory_order_release);
    if (context != nullptr) {
        source_ = g_source_new(&sourceFuncs, sizeof(Source));
        reinterpret_cast<Source*>(source_)->impl = this;
        reinterpret_cast<Source*>(source_)->wakeTag =
            g_source_add_unix_fd(source_, wakeFd_, G_IO_IN);
        g_source_set_name(source_, "platform main executor");
        // blockingWait inside a main job iterates the context again: our jobs must still run.
        g_source_set_can_recurse(source_, TRUE);
        g_source_attach(source_, context);
    }
}

namespace {
MainExecutor::Impl& mainImpl() {
    static detail::NoDestroy<MainExecutor::Impl> impl;
    return impl.get();
}
} // namespace

void TimerToken::cancel() const {
    if (id_ != 0) {
        MainExecutor::shared().cancelTimer(id_);
    }
}

MainExecutor& MainExecutor::shared() {
    return mainImpl().executor();
}

void MainExecutor::enqueue(Job job) {
    impl_.push(std::move(job));
}

TimerToken MainExecutor::enqueueAfter(std::chrono::nanoseconds delay, Job job) {
    return TimerToken(
        impl_.addTimer(std::max(delay, std::chrono::nanoseconds::zero()), std::move(job)));
}

void MainExecutor::cancelTimer(std::uint64_t id) {
    impl_.cancelTimer(id);
}

void MainExecutor::attachToGlibMainContext(void* context) {
    impl_.attach(static_cast<GMainContext*>(context));
}

bool MainExecutor::runUntil(const std::function<bool()>& predicate,
                            std::chrono::milliseconds timeout) {
    const auto limit = Clock::now() + timeout;
    for (;;) {
        if (predicate()) {
            return true;
        }
        if (Clock::now() >= limit) {
            return false;
        }
        if (GMainContext* const context = impl_.attachedContext()) {
            // Other sources of the loop (windows, sockets) must make progress too.
            if (g_main_context_iteration(context, FALSE) == FALSE) {
                impl_.waitForWork(std::min(limit, Clock::now() + std::chrono::milliseconds(1)));
            }
            continue;
        }
        if (impl_.runOnce() == 0) {
            // Wake up now and then: the predicate may depend on other threads' progress.
            impl_.waitForWork(std::min(limit, Clock::now() + std::chrono::milliseconds(2)));
        }
    }
}

void MainExecutor::runFor(std::chrono::nanoseconds duration) {
    const auto limit = Clock::now() + duration;
    runUntil([limit] { return Clock::now() >= limit; },
             std::chrono::ceil<std::chrono::milliseconds>(duration) + std::chrono::milliseconds(1));
}

std::size_t MainExecutor::drain() {
    std::size_t total = 0;
    for (;;) {
        const std::size_t ran = impl_.runOnce();
        if (ran == 0) {
            return total;
        }
        total += ran;
    }
}

std::size_t MainExecutor::pendingCount() const {
    return impl_.pendingCount();
}

} // namespace platform

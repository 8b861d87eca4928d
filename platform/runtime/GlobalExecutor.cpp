#include "platform/runtime/GlobalExecutor.hpp"

#include "platform/runtime/NoDestroy.hpp"
#include "platform/runtime/TaskContext.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {
constinit std::atomic<GlobalEnqueueHook> hookSlot{nullptr};
thread_local bool tlsIsWorker = false;
} // namespace

std::atomic<GlobalEnqueueHook>& globalEnqueueHook() noexcept {
    return hookSlot;
}

class GlobalExecutor::Pool {
public:
    Pool()
        : threadCount_(std::clamp(std::thread::hardware_concurrency(), 2u, 16u))
        , executor_(&global_, [](GlobalExecutor*) {}) {}

    static Pool& instance() {
        static detail::NoDestroy<Pool> pool;
        return pool.get();
    }

    GlobalExecutor& executor() noexcept { return global_; }
    [[nodiscard]] unsigned threadCount() const noexcept { return threadCount_; }

    void push(Job&& job) {
        bool wake = false;
        {
            const std::scoped_lock lock(mutex_);
            queue_.push(std::move(job), detail::enqueuePriority());
            queued_.store(queue_.size(), std::memory_order_release);
            wake = balanceLocked();
        }
        if (wake) {
            ready_.notify_one();
        }
    }

private:
    // How long an idle worker polls for new work before it sleeps. Task ping-pong (spawn, then
    // await; hop and hop back) hands work between threads within microseconds, and a futex
    // sleep/wake pair costs far more than that.
    static constexpr auto spinTime = std::chrono::microseconds(50);

    static void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }

    bool spinForWork() {
        spinning_.fetch_add(1, std::memory_order_acq_rel);
        const auto until = std::chrono::steady_clock::now() + spinTime;
        bool found = false;
        for (unsigned i = 1; !found; ++i) {
            if (queued_.load(std::memory_order_acquire) > 0) {
                found = true;
            } else if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) {
                break;
            } else {
                relax();
            }
        }
        spinning_.fetch_sub(1, std::memory_order_acq_rel);
        return found;
    }

    /// Sees that the queued jobs have takers: idle workers (spinning ones pick work up by
    /// themselves, sleeping ones need a wake-up) and, beyond those, new threads up to the limit.
    /// Returns whether a sleeper should be woken.
    bool balanceLocked() {
        const std::size_t spinning = spinning_.load(std::memory_order_acquire);
        const std::size_t queued = queue_.size();
        if (queued > spinning + sleeping_ && threads_.size() < threadCount_) {
            threads_.emplace_back([this] { work(); });
        }
        return sleeping_ > 0 && queued > spinning;
    }

    void work() {
        tlsIsWorker = true;
        GlobalExecutor* const self = &global_;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (queue_.empty()) {
                lock.unlock();
                spinForWork();
                lock.lock();
                if (queue_.empty()) {
                    ++sleeping_;
                    ready_.wait(lock, [this] { return !queue_.empty(); });
                    --sleeping_;
                }
            }
            Job job = queue_.pop();
            queued_.store(queue_.size(), std::memory_order_release);
            const bool wake = !queue_.empty() && balanceLocked();
            lock.unlock();
            if (wake) {
                ready_.notify_one(); // pass the rest of a burst on
            }
            {
                const Executor::RunningScope running(self);
                job();
                job = nullptr; // destroy captured state while still marked as running here
            }
            lock.lock();
        }
    }

    const unsigned threadCount_;
    GlobalExecutor global_;
    std::shared_ptr<GlobalExecutor> executor_; // non-owning; enables shared_from_this
    std::mutex mutex_;
    std::condition_variable ready_;
    /// FIFO per priority band; the highest non-empty band goes first.
    class PriorityQueue {
    public:
        void push(Job&& job, TaskPriority priority) {
            bands_[band(priority)].push_back(std::move(job));
            ++size_;
        }
        Job pop() {
            for (auto& jobs : bands_) {
                if (!jobs.empty()) {
                    Job job = std::move(jobs.front());
                    jobs.pop_front();
                    --size_;
                    return job;
                }
            }
            return nullptr;
        }
        [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
        [[nodiscard]] std::size_t size() const noexcept { return size_; }

    private:
        static std::size_t band(TaskPriority priority) noexcept {
            const auto value = static_cast<std::uint8_t>(priority);
            if (value >= static_cast<std::uint8_t>(TaskPriority::userInitiated)) {
                return 0;
            }
            return value >= static_cast<std::uint8_t>(TaskPriority::medium) ? 1 : 2;
        }
        std::array<std::deque<Job>, 3> bands_;
        std::size_t size_ = 0;
    };
    PriorityQueue queue_;
    std::vector<std::thread> threads_;
    std::size_t sleeping_ = 0;
    std::atomic<std::size_t> queued_{0};
    std::atomic<std::size_t> spinning_{0};
};

void enqueueOnGlobalOriginal(Job&& job) {
    GlobalExecutor::Pool::instance().push(std::move(job));
}

GlobalExecutor& GlobalExecutor::shared() {
    return Pool::instance().executor();
}

void GlobalExecutor::enqueue(Job job) {
    const GlobalEnqueueHook hook = hookSlot.load(std::memory_order_acquire);
    if (hook != nullptr) {
        hook(std::move(job), &enqueueOnGlobalOriginal);
    } else {
        enqueueOnGlobalOriginal(std::move(job));
    }
}

bool GlobalExecutor::isWorkerThread() noexcept {
    return tlsIsWorker;
}

unsigned GlobalExecutor::threadCount() const noexcept {
    return Pool::instance().threadCount();
}

} // namespace platform

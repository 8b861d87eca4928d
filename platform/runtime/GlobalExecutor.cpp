#include "platform/runtime/GlobalExecutor.hpp"

#include "platform/runtime/NoDestroy.hpp"

#include <algorithm>
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
        {
            const std::scoped_lock lock(mutex_);
            queue_.push_back(std::move(job));
            if (threads_.size() < threadCount_ && idle_ == 0) {
                threads_.emplace_back([this] { work(); });
            }
        }
        ready_.notify_one();
    }

private:
    void work() {
        tlsIsWorker = true;
        GlobalExecutor* const self = &global_;
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            ready_.wait(lock, [this] { return !queue_.empty(); });
            --idle_;
            Job job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
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
    std::deque<Job> queue_;
    std::vector<std::thread> threads_;
    unsigned idle_ = 0;
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

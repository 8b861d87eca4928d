#include "platform/runtime/SerialExecutor.hpp"

#include "platform/runtime/GlobalExecutor.hpp"

namespace platform {

namespace {
// Jobs run per drain before the executor gives its thread back, so that one busy actor cannot
// starve the rest of the pool.
constexpr int drainBudget = 64;
} // namespace

std::shared_ptr<SerialExecutor> SerialExecutor::make() {
    return std::make_shared<SerialExecutor>(Token{});
}

void SerialExecutor::enqueue(Job job) {
    bool schedule = false;
    {
        const std::scoped_lock lock(mutex_);
        queue_.push_back(std::move(job));
        schedule = !scheduled_;
        scheduled_ = true;
    }
    if (schedule) {
        auto self = std::static_pointer_cast<SerialExecutor>(shared_from_this());
        GlobalExecutor::shared().enqueue([self = std::move(self)] { self->drain(); });
    }
}

void SerialExecutor::drain() {
    const RunningScope running(this);
    for (int i = 0; i < drainBudget; ++i) {
        Job job;
        {
            const std::scoped_lock lock(mutex_);
            if (queue_.empty()) {
                scheduled_ = false;
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
    // Budget spent with work left: stay scheduled and continue in a fresh global job.
    auto self = std::static_pointer_cast<SerialExecutor>(shared_from_this());
    GlobalExecutor::shared().enqueue([self = std::move(self)] { self->drain(); });
}

} // namespace platform

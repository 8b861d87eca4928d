#pragma once

#include "platform/runtime/Executor.hpp"

#include <deque>
#include <memory>
#include <mutex>

namespace platform {

/// Runs its jobs one at a time, in the order they were enqueued, on the global executor's
/// threads. Each actor owns one. Draining goes through GlobalExecutor::enqueue, so the global
/// hook also sees actor work (routing everything to the main thread keeps actors serial too).
class SerialExecutor final : public Executor {
public:
    static std::shared_ptr<SerialExecutor> make();

    void enqueue(Job job) override;

private:
    struct Token {};

public:
    explicit SerialExecutor(Token) {}

private:
    void drain();

    std::mutex mutex_;
    std::deque<Job> queue_;
    bool scheduled_ = false;
};

} // namespace platform

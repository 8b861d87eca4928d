#pragma once

#include "platform/runtime/UniqueFunction.hpp"

#include <memory>

namespace platform {

/// One unit of work handed to an executor. Move-only: jobs usually own a coroutine to resume.
using Job = UniqueFunction<void()>;

/// Where jobs run. Tasks remember the executor they are on and every resumption of a task goes
/// back to it, so an executor is also the "isolation" of the code it runs.
///
/// Executors are always owned by a std::shared_ptr (the process-wide ones by a non-owning one),
/// so a task can keep the executor it must return to alive.
class Executor : public std::enable_shared_from_this<Executor> {
public:
    Executor() = default;
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;
    virtual ~Executor() = default;

    /// Schedules the job; never runs it inline. Safe from any thread.
    virtual void enqueue(Job job) = 0;

    /// True while the calling thread is running a job of this executor.
    [[nodiscard]] bool isCurrent() const noexcept;

    /// The executor whose job the calling thread is running, or null.
    [[nodiscard]] static Executor* current() noexcept;

protected:
    /// Marks the calling thread as running this executor's jobs for the scope's lifetime.
    class RunningScope {
    public:
        explicit RunningScope(Executor* executor) noexcept;
        RunningScope(const RunningScope&) = delete;
        RunningScope& operator=(const RunningScope&) = delete;
        ~RunningScope();

    private:
        Executor* previous_;
    };
};

using ExecutorPtr = std::shared_ptr<Executor>;

} // namespace platform

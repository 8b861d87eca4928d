#pragma once

#include "platform/runtime/Executor.hpp"

#include <atomic>

namespace platform {

/// The process-wide enqueue hook of the global executor. When set, every job headed for the
/// global executor is handed to it together with the executor's own enqueue function, which the
/// hook may call or not (routing all global work onto the main executor, for instance).
using GlobalEnqueueHook = void (*)(Job&&, void (*original)(Job&&));

/// The hook slot. Null means no hook. Read and written atomically, so installing a hook while
/// other threads enqueue is safe.
std::atomic<GlobalEnqueueHook>& globalEnqueueHook() noexcept;

/// The global executor's own enqueue, bypassing the hook.
void enqueueOnGlobalOriginal(Job&& job);

/// The concurrent executor: a fixed pool of worker threads sharing one queue, FIFO within each
/// priority band (user-initiated and above, medium, utility and below), higher bands first. Tasks
/// that are not isolated to an actor run here, as do the serial executors' drain jobs.
class GlobalExecutor final : public Executor {
public:
    static GlobalExecutor& shared();

    /// Passes through the hook slot.
    void enqueue(Job job) override;

    /// True on one of the pool's worker threads.
    [[nodiscard]] static bool isWorkerThread() noexcept;

    [[nodiscard]] unsigned threadCount() const noexcept;

    class Pool;

private:
    GlobalExecutor() = default;
    friend class Pool;
};

} // namespace platform

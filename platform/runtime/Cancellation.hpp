#pragma once

#include "platform/runtime/ScopeExit.hpp"
#include "platform/runtime/Task.hpp"

#include <memory>
#include <type_traits>

namespace platform {

/// Runs `operation()` (returning a Task) as part of the current task; `onCancel()` runs at once
/// if the task is already cancelled, else when it gets cancelled while the operation runs
/// (then on the cancelling thread, concurrently with the operation). When this returns,
/// `onCancel` is guaranteed not to be running any more.
template <class Operation, class OnCancel>
auto withTaskCancellationHandler(Operation operation, OnCancel onCancel)
    -> std::invoke_result_t<Operation&> {
    using Result = typename std::invoke_result_t<Operation&>::value_type;
    detail::TaskContext* const task = detail::currentTask();
    assert(task != nullptr && "withTaskCancellationHandler outside a task");
    auto handler = std::make_shared<OnCancel>(std::move(onCancel));
    const std::uint64_t id = task->addCancellationHandler([handler] { (*handler)(); });
    const ScopeExit unregister([task, id] { task->removeCancellationHandler(id); });
    if constexpr (std::is_void_v<Result>) {
        co_await std::invoke(operation);
    } else {
        co_return co_await std::invoke(operation);
    }
}

} // namespace platform

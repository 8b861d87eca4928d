#include "platform/runtime/Executor.hpp"

namespace platform {

namespace {
thread_local Executor* tlsCurrentExecutor = nullptr;
}

bool Executor::isCurrent() const noexcept {
    return tlsCurrentExecutor == this;
}

Executor* Executor::current() noexcept {
    return tlsCurrentExecutor;
}

Executor::RunningScope::RunningScope(Executor* executor) noexcept
    : previous_(tlsCurrentExecutor) {
    tlsCurrentExecutor = executor;
}

Executor::RunningScope::~RunningScope() {
    tlsCurrentExecutor = previous_;
}

} // namespace platform

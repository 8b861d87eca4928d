#pragma once

#include <utility>

namespace platform::detail {

/// Storage for a process-wide singleton that is never destroyed. The runtime's singletons are
/// reached by worker threads and by jobs that may still run while static destructors execute;
/// keeping them alive until the process ends avoids ordering hazards at exit.
template <class T>
class NoDestroy {
public:
    template <class... Args>
    explicit NoDestroy(Args&&... args)
        : value_(std::forward<Args>(args)...) {}
    NoDestroy(const NoDestroy&) = delete;
    NoDestroy& operator=(const NoDestroy&) = delete;
    ~NoDestroy() {} // NOLINT: deliberately leaves value_ alive

    T& get() noexcept { return value_; }

private:
    union {
        T value_;
    };
};

} // namespace platform::detail

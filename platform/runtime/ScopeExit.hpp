#pragma once

// Runs a callable when the scope it belongs to ends, however it ends. Not copyable or movable:
// it belongs to exactly one scope.
//
//     auto restore = platform::ScopeExit([&] { depth -= 1; });

#include <utility>

namespace platform {

template <typename F>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(F action)
        : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }

    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ScopeExit(ScopeExit&&) = delete;
    ScopeExit& operator=(ScopeExit&&) = delete;

private:
    F action_;
};

} // namespace platform

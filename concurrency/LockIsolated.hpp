#pragma once

#include "platform/runtime/ScopeExit.hpp"

#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>

namespace concurrency {

/// Locks `lock`, runs `body`, unlocks (also when `body` throws) and returns its result.
template <class Lock, class F>
decltype(auto) runLocked(Lock& lock, F&& body) {
    const std::scoped_lock guard(lock);
    return std::invoke(std::forward<F>(body));
}

/// One value shared between threads behind a per-instance recursive lock.
///
/// A reference type: share it through a std::shared_ptr (or keep it in one place). Every access
/// takes the lock; the lock is recursive, so an operation may call back into the same instance.
/// withLockedValue works on a copy that is written back afterwards (also when the operation
/// throws): a nested setValue inside it is overwritten by that write-back.
template <class Value>
class LockIsolated {
public:
    /// Evaluates `makeValue()` into the guarded value; if it throws, the error propagates and
    /// no instance results.
    template <class F>
    requires std::is_convertible_v<std::invoke_result_t<F&>, Value>
    explicit LockIsolated(F&& makeValue)
        : value_(std::invoke(makeValue)) {}

    LockIsolated(const LockIsolated&) = delete;
    LockIsolated& operator=(const LockIsolated&) = delete;

    /// Runs `operation(value&)` under the lock on a copy of the value, stores the copy back (on
    /// both the normal and the throwing path) and returns the operation's result.
    template <class F>
    decltype(auto) withLockedValue(F&& operation) {
        const std::scoped_lock guard(lock_);
        Value copy = value_;
        const platform::ScopeExit writeBack([this, &copy] { value_ = std::move(copy); });
        return std::invoke(std::forward<F>(operation), copy);
    }

    /// A copy of the value, taken under the lock.
    [[nodiscard]] Value value() const {
        const std::scoped_lock guard(lock_);
        return value_;
    }

    /// Stores `makeValue()` under the lock; if it throws, the old value stays.
    template <class F>
    requires std::is_convertible_v<std::invoke_result_t<F&>, Value>
    void setValue(F&& makeValue) {
        const std::scoped_lock guard(lock_);
        Value next = std::invoke(makeValue);
        value_ = std::move(next);
    }

    /// Reads a member (a data-member pointer, or any callable taking the value) of a copy of the
    /// value, under the lock.
    template <class KeyPath>
    auto operator[](KeyPath&& keyPath) const {
        const std::scoped_lock guard(lock_);
        const Value copy = value_;
        return std::invoke(std::forward<KeyPath>(keyPath), copy);
    }

private:
    mutable std::recursive_mutex lock_;
    Value value_;
};

} // namespace concurrency

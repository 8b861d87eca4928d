#pragma once

#include <mutex>
#include <shared_mutex>
#include <type_traits>
#include <utility>

namespace Math {

// One value behind one read-write lock. Changes take the exclusive (write) side; lookups that
// only read may take the shared side, so that readers on several threads do not wait for one
// another. The lock is not recursive: the function given must not come back into the same box.
template <class Value>
class ReadWriteLockIsolated {
public:
    explicit ReadWriteLockIsolated(Value value)
        : _value(std::move(value)) {}

    ReadWriteLockIsolated(const ReadWriteLockIsolated&) = delete;
    ReadWriteLockIsolated& operator=(const ReadWriteLockIsolated&) = delete;

    // Runs `body` on the value under the write lock and returns its result. The lock is released
    // before an exception thrown by `body` leaves.
    template <class Body>
    std::invoke_result_t<Body&, Value&> withWriteLock(Body&& body) {
        const std::unique_lock exclusive(lock_);
        return std::forward<Body>(body)(_value);
    }

    // Runs `body` on the value, read-only, under the shared (read) lock.
    template <class Body>
    std::invoke_result_t<Body&, const Value&> withReadLock(Body&& body) const {
        const std::shared_lock shared(lock_);
        return std::forward<Body>(body)(std::as_const(_value));
    }

private:
    Value _value;
    mutable std::shared_mutex lock_;
};

} // namespace Math

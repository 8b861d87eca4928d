#pragma once

#include <mutex>
#include <shared_mutex>
#include <type_traits>
#include <utility>

namespace Math {

// One value behind one read-write lock. Every access takes the exclusive (write) side, lookups
// included, so accesses to one box are fully serialised. The lock is not recursive: the function
// given to withWriteLock must not come back into the same box.
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

private:
    Value _value;
    std::shared_mutex lock_;
};

} // namespace Math

#pragma once

#include <memory>
#include <pthread.h>
#include <type_traits>
#include <utility>

namespace Math {

// One value behind one POSIX read-write lock. Every access takes the exclusive (write) side,
// lookups included, so accesses to one box are fully serialised. The lock is not recursive: the
// function given to withWriteLock must not come back into the same box.
template <class Value>
class ReadWriteLockIsolated {
public:
    explicit ReadWriteLockIsolated(Value value)
        : _value(std::move(value))
        , lock(makeLock()) {}

    ReadWriteLockIsolated(const ReadWriteLockIsolated&) = delete;
    ReadWriteLockIsolated& operator=(const ReadWriteLockIsolated&) = delete;

    // Runs `body` on the value under the write lock and returns its result. The lock is released
    // before an exception thrown by `body` leaves.
    template <class Body>
    std::invoke_result_t<Body&, Value&> withWriteLock(Body&& body) {
        pthread_rwlock_wrlock(lock.get());
        const Unlock unlock{lock.get()};
        return std::forward<Body>(body)(_value);
    }

private:
    struct LockDeleter {
        void operator()(pthread_rwlock_t* block) const noexcept {
            pthread_rwlock_destroy(block);
            std::default_delete<pthread_rwlock_t>{}(block);
        }
    };
    using LockPointer = std::unique_ptr<pthread_rwlock_t, LockDeleter>;

    struct Unlock {
        pthread_rwlock_t* lock;
        ~Unlock() { pthread_rwlock_unlock(lock); }
    };

    // The lock lives in its own zero-filled heap block so that the box never moves it.
    static LockPointer makeLock() {
        auto block = std::make_unique<pthread_rwlock_t>();
        pthread_rwlock_init(block.get(), nullptr);
        return LockPointer{block.release()};
    }

    // Members are destroyed in reverse order: the lock is destroyed and freed, then the value.
    Value _value;
    LockPointer lock;
};

} // namespace Math

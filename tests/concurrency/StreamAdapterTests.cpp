#include "concurrency/AsyncStreamAdapters.hpp"
#include "concurrency/TaskHelpers.hpp"
#include "platform/runtime/Runtime.hpp"
#include "tests/support/StreamTesting.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace concurrency;
using namespace std::chrono_literals;
using platform::blockingWait;
using platform::CancellationError;
using platform::Task;

using moss_test::collect;

namespace {

/// A counting sequence 1...limit that throws after `throwAfter` elements when asked to, and
/// counts how many iterators were made and whether two pulls ever overlapped.
struct Counting {
    struct Stats {
        std::atomic<int> iterators{0};
        std::atomic<int> inside{0};
        std::atomic<bool> overlapped{false};
    };
    int limit = 3;
    int throwAfter = -1;
    std::shared_ptr<Stats> stats = std::make_shared<Stats>();

    struct Iterator {
        int next_ = 0;
        int limit;
        int throwAfter;
        std::shared_ptr<Stats> stats;
        Task<std::optional<int>> next() {
            if (stats->inside.fetch_add(1) != 0) {
                stats->overlapped = true;
            }
            co_await Task<>::yield();
            stats->inside.fetch_sub(1);
            if (next_ == throwAfter) {
                throw std::runtime_error("sequence failed");
            }
            if (next_ == limit) {
                co_return std::nullopt;
            }
            co_return ++next_;
        }
    };
    Iterator makeAsyncIterator() const {
        ++stats->iterators;
        return Iterator{0, limit, throwAfter, stats};
    }
};

} // namespace

TEST(StreamAdapters, StreamFromSequence) {
    const Counting sequence;
    auto stream = makeStreamFromSequence(sequence);
    EXPECT_EQ(sequence.stats->iterators, 0); // made at the first pull
    EXPECT_EQ(blockingWait(collect(stream)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(sequence.stats->iterators, 1);
    EXPECT_EQ(blockingWait(collect(asStream(UncheckedSendable<Counting>(Counting{})))),
              (std::vector<int>{1, 2, 3}));
}

TEST(StreamAdapters, SequenceErrors) {
    Counting failing;
    failing.throwAfter = 1;
    EXPECT_EQ(blockingWait(collect(makeStreamFromSequence(failing))), (std::vector<int>{1}));

    Counting failingAgain;
    failingAgain.throwAfter = 1;
    auto throwing = makeThrowingStreamFromSequence(failingAgain);
    auto body = [throwing]() -> Task<std::vector<int>> {
        std::vector<int> got;
        try {
            while (auto element = co_await throwing.next()) {
                got.push_back(*element);
            }
        } catch (const std::runtime_error&) {
            got.push_back(-1);
        }
        co_return got;
    };
    EXPECT_EQ(blockingWait(body()), (std::vector<int>{1, -1}));
}

TEST(StreamAdapters, ConcurrentPullsAreSerialised) {
    Counting sequence;
    sequence.limit = 300;
    auto stream = asStream(sequence);
    const int total = moss_test::drainConcurrently(stream, 4);
    EXPECT_EQ(total, 300);
    EXPECT_FALSE(sequence.stats->overlapped);
}

TEST(StreamAdapters, EndedAndIdleStreams) {
    EXPECT_TRUE(blockingWait(collect(endedStream<int>())).empty());
    EXPECT_TRUE(blockingWait(collect(endedThrowingStream<int>())).empty());
    EXPECT_THROW(blockingWait(collect(
                     endedThrowingStream<int>(std::make_exception_ptr(std::logic_error("x"))))),
                 std::logic_error);

    // An idle stream holds its consumer until the consumer's task is cancelled.
    std::atomic<bool> waiting{false};
    auto consumer = Task<bool>::detached([&waiting]() -> Task<bool> {
        auto idle = idleStream<int>();
        waiting = true;
        co_return (co_await idle.next()).has_value();
    });
    while (!waiting) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(consumer.isDone());
    consumer.cancel();
    EXPECT_FALSE(blockingWait(consumer.value()));
}

TEST(TaskHelpers, SuspendUntilCancelled) {
    std::atomic<bool> started{false};
    auto sleeper = Task<int>::detached([&started]() -> Task<int> {
        started = true;
        co_return co_await suspendUntilCancelled<int>();
    });
    while (!started) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(sleeper.isDone());
    sleeper.cancel();
    EXPECT_THROW(blockingWait(sleeper.value()), CancellationError);
}

TEST(TaskHelpers, CancellableValueForwardsCancellation) {
    auto longRunning = Task<int>::detached([]() -> Task<int> {
        co_await Task<>::sleep(60s);
        co_return 1;
    });
    std::atomic<bool> started{false};
    auto waiter = Task<int>::detached([longRunning, &started]() -> Task<int> {
        started = true;
        co_return co_await cancellableValue(longRunning);
    });
    while (!started) {
        std::this_thread::yield();
    }
    waiter.cancel();
    EXPECT_THROW(blockingWait(waiter.value()), CancellationError);
    EXPECT_TRUE(longRunning.isTaskCancelled());

    auto quick = Task<int>::detached([]() -> Task<int> { co_return 5; });
    EXPECT_EQ(blockingWait(cancellableValue(quick)), 5);
}

TEST(TaskHelpers, ResultCatchingAsync) {
    auto ok = blockingWait(Result<int>::catchingAsync([]() -> Task<int> { co_return 4; }));
    EXPECT_TRUE(ok.isSuccess());
    EXPECT_EQ(ok.get(), 4);
    auto failed = blockingWait(Result<int>::catchingAsync([]() -> Task<int> {
        throw std::runtime_error("no");
        co_return 0;
    }));
    EXPECT_FALSE(failed.isSuccess());
    EXPECT_THROW(failed.get(), std::runtime_error);
}

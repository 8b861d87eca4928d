#include "RuntimeTestSupport.hpp"
#include "tests/support/StreamTesting.hpp"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::pumpUntil;

using moss_test::collect;

TEST(AsyncStream, BufferingPolicies) {
    {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        EXPECT_TRUE(continuation.yield(1).isEnqueued());
        continuation.yield(2);
        continuation.finish();
        EXPECT_TRUE(continuation.yield(3).isTerminated());
        EXPECT_EQ(blockingWait(collect(stream)), (std::vector<int>{1, 2}));
    }
    {
        auto [stream, continuation] =
            AsyncStream<int>::makeStream(BufferingPolicy::bufferingOldest(2));
        EXPECT_EQ(continuation.yield(1).remaining(), 1u);
        EXPECT_EQ(continuation.yield(2).remaining(), 0u);
        const auto dropped = continuation.yield(3);
        ASSERT_TRUE(dropped.isDropped());
        EXPECT_EQ(*dropped.droppedElement(), 3);
        continuation.finish();
        EXPECT_EQ(blockingWait(collect(stream)), (std::vector<int>{1, 2}));
    }
    {
        auto [stream, continuation] =
            AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(2));
        continuation.yield(1);
        continuation.yield(2);
        const auto dropped = continuation.yield(3);
        ASSERT_TRUE(dropped.isDropped());
        EXPECT_EQ(*dropped.droppedElement(), 1);
        EXPECT_TRUE(continuation.yield(4).isDropped());
        continuation.finish();
        EXPECT_EQ(blockingWait(collect(stream)), (std::vector<int>{3, 4}));
    }
    {
        auto [stream, continuation] =
            AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(0));
        EXPECT_TRUE(continuation.yield(1).isDropped());
    }
}

TEST(AsyncStream, ConsumerWaitsForProducerOnAnotherThread) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::thread producer([continuation = continuation] {
        // Mostly back to back, so that yields race with the consumer publishing its wait.
        for (int i = 0; i < 5000; ++i) {
            continuation.yield(i);
            if (i % 500 == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        continuation.finish();
    });
    const auto all = blockingWait(collect(stream));
    producer.join();
    ASSERT_EQ(all.size(), 5000u);
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
}

TEST(AsyncStream, TerminationIsReportedOnce) {
    std::vector<StreamTermination> seen;
    {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        continuation.onTermination([&](StreamTermination why) { seen.push_back(why); });
        continuation.yield(1);
        continuation.finish();
        continuation.finish();
    }
    // Dropping every continuation finishes the stream; dropping the stream cancels it.
    std::optional<AsyncStream<int>::Continuation> kept;
    {
        AsyncStream<int> built([&](AsyncStream<int>::Continuation& continuation) {
            continuation.onTermination([&](StreamTermination why) { seen.push_back(why); });
            kept = continuation;
        });
    }
    EXPECT_TRUE(kept->yield(5).isTerminated());
    AsyncStream<int> forgotten([&](AsyncStream<int>::Continuation& continuation) {
        continuation.yield(1);
        continuation.onTermination([&](StreamTermination why) { seen.push_back(why); });
    });
    EXPECT_EQ(blockingWait(collect(forgotten)), (std::vector<int>{1}));
    EXPECT_EQ(seen, (std::vector<StreamTermination>{StreamTermination::finished,
                                                    StreamTermination::cancelled,
                                                    StreamTermination::finished}));
}

TEST(AsyncStream, AHandlerSetAfterTheEndLearnsHowItEnded) {
    std::vector<StreamTermination> seen;
    const auto record = [&](StreamTermination why) { seen.push_back(why); };
    {
        // Finished first: losing the consumer afterwards does not make it a cancellation.
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        continuation.yield(1);
        continuation.finish();
        { const auto consumer = std::move(stream); }
        continuation.onTermination(record);
    }
    {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        { const auto consumer = std::move(stream); }
        continuation.finish();
        continuation.onTermination(record);
    }
    EXPECT_EQ(seen, (std::vector<StreamTermination>{StreamTermination::finished,
                                                    StreamTermination::cancelled}));
}

TEST(AsyncStream, CancellingTheConsumerEndsTheWaitAndTheStream) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::atomic<int> cancelledTerminations{0};
    continuation.onTermination([&](StreamTermination why) {
        if (why == StreamTermination::cancelled) {
            ++cancelledTerminations;
        }
    });
    auto received = std::make_shared<std::atomic<int>>(0);
    auto consumer = Task<int>::detached([stream = stream, received]() -> Task<int> {
        while (co_await stream.next()) {
            ++*received;
        }
        co_return received->load();
    });
    continuation.yield(1);
    while (*received < 1) {
        std::this_thread::yield();
    }
    consumer.cancel();
    EXPECT_EQ(blockingWait(consumer.value()), 1);
    EXPECT_EQ(cancelledTerminations, 1);
    EXPECT_TRUE(continuation.yield(2).isTerminated());
}

TEST(AsyncThrowingStream, DeliversBufferedElementsThenTheError) {
    auto [stream, continuation] = AsyncThrowingStream<int>::makeStream();
    continuation.yield(1);
    continuation.finish(std::make_exception_ptr(std::runtime_error("broken")));
    auto body = [stream = stream]() -> Task<std::vector<int>> {
        std::vector<int> got;
        try {
            while (auto element = co_await stream.next()) {
                got.push_back(*element);
            }
        } catch (const std::runtime_error&) {
            got.push_back(-1);
        }
        // After the error the stream just ends.
        got.push_back((co_await stream.next()).has_value() ? 99 : 0);
        co_return got;
    };
    EXPECT_EQ(blockingWait(body()), (std::vector<int>{1, -1, 0}));
}

TEST(AsyncStream, UnfoldingPullsOneAtATime) {
    auto counter = std::make_shared<int>(0);
    auto inside = std::make_shared<std::atomic<int>>(0);
    auto overlap = std::make_shared<std::atomic<bool>>(false);
    AsyncStream<int> stream([counter, inside, overlap]() -> Task<std::optional<int>> {
        if (inside->fetch_add(1) != 0) {
            *overlap = true;
        }
        co_await Task<>::sleep(100us);
        const int value = ++*counter;
        inside->fetch_sub(1);
        if (value > 200) {
            co_return std::nullopt;
        }
        co_return value;
    });
    // Several consumers pull from copies of the same stream at once.
    const int total = moss_test::drainConcurrently(stream, 4);
    EXPECT_EQ(total, 200);
    EXPECT_FALSE(*overlap);

    AsyncThrowingStream<int> failing([]() -> Task<std::optional<int>> {
        throw std::runtime_error("producer");
        co_return std::nullopt;
    });
    EXPECT_THROW(blockingWait(failing.next()), std::runtime_error);
    EXPECT_FALSE(blockingWait(failing.next()).has_value());
}

TEST(TaskGroup, NextGivesChildrenInCompletionOrder) {
    auto body = []() -> Task<std::vector<int>> {
        co_return co_await withTaskGroup<int, std::vector<int>>(
            [](TaskGroup<int>& group) -> Task<std::vector<int>> {
                auto turn = std::make_shared<std::atomic<int>>(0);
                for (int i = 1; i <= 3; ++i) {
                    group.addTask([i, turn]() -> Task<int> {
                        while (turn->load() != i) {
                            co_await Task<>::sleep(std::chrono::milliseconds(1));
                        }
                        co_return i;
                    });
                }
                // Let the children finish in the order 2, 3, 1.
                std::vector<int> order;
                for (const int next : {2, 3, 1}) {
                    *turn = next;
                    order.push_back(*co_await group.next());
                }
                EXPECT_FALSE((co_await group.next()).has_value());
                co_return order;
            });
    };
    EXPECT_EQ(blockingWait(body()), (std::vector<int>{2, 3, 1}));
}

TEST(TaskGroup, WaitsForChildrenAndCancelsOnError) {
    auto finished = std::make_shared<std::atomic<int>>(0);
    auto sawCancel = std::make_shared<std::atomic<int>>(0);
    auto body = [finished, sawCancel]() -> Task<> {
        // Named, not inline in the co_await: see the compiler caveat in Task.hpp.
        auto scope = [finished, sawCancel](TaskGroup<void>& group) -> Task<> {
            for (int i = 0; i < 5; ++i) {
                group.addTask([finished, sawCancel]() -> Task<> {
                    try {
                        co_await Task<>::sleep(30s);
                    } catch (const CancellationError&) {
                        ++*sawCancel;
                    }
                    ++*finished;
                });
            }
            throw std::runtime_error("body failed");
            co_return;
        };
        co_await withThrowingTaskGroup<void>(scope);
    };
    EXPECT_THROW(blockingWait(body()), std::runtime_error);
    // The group returned only after every child ended, and each saw the cancellation.
    EXPECT_EQ(*finished, 5);
    EXPECT_EQ(*sawCancel, 5);
}

TEST(TaskGroup, ParentCancellationReachesChildren) {
    auto sawCancel = std::make_shared<std::atomic<int>>(0);
    auto started = std::make_shared<std::atomic<int>>(0);
    auto parent = Task<int>::detached([sawCancel, started]() -> Task<int> {
        auto scope = [sawCancel, started](TaskGroup<int>& group) -> Task<int> {
            for (int i = 0; i < 3; ++i) {
                group.addTask([sawCancel, started]() -> Task<int> {
                    ++*started;
                    try {
                        co_await Task<>::sleep(30s);
                    } catch (const CancellationError&) {
                        ++*sawCancel;
                    }
                    co_return 1;
                });
            }
            int sum = 0;
            while (auto value = co_await group.next()) {
                sum += *value;
            }
            // Children added after cancellation start cancelled.
            group.addTask([]() -> Task<int> { co_return Task<>::isCancelled() ? 10 : 0; });
            sum += *co_await group.next();
            co_return sum;
        };
        co_return co_await withTaskGroup<int>(scope);
    });
    while (*started < 3) {
        std::this_thread::yield();
    }
    parent.cancel();
    EXPECT_EQ(blockingWait(parent.value()), 13);
    EXPECT_EQ(*sawCancel, 3);
}

#include "RuntimeTestSupport.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::pumpUntil;

namespace {

Task<int> answer() {
    co_return 42;
}

Task<int> doubled() {
    const int value = co_await answer();
    co_return value * 2;
}

Task<void> fails() {
    throw std::runtime_error("boom");
    co_return;
}

Task<std::string> catches() {
    try {
        co_await fails();
    } catch (const std::runtime_error& error) {
        co_return error.what();
    }
    co_return "no error";
}

Task<bool> onGlobalThenBack() {
    co_await hopTo(GlobalExecutor::shared());
    co_return !isMainThread();
}

} // namespace

TEST(Task, AwaitChainsValuesAndErrors) {
    EXPECT_EQ(blockingWait(doubled()), 84);
    EXPECT_EQ(blockingWait(catches()), "boom");
    EXPECT_THROW(blockingWait(fails()), std::runtime_error);
    // Off the main thread blockingWait runs the task on the pool.
    int fromThread = 0;
    std::thread([&] { fromThread = blockingWait(doubled()); }).join();
    EXPECT_EQ(fromThread, 84);
}

TEST(Task, CopiesOfALazyTaskRunItOnceAndShareItsResult) {
    std::atomic<int> runs{0};
    const auto counted = [&runs](std::string text) -> Task<std::string> {
        ++runs;
        co_await Task<>::sleep(1ms);
        co_return text;
    };
    // One after the other, the awaited object itself included: the value is not moved away.
    const auto sequential = [&]() -> Task<std::vector<std::string>> {
        auto task = counted(std::string(40, 'a'));
        std::vector<std::string> values;
        values.push_back(co_await task);
        auto copy = task;
        values.push_back(co_await copy);
        values.push_back(co_await task);
        co_return values;
    };
    // (A second await that waited for a run nobody finishes would hang: bounded here.)
    const auto values = Task<std::vector<std::string>>::detached(sequential);
    ASSERT_TRUE(pumpUntil([&] { return values.isDone(); }));
    EXPECT_EQ(blockingWait(values.value()), std::vector<std::string>(3, std::string(40, 'a')));
    EXPECT_EQ(runs, 1);

    // From several tasks at once, while it runs.
    runs = 0;
    const Task<std::string> shared = counted("shared");
    std::vector<Task<std::string>> awaiting;
    for (int i = 0; i < 4; ++i) {
        awaiting.push_back(Task<std::string>::detached(
            [shared]() -> Task<std::string> { co_return co_await shared; }));
    }
    for (auto& handle : awaiting) {
        EXPECT_EQ(blockingWait(handle.value()), "shared");
    }
    EXPECT_EQ(runs, 1);

    // Errors reach every await.
    const auto failing = []() -> Task<int> {
        throw std::runtime_error("once");
        co_return 0;
    };
    const auto twice = [](Task<int> task) -> Task<int> {
        auto copy = task;
        try {
            co_await task;
        } catch (const std::runtime_error&) {
        }
        co_return co_await copy;
    };
    EXPECT_THROW(blockingWait(twice(failing())), std::runtime_error);
}

TEST(Task, CalleeHopDoesNotLeakIntoCaller) {
    auto body = []() -> Task<std::vector<bool>> {
        std::vector<bool> onMain;
        onMain.push_back(isMainThread());
        const bool calleeWasOffMain = co_await onGlobalThenBack();
        onMain.push_back(!calleeWasOffMain); // false: the callee ran on the pool
        onMain.push_back(isMainThread());    // back on main after it returned
        co_await MainActor::hop();
        onMain.push_back(isMainThread());
        co_return onMain;
    };
    EXPECT_EQ(blockingWait(body()), (std::vector<bool>{true, false, true, true}));
}

TEST(Task, RunInheritsMainAndDetachedGoesToPool) {
    std::atomic<int> runOnMain{-1};
    std::atomic<int> detachedOnMain{-1};
    auto inherited = Task<>::run([&]() -> Task<> {
        runOnMain = isMainThread() ? 1 : 0;
        co_return;
    });
    auto detached = Task<int>::detached([&]() -> Task<int> {
        detachedOnMain = isMainThread() ? 1 : 0;
        co_return 7;
    });
    ASSERT_TRUE(pumpUntil([&] { return inherited.isDone() && detached.isDone(); }));
    EXPECT_EQ(runOnMain, 1);
    EXPECT_EQ(detachedOnMain, 0);
    // A task started from a pool task inherits the pool, and the priority.
    auto outer = Task<bool>::detached(
        []() -> Task<bool> {
            auto inner = Task<bool>::run([]() -> Task<bool> {
                co_return !isMainThread() && Task<>::currentPriority() == TaskPriority::background;
            });
            co_return co_await inner.value();
        },
        TaskPriority::background);
    EXPECT_TRUE(blockingWait(outer.value()));
}

TEST(Task, RunKeepsCapturesAliveUntilTheEnd) {
    auto shared = std::make_shared<int>(5);
    std::weak_ptr<int> watch = shared;
    auto handle = Task<int>::detached([owned = std::move(shared)]() -> Task<int> {
        co_await Task<>::sleep(5ms);
        co_return *owned + 1;
    });
    EXPECT_EQ(blockingWait(handle.value()), 6);
    ASSERT_TRUE(pumpUntil([&] { return watch.expired(); }));
}

TEST(Task, HandleValueRethrowsAndCanBeAwaitedTwice) {
    auto handle = Task<int>::detached([]() -> Task<int> {
        throw std::logic_error("bad");
        co_return 0;
    });
    EXPECT_THROW(blockingWait(handle.value()), std::logic_error);
    EXPECT_THROW(blockingWait(handle.value()), std::logic_error);
    auto ok = Task<int>::detached([]() -> Task<int> { co_return 3; });
    auto copy = ok;
    EXPECT_EQ(blockingWait(ok.value()) + blockingWait(copy.value()), 6);
}

TEST(Cancellation, CancelWakesSleepAndSetsFlag) {
    std::atomic<bool> sawFlag{false};
    auto handle = Task<>::detached([&]() -> Task<> {
        try {
            co_await Task<>::sleep(60s);
        } catch (const CancellationError&) {
            sawFlag = Task<>::isCancelled();
            throw;
        }
    });
    std::this_thread::sleep_for(10ms);
    handle.cancel();
    EXPECT_TRUE(handle.isTaskCancelled());
    EXPECT_THROW(blockingWait(handle.value()), CancellationError);
    EXPECT_TRUE(sawFlag);
    try {
        throw CancellationError();
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "CancellationError()");
    }
}

TEST(Task, AShortSleepEndsWhileALongerOneIsPending) {
    // Timers fire in deadline order, not in the order the sleeps began.
    auto longSleep = Task<>::detached([]() -> Task<> { co_await Task<>::sleep(10s); });
    std::this_thread::sleep_for(10ms);
    blockingWait(Task<>::detached([]() -> Task<> { co_await Task<>::sleep(20ms); }).value());
    EXPECT_FALSE(longSleep.isDone());
    longSleep.cancel();
    EXPECT_THROW(blockingWait(longSleep.value()), CancellationError);
}

TEST(Cancellation, CheckAndSleepWhenAlreadyCancelled) {
    std::atomic<bool> gate{false};
    auto handle = Task<int>::detached([&]() -> Task<int> {
        while (!gate) {
            co_await Task<>::yield();
        }
        int stage = 0;
        try {
            co_await Task<>::sleep(1ms);
        } catch (const CancellationError&) {
            stage = 1;
        }
        try {
            Task<>::checkCancellation();
        } catch (const CancellationError&) {
            stage += 10;
        }
        co_return stage;
    });
    handle.cancel();
    gate = true;
    EXPECT_EQ(blockingWait(handle.value()), 11);
}

TEST(Cancellation, HandlerRunsOnceAtCancelOrAtOnce) {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    auto handle = Task<int>::detached([&]() -> Task<int> {
        co_return co_await withTaskCancellationHandler(
            [&]() -> Task<int> {
                inside = true;
                while (!Task<>::isCancelled()) {
                    co_await Task<>::yield();
                }
                co_return 1;
            },
            [&] { ++calls; });
    });
    while (!inside) {
        std::this_thread::yield();
    }
    handle.cancel();
    handle.cancel();
    EXPECT_EQ(blockingWait(handle.value()), 1);
    EXPECT_EQ(calls, 1);

    // Already cancelled: the handler runs before the operation.
    std::vector<std::string> order;
    auto early = Task<>::run([&]() -> Task<> {
        co_await Task<>::yield();
        co_await withTaskCancellationHandler(
            [&]() -> Task<> {
                order.emplace_back("operation");
                co_return;
            },
            [&] { order.emplace_back("handler"); });
    });
    early.cancel();
    ASSERT_TRUE(pumpUntil([&] { return early.isDone(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"handler", "operation"}));
}

TEST(Continuation, ResumesOnTheAwaitingExecutorFromAnyThread) {
    auto body = []() -> Task<std::pair<int, bool>> {
        std::thread worker;
        const int value =
            co_await withCheckedContinuation<int>([&worker](Continuation<int> continuation) {
                worker = std::thread([continuation] { continuation.resume(9); });
            });
        worker.join();
        co_return std::pair{value, isMainThread()};
    };
    EXPECT_EQ(blockingWait(body()), (std::pair{9, true}));

    auto throwing = []() -> Task<> {
        co_await withCheckedThrowingContinuation<void>([](Continuation<void> continuation) {
            continuation.resume(std::make_exception_ptr(std::runtime_error("io")));
        });
    };
    EXPECT_THROW(blockingWait(throwing()), std::runtime_error);
}

TEST(Continuation, DoubleResumeIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto body = []() -> Task<> {
                co_await withCheckedContinuation<void>([](Continuation<void> continuation) {
                    continuation.resume();
                    continuation.resume();
                });
            };
            blockingWait(body());
        },
        "resumed more than once");
}

TEST(MainExecutor, TimersFireInDeadlineOrderAndCancel) {
    auto& main = MainExecutor::shared();
    std::vector<int> fired;
    main.enqueueAfter(30ms, [&] { fired.push_back(3); });
    const TimerToken cancelled = main.enqueueAfter(10ms, [&] { fired.push_back(99); });
    main.enqueueAfter(5ms, [&] { fired.push_back(1); });
    main.enqueue([&] { fired.push_back(0); });
    cancelled.cancel();
    cancelled.cancel();
    ASSERT_TRUE(pumpUntil([&] { return fired.size() == 3; }));
    EXPECT_EQ(fired, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(main.pendingCount(), 0u);
}

TEST(MainExecutor, JobsFromOtherThreadsRunOnMainInOrder) {
    std::vector<int> seen;
    std::atomic<bool> offMain{false};
    std::thread producer([&] {
        for (int i = 0; i < 500; ++i) {
            MainExecutor::shared().enqueue([&seen, &offMain, i] {
                if (!isMainThread()) {
                    offMain = true;
                }
                seen.push_back(i);
            });
        }
    });
    producer.join();
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 500; }));
    EXPECT_FALSE(offMain);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    }
}

TEST(GlobalExecutor, HookSeesEveryGlobalJob) {
    static std::atomic<int> routed{0};
    const GlobalEnqueueHook counting = [](Job&& job, void (*original)(Job &&)) {
        ++routed;
        original(std::move(job));
    };
    routed = 0;
    globalEnqueueHook().store(counting);
    auto handle = Task<int>::detached([]() -> Task<int> {
        co_await Task<>::yield();
        co_return 1;
    });
    const int value = blockingWait(handle.value());
    globalEnqueueHook().store(nullptr);
    EXPECT_EQ(value, 1);
    EXPECT_GE(routed.load(), 2); // the start and the resumption after the yield
}

TEST(Continuation, DroppedWithoutResumeFailsTheAwaitInsteadOfHanging) {
    auto body = []() -> Task<int> {
        co_return co_await withCheckedContinuation<int>([](Continuation<int>) {});
    };
    EXPECT_THROW(blockingWait(body()), ContinuationDroppedError);
}

TEST(Runtime, FramesAreFreedHoweverATaskEnds) {
    if (detail::liveFrameCount() < 0) {
        GTEST_SKIP() << "frames are counted in debug builds only";
    }
    // Tasks of the cases before this one may still be ending on the pool (a cancelled consumer
    // unwinds after its case returned): count from a moment the number holds still.
    long baseline = detail::liveFrameCount();
    for (int still = 0, rounds = 0; still < 20 && rounds < 500; ++rounds) {
        const auto until = std::chrono::steady_clock::now() + 10ms;
        (void)pumpUntil([&] { return std::chrono::steady_clock::now() >= until; });
        const long now = detail::liveFrameCount();
        still = now == baseline ? still + 1 : 0;
        baseline = now;
    }
    {
        blockingWait(doubled());
        EXPECT_THROW(blockingWait(fails()), std::runtime_error);

        auto sleeper = Task<>::detached([]() -> Task<> { co_await Task<>::sleep(60s); });
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        auto consumer = Task<>::detached([stream = stream]() -> Task<> {
            while (co_await stream.next()) {
            }
        });
        auto grouped = Task<>::detached([]() -> Task<> {
            co_await withTaskGroup<void>([](TaskGroup<void>& group) -> Task<> {
                group.addTask([]() -> Task<> { co_await Task<>::sleep(60s); });
                co_return;
            });
        });
        auto unfolding = Task<>::detached([]() -> Task<> {
            AsyncStream<int> numbers([]() -> Task<std::optional<int>> {
                co_await Task<>::yield();
                co_return 1;
            });
            while (co_await numbers.next()) {
            }
        });
        std::this_thread::sleep_for(5ms);
        for (auto* handle : {&sleeper, &consumer, &grouped, &unfolding}) {
            handle->cancel();
        }
        for (auto* handle : {&sleeper, &consumer, &grouped, &unfolding}) {
            try {
                blockingWait(handle->value());
            } catch (const CancellationError&) {
            }
        }
    }
    EXPECT_TRUE(pumpUntil([&] { return detail::liveFrameCount() == baseline; }))
        << detail::liveFrameCount() - baseline << " frames left";
}

#include "concurrency/MainSerialExecutor.hpp"
#include "platform/runtime/Runtime.hpp"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

using namespace concurrency;
using namespace std::chrono_literals;
using platform::blockingWait;
using platform::isMainThread;
using platform::Task;

TEST(MainSerialHook, InstallAndScopedForms) {
    installMainSerialHook(true);
    EXPECT_TRUE(isMainSerialHookInstalled());
    installMainSerialHook(false);
    EXPECT_FALSE(isMainSerialHookInstalled());

    EXPECT_THROW(runOnMainSerialExecutor([]() -> int {
                     EXPECT_TRUE(isMainSerialHookInstalled());
                     throw std::runtime_error("inside");
                 }),
                 std::runtime_error);
    EXPECT_FALSE(isMainSerialHookInstalled());

    installMainSerialHook(true);
    EXPECT_EQ(runOnMainSerialExecutor([] { return 3; }), 3);
    EXPECT_TRUE(isMainSerialHookInstalled()); // it was on before, so it stays on
    installMainSerialHook(false);
}

TEST(MainSerialHook, RoutesGlobalWorkToTheMainThread) {
    auto body = []() -> Task<bool> {
        auto detachedOnMain = []() -> Task<bool> {
            auto child = Task<bool>::detached([]() -> Task<bool> {
                co_await Task<>::yield();
                co_return isMainThread();
            });
            co_return co_await child.value() && isMainThread();
        };
        co_return co_await runOnMainSerialExecutor(detachedOnMain);
    };
    // blockingWait from a non-main thread: the scoped hook hops to main, which this thread pumps.
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = blockingWait(body()) ? 1 : 0; });
    ASSERT_TRUE(
        platform::MainExecutor::shared().runUntil([&] { return result.load() != -1; }, 20s));
    waiter.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(isMainSerialHookInstalled());
    // With the hook off again, detached work runs on the pool.
    auto offMain = Task<bool>::detached([]() -> Task<bool> { co_return !isMainThread(); });
    EXPECT_TRUE(blockingWait(offMain.value()));
}

TEST(MainSerialHook, ErrorInTheAsyncFormRestoresTheHook) {
    auto body = []() -> Task<> {
        auto failing = []() -> Task<> {
            co_await Task<>::yield();
            throw std::runtime_error("async");
        };
        co_await runOnMainSerialExecutor(failing);
    };
    EXPECT_THROW(blockingWait(body()), std::runtime_error);
    EXPECT_FALSE(isMainSerialHookInstalled());
}

TEST(RepeatedYield, RunsDetachedYieldsOneAfterAnother) {
    std::atomic<int> routed{0};
    static std::atomic<int>* counter = nullptr;
    counter = &routed;
    platform::globalEnqueueHook().store(
        [](platform::Job&& job, void (*original)(platform::Job &&)) {
            counter->fetch_add(1);
            original(std::move(job));
        });
    blockingWait(repeatedYield(3));
    platform::globalEnqueueHook().store(nullptr);
    // Each detached task is enqueued to start and again to resume after its yield.
    EXPECT_EQ(routed.load(), 6);
    blockingWait(repeatedYield(0));
}

TEST(RepeatedYieldCount, ParsesLikeTheEnvironmentVariable) {
    EXPECT_EQ(parseRepeatedYieldCount(nullptr), 20);
    EXPECT_EQ(parseRepeatedYieldCount(""), 20);
    EXPECT_EQ(parseRepeatedYieldCount("5"), 5);
    EXPECT_EQ(parseRepeatedYieldCount("+7"), 7);
    EXPECT_EQ(parseRepeatedYieldCount("-3"), 0);
    EXPECT_EQ(parseRepeatedYieldCount("50000"), 10000);
    EXPECT_EQ(parseRepeatedYieldCount("abc"), 20);
    EXPECT_EQ(parseRepeatedYieldCount(" 5"), 20);
    EXPECT_EQ(parseRepeatedYieldCount("5 "), 20);
    EXPECT_EQ(parseRepeatedYieldCount("+"), 20);
    EXPECT_EQ(parseRepeatedYieldCount("9223372036854775807"), 10000);
    EXPECT_EQ(parseRepeatedYieldCount("9223372036854775808"), 20);
    EXPECT_EQ(parseRepeatedYieldCount("-9223372036854775808"), 0);
    EXPECT_EQ(parseRepeatedYieldCount("-9223372036854775809"), 20);
}

TEST(RepeatedYieldCount, ReadOnceFromEnvironment) {
    const char* expected = std::getenv("EXPECTED_YIELD_COUNT");
    if (expected == nullptr) {
        GTEST_SKIP() << "run by the per-value CTest entries";
    }
    EXPECT_EQ(repeatedYieldCount(), std::stoi(expected));
    ::setenv("TASK_REPEATED_YIELD_COUNT", "1", 1);
    EXPECT_EQ(repeatedYieldCount(), std::stoi(expected)); // not read again
}

#include "RuntimeTestSupport.hpp"

#include <atomic>
#include <glib.h>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::pumpUntil;

namespace {

/// Deliberately unsynchronised state: only the actor's confinement keeps it sound (ThreadSanitizer
/// checks that).
class Counter : public Actor {
public:
    Task<int> increment() {
        co_await hop();
        const int before = value_;
        co_await Task<>::yield(); // reentrancy point: others may run, we come back here
        confined_ = confined_ && isIsolated();
        value_ = before + 1 + (value_ - before);
        co_return value_;
    }
    Task<int> read() {
        co_await isolated();
        co_return value_;
    }
    bool confined() const { return confined_; }

private:
    int value_ = 0;
    bool confined_ = true;
};

} // namespace

TEST(SerialExecutor, RunsJobsInOrderOneAtATime) {
    auto serial = SerialExecutor::make();
    std::vector<int> seen;
    std::atomic<int> running{0};
    std::atomic<bool> overlap{false};
    std::atomic<int> done{0};
    constexpr int count = 2000;
    for (int i = 0; i < count; ++i) {
        serial->enqueue([&, i] {
            if (running.fetch_add(1) != 0) {
                overlap = true;
            }
            seen.push_back(i);
            running.fetch_sub(1);
            done.fetch_add(1, std::memory_order_release);
        });
    }
    ASSERT_TRUE(pumpUntil([&] { return done.load(std::memory_order_acquire) == count; }));
    EXPECT_FALSE(overlap);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    }
}

TEST(Actor, ConfinesStateAcrossConcurrentCallers) {
    auto counter = std::make_shared<Counter>();
    std::vector<Task<int>> handles;
    constexpr int callers = 200;
    for (int i = 0; i < callers; ++i) {
        handles.push_back(Task<int>::detached(
            [counter]() -> Task<int> { co_return co_await counter->increment(); }));
    }
    for (auto& handle : handles) {
        blockingWait(handle.value());
    }
    EXPECT_EQ(blockingWait(counter->read()), callers);
    EXPECT_TRUE(counter->confined());
}

TEST(Actor, CallerReturnsToMainAfterActorCall) {
    auto counter = std::make_shared<Counter>();
    auto body = [counter]() -> Task<std::pair<bool, bool>> {
        co_await counter->increment();
        const bool afterCall = isMainThread();
        auto onMain = [counter] { return counter->isIsolated() ? -1 : 5; };
        const int value = co_await MainActor::run(onMain);
        co_return std::pair{afterCall, value == 5};
    };
    EXPECT_EQ(blockingWait(body()), (std::pair{true, true}));
}

TEST(Runtime, NoLostWakeUpUnderManyCrossThreadResumes) {
    // Each task suspends on a continuation that a foreign thread resumes at a random moment,
    // possibly before the task has finished suspending.
    constexpr int tasks = 3000;
    std::atomic<int> finished{0};
    std::vector<std::thread> resumers;
    std::mutex pendingMutex;
    std::vector<Continuation<int>> pending;
    std::atomic<bool> stop{false};
    for (int r = 0; r < 3; ++r) {
        resumers.emplace_back([&] {
            while (!stop || [&] {
                const std::scoped_lock l(pendingMutex);
                return !pending.empty();
            }()) {
                std::vector<Continuation<int>> batch;
                {
                    const std::scoped_lock lock(pendingMutex);
                    batch.swap(pending);
                }
                for (auto& continuation : batch) {
                    continuation.resume(1);
                }
                std::this_thread::yield();
            }
        });
    }
    std::vector<Task<>> handles;
    for (int i = 0; i < tasks; ++i) {
        auto operation = [&]() -> Task<> {
            const int got =
                co_await withCheckedContinuation<int>([&](Continuation<int> continuation) {
                    const std::scoped_lock lock(pendingMutex);
                    pending.push_back(std::move(continuation));
                });
            finished.fetch_add(got);
        };
        handles.push_back(i % 3 == 0 ? Task<>::run(operation) : Task<>::detached(operation));
    }
    const bool allDone = pumpUntil([&] { return finished.load() == tasks; });
    stop = true;
    for (auto& thread : resumers) {
        thread.join();
    }
    ASSERT_TRUE(allDone) << finished.load();
    ASSERT_TRUE(pumpUntil([&] {
        for (auto& handle : handles) {
            if (!handle.isDone()) {
                return false;
            }
        }
        return true;
    }));
}

TEST(MainExecutor, DispatchedByAGlibMainContext) {
    GMainContext* context = g_main_context_new();
    auto& main = MainExecutor::shared();
    main.attachToGlibMainContext(context);
    std::vector<int> order;
    main.enqueueAfter(5ms, [&] { order.push_back(2); });
    auto handle = Task<int>::detached([]() -> Task<int> {
        co_await MainActor::hop();
        co_return isMainThread() ? 1 : 0;
    });
    main.enqueue([&] { order.push_back(1); });
    // A main job that blocks on work needing the main executor: the context must dispatch our
    // jobs recursively.
    int nested = 0;
    main.enqueue([&] {
        auto roundTrip = []() -> Task<int> {
            co_await hopTo(GlobalExecutor::shared());
            co_await MainActor::hop();
            co_return isMainThread() ? 7 : -1;
        };
        nested = blockingWait(roundTrip());
    });
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while ((order.size() < 2 || !handle.isDone() || nested == 0) &&
           std::chrono::steady_clock::now() < limit) {
        if (g_main_context_iteration(context, FALSE) == FALSE) {
            std::this_thread::sleep_for(1ms); // the task may finish on a pool thread
        }
    }
    main.attachToGlibMainContext(nullptr);
    g_main_context_unref(context);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(nested, 7);
    EXPECT_EQ(blockingWait(handle.value()), 1);
}

TEST(GlobalExecutor, HigherPriorityWorkGoesFirstAndQueuedWorkFindsAThread) {
    auto& pool = GlobalExecutor::shared();
    const unsigned workers = pool.threadCount();
    // Occupy every worker. Each blocker must get a thread of its own even when they are queued
    // in a burst.
    std::atomic<unsigned> blocked{0};
    std::vector<std::shared_ptr<std::atomic<bool>>> gates;
    for (unsigned i = 0; i < workers; ++i) {
        auto gate = std::make_shared<std::atomic<bool>>(false);
        gates.push_back(gate);
        pool.enqueue([gate, &blocked] {
            ++blocked;
            while (!*gate) {
                std::this_thread::sleep_for(100us);
            }
        });
    }
    ASSERT_TRUE(pumpUntil([&] { return blocked.load() == workers; }));

    std::mutex orderMutex;
    std::vector<TaskPriority> order;
    std::vector<Task<>> tasks;
    for (const auto priority :
         {TaskPriority::background, TaskPriority::utility, TaskPriority::medium, TaskPriority::high,
          TaskPriority::userInitiated}) {
        for (int i = 0; i < 3; ++i) {
            tasks.push_back(Task<>::detached(
                [&orderMutex, &order]() -> Task<> {
                    const std::scoped_lock lock(orderMutex);
                    order.push_back(Task<>::currentPriority());
                    co_return;
                },
                priority));
        }
    }
    // One worker drains the queue alone: strictly by band.
    *gates[0] = true;
    ASSERT_TRUE(pumpUntil([&] {
        const std::scoped_lock lock(orderMutex);
        return order.size() == tasks.size();
    }));
    for (auto& gate : gates) {
        *gate = true;
    }
    const auto band = [](TaskPriority priority) {
        return priority >= TaskPriority::userInitiated ? 0
               : priority >= TaskPriority::medium      ? 1
                                                       : 2;
    };
    for (std::size_t i = 1; i < order.size(); ++i) {
        EXPECT_LE(band(order[i - 1]), band(order[i])) << "at " << i;
    }
    EXPECT_EQ(order.front(), TaskPriority::high); // FIFO within a band
    EXPECT_EQ(order.back(), TaskPriority::utility);
}

// The worker pool: calls answered by worker processes, each under its own time limit, with
// workers that get stuck, crash or are missing.

#include "platform/runtime/Runtime.hpp"
#include "platform/script/ScriptWorkerPool.hpp"
#include "platform/script/ScriptWorkerProtocol.hpp"
#include "tests/platform/script/ScriptWorkerTestSupport.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
namespace {

using Reply = ScriptWorkerPool::Reply;
using StringObject = JSContext::StringObject;

// `count` answers how often it was called in its worker; `echo` answers its argument;
// `stuck` spends minutes in one regular expression match (time quadratic in the text's length).
constexpr std::string_view script = R"(
    var calls = 0;
    function count() { calls++; return [{calls: String(calls)}]; }
    function echo(text) { return [{text: text}]; }
    function stuck() { /a*b/.test('a'.repeat(1 << 20)); return []; }
    function fails() { throw new Error('no'); }
    function spin(ms) { var end = Date.now() + Number(ms); while (Date.now() < end) {} return []; }
)";

std::shared_ptr<ScriptWorkerPool> makePool(ScriptWorkerPool::Options options,
                                           std::filesystem::path helper = MOSS_SCRIPT_WORKER) {
    return ScriptWorkerPool::make(std::move(helper), std::string(script), "test.js", options);
}

Reply call(ScriptWorkerPool& pool, std::string name, std::vector<std::string> arguments = {}) {
    return blockingWait(pool.call(name, arguments));
}

Reply objects(std::vector<StringObject> objects) {
    return objects;
}

// A call started on the global pool, answered while the test goes on.
Task<Reply> startCall(ScriptWorkerPool& pool, std::string name) {
    return Task<Reply>::detached([&pool, name] { return pool.call(name, {}); });
}

TEST(ScriptWorkerPoolTests, CallsAreAnsweredByAWorkerKeptForLaterCalls) {
    const auto pool = makePool({.workers = 1});
    ASSERT_NE(pool, nullptr);
    const std::string withNul("a\0b\xc3\xa9", 5);
    EXPECT_EQ(call(*pool, "echo", {withNul}), objects({{{"text", withNul}}}));
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "2"}}}));
    EXPECT_EQ(call(*pool, "fails"), Reply());
    EXPECT_EQ(call(*pool, "missing"), Reply());
    // A call that fails in the script leaves its worker in place.
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "3"}}}));
}

TEST(ScriptWorkerPoolTests, StuckCallEndsAtItsLimitAndAFreshWorkerTakesTheNext) {
    const auto pool = makePool({.workers = 1});
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
    // The engine's own watchdog cannot stop this one.
    Task<Reply> slow = startCall(*pool, "stuck");
    ASSERT_TRUE(testing::waitUntil([&slow] { return slow.isDone(); }));
    EXPECT_EQ(blockingWait(std::move(slow)), Reply());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

TEST(ScriptWorkerPoolTests, SlowCallHoldsUpNoOtherAndEndsWithThePool) {
    auto pool = makePool({.workers = 2, .callLimit = std::chrono::hours(1)});
    ASSERT_NE(pool, nullptr);
    const std::vector<pid_t> before = testing::scriptWorkers();
    Task<Reply> slow = startCall(*pool, "stuck");
    // Its worker has taken it before the others come.
    ASSERT_NE(testing::newWorker(before), 0);
    for (int later = 0; later < 3; ++later) {
        Task<Reply> fast = startCall(*pool, "count");
        ASSERT_TRUE(testing::waitUntil([&fast] { return fast.isDone(); }));
        EXPECT_EQ(blockingWait(std::move(fast)), objects({{{"calls", std::to_string(later + 1)}}}));
    }
    EXPECT_FALSE(slow.isDone());
    // The fast calls got a worker of their own once the slow one had run a while.
    EXPECT_EQ(pool->statistics().workersStarted, 2U);
    pool.reset();
    EXPECT_EQ(blockingWait(std::move(slow)), Reply());
}

// Short calls, even many at once, are served by one worker: another would cost more to start
// than they take. A worker left idle goes, and the next call starts one again.
TEST(ScriptWorkerPoolTests, OneWorkerServesShortCallsAndGoesWhenIdle) {
    const auto pool = makePool({.workers = 4,
                                .idleLimit = std::chrono::milliseconds(300),
                                .growAfter = std::chrono::hours(1)});
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->statistics().workersStarted, 0U);
    std::vector<Task<Reply>> calls;
    for (int i = 0; i < 8; ++i) {
        calls.push_back(startCall(*pool, "count"));
    }
    for (Task<Reply>& answered : calls) {
        EXPECT_NE(blockingWait(std::move(answered)), Reply());
    }
    EXPECT_EQ(pool->statistics().workersStarted, 1U);
    EXPECT_TRUE(testing::waitUntil([&] { return pool->statistics().workersRunning == 0; }));
    EXPECT_TRUE(testing::scriptWorkers().empty());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
    EXPECT_EQ(pool->statistics().workersStarted, 2U);
    EXPECT_EQ(pool->statistics().workersRunning, 1U);
}

// Calls waiting in bulk behind a busy worker get more workers, up to the most allowed.
TEST(ScriptWorkerPoolTests, ABacklogGetsMoreWorkersUpToTheMost) {
    const auto pool =
        makePool({.workers = 3, .growAfter = std::chrono::hours(1), .growBacklog = 1});
    ASSERT_NE(pool, nullptr);
    const std::vector<pid_t> before = testing::scriptWorkers();
    Task<Reply> busy = Task<Reply>::detached(
        [&pool] { return pool->call("spin", std::vector<std::string>{"1500"}); });
    ASSERT_NE(testing::newWorker(before), 0);
    std::vector<Task<Reply>> calls;
    for (int i = 0; i < 6; ++i) {
        calls.push_back(startCall(*pool, "count"));
    }
    for (Task<Reply>& answered : calls) {
        EXPECT_NE(blockingWait(std::move(answered)), Reply());
    }
    EXPECT_EQ(blockingWait(std::move(busy)), objects({}));
    EXPECT_EQ(pool->statistics().workersStarted, 3U);
}

// A worker left idle is stopped and reaped by its own thread on its way out, which a new call
// must not wait for: here that thread is held (by the pool's hook) until the next call has been
// answered by a fresh worker.
TEST(ScriptWorkerPoolTests, ACallWaitsForNoWorkerOnItsWayOut) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool reached = false;
        bool open = false;
    };
    const auto gate = std::make_shared<Gate>();
    const auto pool =
        makePool({.workers = 1, .idleLimit = std::chrono::milliseconds(50), .onLeaving = [gate] {
                      std::unique_lock lock(gate->mutex);
                      gate->reached = true;
                      gate->changed.notify_all();
                      gate->changed.wait(lock, [&] { return gate->open; });
                  }});
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
    {
        std::unique_lock lock(gate->mutex);
        ASSERT_TRUE(
            gate->changed.wait_for(lock, std::chrono::seconds(60), [&] { return gate->reached; }));
    }
    Task<Reply> next = startCall(*pool, "count");
    const bool answered = testing::waitUntil([&next] { return next.isDone(); });
    {
        const std::scoped_lock lock(gate->mutex);
        gate->open = true;
    }
    gate->changed.notify_all();
    EXPECT_TRUE(answered) << "the call waited for the leaving worker's thread";
    EXPECT_EQ(blockingWait(std::move(next)), objects({{{"calls", "1"}}}));
}

// The pool's one worker, started by a first call it has answered; 0 if none came.
pid_t answeredWorker(ScriptWorkerPool& pool) {
    const std::vector<pid_t> before = testing::scriptWorkers();
    EXPECT_EQ(call(pool, "count"), objects({{{"calls", "1"}}}));
    return testing::newWorker(before);
}

// The limit counts the worker's own time: a worker the machine is too busy to run keeps its
// call, however long on the wall, while one that spins through its limit is still stopped.
TEST(ScriptWorkerPoolTests, StarvedWorkerKeepsItsCallAndABusyOneIsStopped) {
    const auto pool = makePool({.workers = 1,
                                .callLimit = std::chrono::milliseconds(300),
                                .stallLimit = std::chrono::hours(1)});
    ASSERT_NE(pool, nullptr);
    const pid_t worker = answeredWorker(*pool);
    ASSERT_NE(worker, 0);
    // Not run for several times the limit, as on a starved machine.
    ::kill(worker, SIGSTOP);
    Task<Reply> starved = startCall(*pool, "count");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(starved.isDone());
    ::kill(worker, SIGCONT);
    EXPECT_EQ(blockingWait(std::move(starved)), objects({{{"calls", "2"}}}));
    // Running script is stopped by processor time spent (the engine's watchdog, at a larger
    // limit of its own, has not yet looked), and a fresh worker takes the next call.
    EXPECT_EQ(call(*pool, "spin", {"20000"}), Reply());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

TEST(ScriptWorkerPoolTests, StalledWorkerIsStoppedAtTheLimitOnTheWall) {
    // Wide enough on the wall for a good call on a busy machine; far beyond what it runs.
    const auto pool = makePool({.workers = 1,
                                .callLimit = std::chrono::seconds(1),
                                .stallLimit = std::chrono::seconds(5)});
    ASSERT_NE(pool, nullptr);
    const pid_t worker = answeredWorker(*pool);
    ASSERT_NE(worker, 0);
    // It never runs again: only the wall's limit ends the call.
    ::kill(worker, SIGSTOP);
    Task<Reply> stalled = startCall(*pool, "count");
    ASSERT_TRUE(testing::waitUntil([&stalled] { return stalled.isDone(); }));
    EXPECT_EQ(blockingWait(std::move(stalled)), Reply());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

// Starting a worker is not counted against the call that waits for it.
TEST(ScriptWorkerPoolTests, SlowStartIsNotCountedAgainstTheFirstCall) {
    const std::string slowScript = std::string(script) + "spin(1500);";
    const auto pool =
        ScriptWorkerPool::make(MOSS_SCRIPT_WORKER, slowScript, "slow.js",
                               {.workers = 1, .callLimit = std::chrono::milliseconds(500)});
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

TEST(ScriptWorkerPoolTests, CancelledCallsLeaveTheQueueAndStopTheirWorker) {
    const auto pool = makePool({.workers = 1, .callLimit = std::chrono::hours(1)});
    ASSERT_NE(pool, nullptr);
    const std::vector<pid_t> before = testing::scriptWorkers();
    Task<Reply> slow = startCall(*pool, "stuck");
    const pid_t worker = testing::newWorker(before);
    ASSERT_NE(worker, 0);
    // Waiting behind the stuck call on the only worker: answered at once, so it never ran.
    Task<Reply> queued = startCall(*pool, "count");
    queued.cancel();
    ASSERT_TRUE(testing::waitUntil([&queued] { return queued.isDone(); }));
    EXPECT_EQ(blockingWait(std::move(queued)), Reply());
    EXPECT_FALSE(slow.isDone());
    // Running: its worker is stopped, and the next call gets a fresh one without waiting.
    slow.cancel();
    ASSERT_TRUE(testing::waitUntil([&slow] { return slow.isDone(); }));
    EXPECT_EQ(blockingWait(std::move(slow)), Reply());
    const std::vector<pid_t> running = testing::scriptWorkers();
    EXPECT_EQ(std::find(running.begin(), running.end(), worker), running.end());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

TEST(ScriptWorkerPoolTests, CrashedWorkerAnswersNothingAndIsReplaced) {
    const auto pool = makePool({.workers = 1, .callLimit = std::chrono::hours(1)});
    ASSERT_NE(pool, nullptr);
    const std::vector<pid_t> before = testing::scriptWorkers();
    Task<Reply> slow = startCall(*pool, "stuck");
    const pid_t worker = testing::newWorker(before);
    ASSERT_NE(worker, 0);
    testing::crash(worker);
    EXPECT_EQ(blockingWait(std::move(slow)), Reply());
    EXPECT_EQ(call(*pool, "count"), objects({{{"calls", "1"}}}));
}

TEST(ScriptWorkerPoolTests, MissingWorkerProgramAnswersNothing) {
    const auto pool = makePool({.workers = 1}, "/nonexistent/script-worker");
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(call(*pool, "count"), Reply());
    EXPECT_EQ(call(*pool, "count"), Reply());
}

TEST(ScriptWorkerPoolTests, RepliesCutShortOrOverlongAreRejected) {
    const Reply reply = objects({{{"content", "int"}, {"type", "keyword"}}, {}, {{"a", ""}}});
    const std::string message = scriptworker::encodeReply(reply);
    const std::string_view payload = std::string_view(message).substr(4);
    Reply decoded;
    ASSERT_TRUE(scriptworker::decodeReply(payload, decoded));
    EXPECT_EQ(decoded, reply);
    for (std::size_t length = 0; length < payload.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_FALSE(scriptworker::decodeReply(payload.substr(0, length), decoded));
    }
    EXPECT_FALSE(scriptworker::decodeReply(std::string(payload) + '\0', decoded));
    // Counts that promise more than the bytes could hold are refused before anything is made.
    const std::string huge("\x01\0\0\0\xff\xff\xff\xff", 8);
    EXPECT_FALSE(scriptworker::decodeReply(huge, decoded));
    ASSERT_TRUE(scriptworker::decodeReply(std::string_view("\0\0\0\0", 4), decoded));
    EXPECT_EQ(decoded, Reply());
}

} // namespace
} // namespace platform

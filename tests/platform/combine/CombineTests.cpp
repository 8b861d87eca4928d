#include "platform/combine/Combine.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/Runtime.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::AnyCancellable;
using platform::CancellableSet;
using platform::MainExecutor;
using platform::PassthroughSubject;

namespace {

// Drives the main loop for `duration` of real time in small steps, the way the running
// application's loop would advance between keystrokes.
void advance(std::chrono::milliseconds duration) {
    MainExecutor::shared().runFor(duration);
}

struct Recorder {
    std::vector<std::string> values;
    AnyCancellable subscribe(const platform::Publisher<std::string>& publisher) {
        return publisher.sink([this](const std::string& v) { values.push_back(v); });
    }
};

} // namespace

TEST(PassthroughSubject, DeliversToCurrentSubscribersUntilCancelled) {
    PassthroughSubject<int> subject;
    std::vector<int> a;
    std::vector<int> b;
    subject.send(0); // nobody listens yet
    AnyCancellable first = subject.sink([&](int v) { a.push_back(v); });
    {
        AnyCancellable second = subject.sink([&](int v) { b.push_back(v); });
        subject.send(1);
        EXPECT_EQ(subject.subscriptionCount(), 2U);
    }
    subject.send(2);
    first.cancel();
    subject.send(3);
    EXPECT_EQ(a, (std::vector<int>{1, 2}));
    EXPECT_EQ(b, (std::vector<int>{1}));
    EXPECT_EQ(subject.subscriptionCount(), 0U);

    // A receiver that ends another subscription during a send stops it at once.
    std::vector<int> c;
    AnyCancellable victim;
    AnyCancellable killer = subject.sink([&](int) { victim.cancel(); });
    victim = subject.sink([&](int v) { c.push_back(v); });
    subject.send(4);
    EXPECT_TRUE(c.empty());
}

TEST(Publisher, RemoveDuplicatesDropsOnlyConsecutiveRepeats) {
    PassthroughSubject<std::string> subject;
    Recorder recorder;
    AnyCancellable subscription = recorder.subscribe(subject.removeDuplicates());
    for (const char* v : {"a", "a", "b", "a", "a", "", ""}) {
        subject.send(v);
    }
    EXPECT_EQ(recorder.values, (std::vector<std::string>{"a", "b", "a", ""}));
}

TEST(Publisher, CancellableSetKeepsSubscriptionsUntilCleared) {
    PassthroughSubject<int> subject;
    int received = 0;
    CancellableSet set;
    subject.sink([&](int) { ++received; }).store(set);
    subject.removeDuplicates().sink([&](int) { ++received; }).store(set);
    subject.send(1);
    EXPECT_EQ(received, 2);
    EXPECT_EQ(set.size(), 2U);
    set.removeAll();
    subject.send(2);
    EXPECT_EQ(received, 2);
}

TEST(Debounce, DeliversOnlyTheSettledValueAfterTheQuietPeriod) {
    PassthroughSubject<std::string> subject;
    Recorder recorder;
    const AnyCancellable subscription =
        recorder.subscribe(subject.debounce(500ms, MainExecutor::shared()).removeDuplicates());

    // Typed letter by letter, 30 ms apart: only the last text arrives, once the typing stops.
    // (The steps are short next to the period so that a loaded machine does not fire early.)
    for (const char* text : {"a", "ab", "abc"}) {
        subject.send(text);
        advance(30ms);
    }
    EXPECT_TRUE(recorder.values.empty());
    EXPECT_TRUE(MainExecutor::shared().runUntil([&] { return !recorder.values.empty(); }, 2000ms));
    EXPECT_EQ(recorder.values, (std::vector<std::string>{"abc"}));

    // A letter typed and deleted within the period settles on the same text: dropped.
    subject.send("abcd");
    advance(30ms);
    subject.send("abc");
    advance(800ms);
    EXPECT_EQ(recorder.values, (std::vector<std::string>{"abc"}));

    subject.send("");
    EXPECT_TRUE(
        MainExecutor::shared().runUntil([&] { return recorder.values.size() == 2; }, 2000ms));
    EXPECT_EQ(recorder.values.back(), "");
}

TEST(Debounce, NothingArrivesAfterTheSubscriptionEnds) {
    PassthroughSubject<int> subject;
    std::vector<int> values;
    {
        const AnyCancellable subscription =
            subject.debounce(50ms, MainExecutor::shared()).sink([&](int v) {
                values.push_back(v);
            });
        subject.send(1);
    }
    advance(200ms);
    EXPECT_TRUE(values.empty());

    // Values sent from another thread are delivered on the main loop.
    std::thread::id deliveredOn;
    const AnyCancellable subscription =
        subject.debounce(20ms, MainExecutor::shared()).sink([&](int v) {
            values.push_back(v);
            deliveredOn = std::this_thread::get_id();
        });
    std::thread sender([&] { subject.send(7); });
    sender.join();
    EXPECT_TRUE(MainExecutor::shared().runUntil([&] { return !values.empty(); }, 2000ms));
    EXPECT_EQ(values, (std::vector<int>{7}));
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
}

// The foundation layer recognises the runtime's cancellation error without depending on the
// runtime; this pins the two together.
TEST(RuntimeErrors, CancellationHasTheGenericDescription) {
    EXPECT_EQ(
        platform::localizedDescription(std::make_exception_ptr(platform::CancellationError())),
        "The operation couldn’t be completed. (Swift.CancellationError error 1.)");
}

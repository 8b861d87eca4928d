#include "concurrency/ActorIsolated.hpp"
#include "concurrency/AnyHashableSendable.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/UncheckedSendable.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>
#include <thread>
#include <unordered_set>
#include <vector>

using namespace concurrency;
using platform::blockingWait;
using platform::Task;

namespace {
struct Point {
    int x = 0;
    int y = 0;
};
int failingValue() {
    throw std::runtime_error("no value");
}
} // namespace

TEST(LockIsolated, InitialValueAndErrors) {
    EXPECT_THROW(LockIsolated<int>{failingValue}, std::runtime_error);

    LockIsolated<std::vector<int>> list([] { return std::vector<int>{}; });
    EXPECT_THROW(list.withLockedValue([](std::vector<int>& value) {
        value.push_back(1);
        throw std::runtime_error("after append");
    }),
                 std::runtime_error);
    // The change made before the throw is kept, and the lock is free for another thread.
    EXPECT_EQ(list.value(), (std::vector<int>{1}));
    std::thread([&] {
        list.withLockedValue([](std::vector<int>& value) { value.push_back(2); });
    }).join();
    EXPECT_EQ(list.value().size(), 2u);

    LockIsolated<int> number([] { return 3; });
    EXPECT_THROW(number.setValue(failingValue), std::runtime_error);
    EXPECT_EQ(number.value(), 3);
}

TEST(LockIsolated, ReentrantAndCopyInCopyOut) {
    LockIsolated<int> number([] { return 0; });
    const int nested = number.withLockedValue([&](int& value) {
        value = 1;
        return number.withLockedValue([](int& inner) { return inner + 100; }); // no deadlock
    });
    EXPECT_EQ(nested, 100);
    // A nested setValue is overwritten by the outer operation's write-back.
    number.withLockedValue([&](int& value) {
        value = 1;
        number.setValue([] { return 5; });
    });
    EXPECT_EQ(number.value(), 1);

    LockIsolated<Point> point([] { return Point{2, 3}; });
    EXPECT_EQ(point[&Point::y], 3);
    const auto area = [](const Point& p) { return p.x * p.y; };
    EXPECT_EQ(point[area], 6);
}

TEST(LockIsolated, ConcurrentIncrements) {
    LockIsolated<int> counter([] { return 0; });
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            counter.withLockedValue([](int& value) { ++value; });
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter.value(), 20000);
}

TEST(ActorIsolated, IsolatedAccess) {
    EXPECT_THROW(ActorIsolated<int>{failingValue}, std::runtime_error);

    auto list =
        std::make_shared<ActorIsolated<std::vector<int>>>([] { return std::vector<int>{}; });
    auto body = [list]() -> Task<std::vector<int>> {
        auto appendThenThrow = [](std::vector<int>& value) {
            value.push_back(1);
            throw std::runtime_error("after append");
        };
        try {
            co_await list->withIsolatedValue(appendThenThrow);
        } catch (const std::runtime_error&) {
        }
        auto failing = []() -> std::vector<int> { throw std::runtime_error("no"); };
        try {
            co_await list->setValue(failing);
        } catch (const std::runtime_error&) {
        }
        co_return co_await list->value();
    };
    EXPECT_EQ(blockingWait(body()), (std::vector<int>{1}));

    // Many concurrent callers: the actor serialises them.
    auto counter = std::make_shared<ActorIsolated<int>>([] { return 0; });
    std::vector<Task<>> callers;
    for (int i = 0; i < 100; ++i) {
        callers.push_back(Task<>::detached([counter]() -> Task<> {
            auto increment = [](int& value) { ++value; };
            co_await counter->withIsolatedValue(increment);
        }));
    }
    for (auto& caller : callers) {
        blockingWait(caller.value());
    }
    EXPECT_EQ(blockingWait(counter->value()), 100);
}

TEST(AnyHashableSendable, EqualityHashingAndText) {
    const AnyHashableSendable fortyTwo = 42;
    EXPECT_EQ(fortyTwo.description(), "42");
    EXPECT_EQ(fortyTwo.debugDescription(), "AnyHashableSendable(42)");
    EXPECT_EQ(AnyHashableSendable("abc").debugDescription(), "AnyHashableSendable(\"abc\")");
    EXPECT_EQ(AnyHashableSendable(true).description(), "true");

    const AnyHashableSendable wrapped(fortyTwo);
    const AnyHashableSendable rewrapped = AnyHashableSendable(wrapped);
    EXPECT_EQ(rewrapped, fortyTwo);
    EXPECT_EQ(std::hash<AnyHashableSendable>{}(rewrapped),
              std::hash<AnyHashableSendable>{}(fortyTwo));

    EXPECT_NE(AnyHashableSendable(1), AnyHashableSendable("1"));
    EXPECT_EQ(AnyHashableSendable('a'), AnyHashableSendable("a"));
    EXPECT_EQ(AnyHashableSendable(1), AnyHashableSendable(1L)); // integers are one type
    EXPECT_NE(AnyHashableSendable(1), AnyHashableSendable(1.0));
    ASSERT_NE(AnyHashableSendable(2.5).as<double>(), nullptr);
    EXPECT_EQ(*AnyHashableSendable(2.5).as<double>(), 2.5);

    std::unordered_set<AnyHashableSendable> keys{1, "1", 2.0, true};
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_TRUE(keys.contains(AnyHashableSendable(std::string("1"))));
}

TEST(AnyHashableSendable, UnsignedValuesAboveTheSignedRangeStayApart) {
    constexpr auto largest = std::numeric_limits<std::uint64_t>::max();
    const AnyHashableSendable unsignedMax = largest;
    EXPECT_NE(unsignedMax, AnyHashableSendable(-1));
    EXPECT_NE(unsignedMax.hashValue(), AnyHashableSendable(-1).hashValue());
    EXPECT_EQ(unsignedMax.description(), "18446744073709551615");
    ASSERT_NE(unsignedMax.as<std::uint64_t>(), nullptr);
    EXPECT_EQ(*unsignedMax.as<std::uint64_t>(), largest);
    EXPECT_EQ(unsignedMax, AnyHashableSendable(largest));
    // Unsigned values a signed integer can hold are still plain integers.
    EXPECT_EQ(AnyHashableSendable(7u), AnyHashableSendable(7));
    EXPECT_EQ(AnyHashableSendable(std::uint64_t{1} << 63).description(), "9223372036854775808");
    EXPECT_NE(AnyHashableSendable(std::uint64_t{1} << 63),
              AnyHashableSendable(std::numeric_limits<std::int64_t>::min()));
}

TEST(AnyHashableSendable, DoublesAreDescribedExactly) {
    EXPECT_EQ(AnyHashableSendable(1.23456789).description(), "1.23456789");
    EXPECT_EQ(AnyHashableSendable(1.2345678).description(), "1.2345678");
    EXPECT_EQ(AnyHashableSendable(0.1).description(), "0.1");
    EXPECT_EQ(AnyHashableSendable(1.0).description(), "1.0");
    EXPECT_EQ(AnyHashableSendable(-0.0).description(), "-0.0");
    EXPECT_EQ(AnyHashableSendable(1234567.0).debugDescription(), "AnyHashableSendable(1234567.0)");
    EXPECT_EQ(AnyHashableSendable(1e300).description(), "1e+300");
    EXPECT_EQ(AnyHashableSendable(std::numeric_limits<double>::infinity()).description(), "inf");
}

TEST(UncheckedSendable, WrapsWithoutChangingValueSemantics) {
    UncheckedSendable<Point> point(Point{1, 2});
    point->x = 7;
    point.wrappedValue().y = 9;
    EXPECT_EQ(point.value.x, 7);
    EXPECT_EQ(point.value.y, 9);
    EXPECT_EQ(UncheckedSendable<int>(4), UncheckedSendable<int>(4));
    EXPECT_EQ(std::hash<UncheckedSendable<int>>{}(UncheckedSendable<int>(4)), std::hash<int>{}(4));
}

#include "Vellum/images/AnimationClock.hpp"

#include <gtest/gtest.h>
#include <limits>

namespace {

using vellum::AnimationClock;
using vellum::Image;

const AnimationClock::Date start{std::chrono::seconds(1000)};

AnimationClock::Date at(double seconds) {
    return start + std::chrono::duration_cast<AnimationClock::Date::duration>(
                       std::chrono::duration<double>(seconds));
}

std::vector<Image::Frame> frames(std::vector<double> delays) {
    std::vector<Image::Frame> result;
    for (const double delay : delays)
        result.push_back({platform::Image(), delay});
    return result;
}

std::vector<int> indicesAt(const AnimationClock& clock, std::vector<double> times) {
    std::vector<int> indices;
    for (const double t : times)
        indices.push_back(clock.frameIndexForDate(at(t)));
    return indices;
}

} // namespace

TEST(AnimationClock, ScheduleLaysDelaysEndToEnd) {
    const auto schedule = AnimationClock::makeSchedule(frames({0.1, 0.2, 0.3}));
    ASSERT_EQ(schedule.startTimes.size(), 4u);
    EXPECT_DOUBLE_EQ(schedule.startTimes[1], 0.1);
    EXPECT_DOUBLE_EQ(schedule.startTimes[2], 0.3);
    EXPECT_DOUBLE_EQ(schedule.startTimes[3], 0.6);
    EXPECT_DOUBLE_EQ(schedule.cycleDuration, 0.6);
    // Negative delays take no time.
    const auto negative = AnimationClock::makeSchedule(frames({0.5, -2, 0.5}));
    EXPECT_EQ(negative.startTimes, (std::vector<double>{0, 0.5, 0.5, 1.0}));
    EXPECT_EQ(negative.cycleDuration, 1.0);
}

TEST(AnimationClock, EndlessLoopCyclesThroughTheFrames) {
    const AnimationClock clock(frames({0.25, 0.5, 0.25}), 0, start);
    // On a start time the frame that starts there shows; 1.25 s is the second cycle's frame 1.
    EXPECT_EQ(indicesAt(clock, {0, 0.1, 0.25, 0.7, 0.75, 0.99, 1.0, 1.25, 1000.8}),
              (std::vector<int>{0, 0, 1, 1, 2, 2, 0, 1, 2}));
    EXPECT_FALSE(clock.isFinished(at(1e6)));
}

TEST(AnimationClock, FiniteLoopsStopOnTheLastFrame) {
    const AnimationClock clock(frames({0.5, 0.5}), 2, start);
    EXPECT_EQ(indicesAt(clock, {0.2, 0.7, 1.2, 1.7, 1.99}), (std::vector<int>{0, 1, 0, 1, 1}));
    EXPECT_FALSE(clock.isFinished(at(1.99)));
    EXPECT_TRUE(clock.isFinished(at(2.0)));
    // From the end of the second loop on, the last frame stays, where the cycle would show 0.
    EXPECT_EQ(indicesAt(clock, {2.0, 2.2, 3.1, 500}), (std::vector<int>{1, 1, 1, 1}));
}

TEST(AnimationClock, DatesBeforeTheStartShowTheFirstFrame) {
    const AnimationClock clock(frames({0.5, 0.5}), 1, start);
    EXPECT_EQ(indicesAt(clock, {-0.2, -1000}), (std::vector<int>{0, 0}));
}

TEST(AnimationClock, DegenerateSchedules) {
    // All delays zero: the cycle is the smallest positive duration and lookups land on the last
    // frame instead of dividing by zero.
    const AnimationClock zero(frames({0, 0, 0}), 0, start);
    EXPECT_EQ(zero.schedule.cycleDuration, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(indicesAt(zero, {0, 0.5, 12}), (std::vector<int>{2, 2, 2}));
    // No frames at all still answers a valid index.
    const AnimationClock empty(frames({}), 0, start);
    EXPECT_EQ(empty.frameIndexForDate(at(3)), 0);
}

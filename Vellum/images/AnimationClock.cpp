#include "Vellum/images/AnimationClock.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vellum {

AnimationClock::AnimationClock(const std::vector<Image::Frame>& frames, int loopCount_,
                               Date referenceDate_)
    : referenceDate(referenceDate_)
    , schedule(makeSchedule(frames))
    , loopCount(loopCount_) {}

AnimationClock::Schedule AnimationClock::makeSchedule(const std::vector<Image::Frame>& frames) {
    Schedule schedule;
    schedule.startTimes.reserve(frames.size() + 1);
    schedule.startTimes.push_back(0);
    double total = 0;
    for (const auto& frame : frames) {
        // NaN fails the comparison too and counts as no time.
        if (frame.delayTime >= 0)
            total += frame.delayTime;
        schedule.startTimes.push_back(total);
    }
    // A zero cycle would make the remainder below undefined.
    const double smallest = std::numeric_limits<double>::denorm_min();
    schedule.cycleDuration = total > smallest ? total : smallest;
    return schedule;
}

double AnimationClock::elapsed(Date date) const {
    const double seconds = std::chrono::duration<double>(date - referenceDate).count();
    return seconds > 0 ? seconds : 0;
}

bool AnimationClock::isFinished(Date date) const {
    return loopCount >= 1 && elapsed(date) >= schedule.cycleDuration * loopCount;
}

int AnimationClock::frameIndexForDate(Date date) const {
    const auto& starts = schedule.startTimes;
    if (starts.size() < 2)
        return 0;
    const int lastFrame = int(starts.size()) - 2;
    if (isFinished(date))
        return lastFrame;
    const double t = std::fmod(elapsed(date), schedule.cycleDuration);
    // The last start time not after t.
    std::size_t lo = 0;
    std::size_t hi = starts.size() - 1;
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        if (starts[mid] <= t)
            lo = mid;
        else
            hi = mid - 1;
    }
    return std::min(int(lo), lastFrame);
}

} // namespace vellum

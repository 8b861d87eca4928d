#pragma once

// Which frame of an animation belongs to a moment: the frames' delays laid end to end make one
// cycle, repeated `loopCount` times (or without end), counted from when the animation started.

#include "Vellum/images/Image.hpp"

#include <chrono>
#include <vector>

namespace vellum {

class AnimationClock {
public:
    using Date = std::chrono::steady_clock::time_point;

    struct Schedule {
        /// Seconds of one pass through all frames; never 0.
        double cycleDuration = 0;
        /// When each frame starts within a cycle, then the cycle's end: one entry more than
        /// there are frames.
        std::vector<double> startTimes;
        friend bool operator==(const Schedule&, const Schedule&) = default;
    };

    AnimationClock(const std::vector<Image::Frame>& frames, int loopCount, Date referenceDate);

    static Schedule makeSchedule(const std::vector<Image::Frame>& frames);

    /// The frame to show at `date`; 0 before the start.
    [[nodiscard]] int frameIndexForDate(Date date) const;
    /// Whether every loop has played by `date`, so the last frame stays from then on.
    [[nodiscard]] bool isFinished(Date date) const;

    Date referenceDate;
    Schedule schedule;
    int loopCount = 0;

    friend bool operator==(const AnimationClock&, const AnimationClock&) = default;

private:
    [[nodiscard]] double elapsed(Date date) const;
};

} // namespace vellum

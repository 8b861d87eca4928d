#pragma once

#include <chrono>
#include <compare>

namespace platform {

// A point in time, independent of calendar and time zone.
class Date {
public:
    using Clock = std::chrono::system_clock;
    using TimePoint = Clock::time_point;

    // The current date and time.
    Date();
    explicit Date(TimePoint timePoint)
        : timePoint_(timePoint) {}

    [[nodiscard]] static Date now() { return Date(); }
    // Seconds since 1970-01-01T00:00:00Z, fractional.
    [[nodiscard]] static Date fromTimeIntervalSince1970(double seconds);

    [[nodiscard]] TimePoint timePoint() const { return timePoint_; }
    [[nodiscard]] double timeIntervalSince1970() const;
    // Seconds from `other` to this date (negative when this one is earlier).
    [[nodiscard]] double timeIntervalSince(const Date& other) const;

    friend bool operator==(const Date&, const Date&) = default;
    friend auto operator<=>(const Date&, const Date&) = default;

private:
    TimePoint timePoint_;
};

} // namespace platform

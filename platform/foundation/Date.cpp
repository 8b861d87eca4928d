#include "platform/foundation/Date.hpp"

#include <cmath>

namespace platform {

Date::Date()
    : timePoint_(Clock::now()) {}

Date Date::fromTimeIntervalSince1970(double seconds) {
    const auto duration = std::chrono::duration<double>(seconds);
    return Date(TimePoint(std::chrono::duration_cast<Clock::duration>(duration)));
}

double Date::timeIntervalSince1970() const {
    return std::chrono::duration<double>(timePoint_.time_since_epoch()).count();
}

double Date::timeIntervalSince(const Date& other) const {
    return std::chrono::duration<double>(timePoint_ - other.timePoint_).count();
}

} // namespace platform

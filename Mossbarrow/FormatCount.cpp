#include "Mossbarrow/FormatCount.hpp"

#include <cmath>
#include <fmt/format.h>

namespace mossbarrow {

std::string formatCount(std::int64_t value) {
    // The absolute value is taken in floating point so that the smallest 64-bit value cannot
    // overflow.
    const double magnitude = std::fabs(static_cast<double>(value));
    if (magnitude < 1000.0) {
        return fmt::format("{}", value);
    }
    const char* sign = value < 0 ? "-" : "";
    double divisor = 1e9;
    const char* suffix = "B";
    if (magnitude < 1e6) {
        divisor = 1e3;
        suffix = "K";
    } else if (magnitude < 1e9) {
        divisor = 1e6;
        suffix = "M";
    }
    // std::round rounds halves away from zero; fmt writes "." whatever the locale.
    const double rounded = std::round(magnitude / divisor * 10.0) / 10.0;
    std::string text = fmt::format("{:.1f}", rounded);
    for (auto at = text.find(".0"); at != std::string::npos; at = text.find(".0")) {
        text.erase(at, 2);
    }
    return std::string(sign) + text + suffix;
}

} // namespace mossbarrow

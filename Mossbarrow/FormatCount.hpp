#pragma once

#include <cstdint>
#include <string>

namespace mossbarrow {

// Short form of a count for rows and detail panes: plain below a thousand, else one decimal at
// most with a K, M or B suffix ("1.3K", "2.5M"). The scale is chosen before rounding, so
// 999,950 reads "1000K".
std::string formatCount(std::int64_t value);

} // namespace mossbarrow

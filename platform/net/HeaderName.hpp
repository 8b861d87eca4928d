#pragma once

// Private to platform/net: header field names compare without regard to ASCII case.

#include "platform/foundation/ASCII.hpp"

#include <string_view>

namespace platform::net_detail {

inline bool headerNamesEqual(std::string_view a, std::string_view b) {
    return ascii::equalsIgnoringCase(a, b);
}

} // namespace platform::net_detail

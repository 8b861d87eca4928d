#pragma once

// Private to platform/net: header field names compare without regard to ASCII case.

#include <algorithm>
#include <cctype>
#include <string_view>

namespace platform::net_detail {

inline bool headerNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace platform::net_detail

#include "Math/HexColor.hpp"

#include "platform/foundation/ASCII.hpp"

#include <cstdint>

namespace Math {

std::optional<platform::Color> colorFromHexString(std::string_view text) {
    if (text.empty() || text.front() != '#') {
        return std::nullopt;
    }
    std::size_t i = 0;
    while (i < text.size() && text[i] == '#') {
        ++i;
    }
    // Only the low 24 bits are used, so the digits can be accumulated modulo 2^24: a number of
    // any length keeps its last six digits.
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size(); ++i) {
        const int digit = platform::ascii::hexValue(text[i]);
        if (digit < 0) {
            break;
        }
        value = ((value << 4) | static_cast<std::uint32_t>(digit)) & 0xFFFFFFu;
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return platform::Color(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0,
                           (value & 0xFF) / 255.0, 1.0);
}

} // namespace Math

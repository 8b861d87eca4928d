#pragma once

// Hash mixing shared by every std::hash specialisation and hash() member of the tree.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

// Mixes `value` into `seed` and returns the result; order matters, so (a, b) and (b, a) hash
// apart. The constant is the 64-bit golden ratio, the shifts spread low bits upward.
[[nodiscard]] constexpr std::size_t hashCombine(std::size_t seed, std::size_t value) noexcept {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

// The hash of a floating-point value as compared: +0 and -0 compare equal, so they hash alike.
[[nodiscard]] inline std::size_t hashDouble(double value) noexcept {
    if (value == 0) {
        value = 0;
    }
    return std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(value));
}

} // namespace platform

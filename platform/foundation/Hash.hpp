#pragma once

// Hash mixing shared by every std::hash specialisation and hash() member of the tree.

#include <cstddef>

namespace platform {

// Mixes `value` into `seed` and returns the result; order matters, so (a, b) and (b, a) hash
// apart. The constant is the 64-bit golden ratio, the shifts spread low bits upward.
[[nodiscard]] constexpr std::size_t hashCombine(std::size_t seed, std::size_t value) noexcept {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

} // namespace platform

#pragma once

// Hash mixing shared by the text environment, colour and font values: fields are fed in order into
// one seed, optionals with a presence marker first, and lengths by bit pattern with -0.0 folded
// onto 0.0 so that values that compare equal hash equal.

#include "platform/foundation/Hash.hpp"
#include "platform/graphics/Geometry.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace vellum::detail {

// Mixes in place: the fields of one value are fed in order into one seed.
inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
    seed = platform::hashCombine(seed, value);
}

inline std::size_t hashLength(double value) noexcept {
    return std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value));
}

template <class T>
void hashValue(std::size_t& seed, const T& value) noexcept {
    if constexpr (std::is_floating_point_v<T>) {
        hashCombine(seed, hashLength(static_cast<double>(value)));
    } else {
        hashCombine(seed, std::hash<T>{}(value));
    }
}

inline void hashValue(std::size_t& seed, const platform::Size& size) noexcept {
    hashCombine(seed, hashLength(size.width));
    hashCombine(seed, hashLength(size.height));
}

template <class T>
void hashValue(std::size_t& seed, const std::optional<T>& value) noexcept {
    hashCombine(seed, value ? 1 : 0);
    if (value) {
        hashValue(seed, *value);
    }
}

} // namespace vellum::detail

#pragma once

// A caret place in a collection of laid-out texts: a glyph slice and the side of it the caret
// stands on. The place between two slices has two spellings (after the first, before the second);
// they are different positions, ordered by their paths.

#include "Vellum/selection/IndexPath.hpp"

#include <compare>
#include <cstdint>
#include <functional>
#include <string>

namespace vellum {

struct TextPosition {
    /// `downstream` stands at the leading edge of its slice, `upstream` at the trailing edge.
    enum class Affinity : std::uint8_t { downstream, upstream };

    IndexPath indexPath;
    Affinity affinity = Affinity::downstream;

    /// Paths first, then downstream before upstream.
    friend constexpr auto operator<=>(const TextPosition&, const TextPosition&) = default;
    /// "^(0, 2, 1, 5)" downstream, "(0, 2, 1, 5)^" upstream.
    std::string description() const;
};

} // namespace vellum

template <>
struct std::hash<vellum::TextPosition> {
    std::size_t operator()(const vellum::TextPosition& p) const noexcept {
        return std::hash<vellum::IndexPath>()(p.indexPath) * 31u +
               static_cast<std::size_t>(p.affinity);
    }
};

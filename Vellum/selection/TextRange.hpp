#pragma once

// A selected stretch: two positions. The range does not order its ends; whoever builds one from a
// drag puts the earlier position first.

#include "Vellum/selection/TextPosition.hpp"

#include <functional>
#include <string>

namespace vellum {

struct TextRange {
    TextPosition start;
    TextPosition end;

    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
    /// Whether the slice at `path` lies inside: an upstream start leaves its own slice out, and so
    /// does a downstream end.
    bool contains(const IndexPath& path) const;
    /// "[^(0, 0, 0, 0)...(0, 0, 3, 2)^]".
    std::string description() const;
};

} // namespace vellum

template <>
struct std::hash<vellum::TextRange> {
    std::size_t operator()(const vellum::TextRange& r) const noexcept {
        return std::hash<vellum::TextPosition>()(r.start) * 1000003u ^
               std::hash<vellum::TextPosition>()(r.end);
    }
};

#pragma once

// The space a block asks for above and below it, and the preference through which blocks tell the
// block stack about it.

#include "Vellum/text/FontScalable.hpp"
#include "Vellum/text/FontScaled.hpp"

#include <cstddef>
#include <initializer_list>
#include <optional>

namespace vellum::structured {

// The largest of the present lengths; of equal ones the first wins. Nothing when none is present.
[[nodiscard]] std::optional<double>
maxOfOptionals(std::initializer_list<std::optional<double>> values);

struct BlockSpacing {
    // Points (or ems inside a FontScaled). Absent: no wish for that side, so the stack falls back
    // to the ordinary spacing between the two views.
    std::optional<double> top;
    std::optional<double> bottom;

    BlockSpacing() = default;
    BlockSpacing(std::optional<double> top_, std::optional<double> bottom_ = std::nullopt)
        : top(top_)
        , bottom(bottom_) {}

    // Per side, the larger wish of the two; absent where neither has one.
    [[nodiscard]] BlockSpacing unioned(const BlockSpacing& other) const {
        return {maxOfOptionals({top, other.top}), maxOfOptionals({bottom, other.bottom})};
    }
    // Each present side times `factor`; absent sides stay absent.
    [[nodiscard]] BlockSpacing scaled(double factor) const {
        return {top ? std::optional<double>(*top * factor) : std::nullopt,
                bottom ? std::optional<double>(*bottom * factor) : std::nullopt};
    }

    friend bool operator==(const BlockSpacing&, const BlockSpacing&) = default;
};

} // namespace vellum::structured

// Declared before any FontScaled<BlockSpacing> is formed: a scalability check made earlier would
// be remembered as failed.
namespace vellum {

template <>
struct FontScalable<structured::BlockSpacing> {
    static structured::BlockSpacing scaled(const structured::BlockSpacing& spacing, double factor) {
        return spacing.scaled(factor);
    }
};

} // namespace vellum

namespace vellum::structured {

// A block spacing in units of the current font size.
[[nodiscard]] inline FontScaled<BlockSpacing> fontScaled(std::optional<double> top,
                                                         std::optional<double> bottom) {
    return FontScaled<BlockSpacing>(BlockSpacing(top, bottom));
}

// What the blocks of a subtree ask for, merged side by side.
struct BlockSpacingKey {
    using Value = BlockSpacing;
    static Value defaultValue() { return {}; }
    static void reduce(Value& value, Value next) { value = value.unioned(next); }
};

} // namespace vellum::structured

template <>
struct std::hash<vellum::structured::BlockSpacing> {
    std::size_t operator()(const vellum::structured::BlockSpacing& spacing) const noexcept;
};

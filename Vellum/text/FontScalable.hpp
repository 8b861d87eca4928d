#pragma once

// Values whose lengths can be multiplied by a factor: the point size of a font, when an em-based
// length is turned into points. Other value types join by specialising FontScalable.

#include "platform/graphics/Geometry.hpp"
#include "platform/ui/Layout.hpp"

#include <concepts>
#include <optional>

namespace vellum {

template <class Value>
struct FontScalable;

// Floating-point lengths: the factor is converted to the value's own type first.
template <std::floating_point Value>
struct FontScalable<Value> {
    static Value scaled(Value value, double factor) { return value * static_cast<Value>(factor); }
};

template <>
struct FontScalable<platform::Size> {
    static platform::Size scaled(const platform::Size& size, double factor) {
        return {size.width * factor, size.height * factor};
    }
};

template <>
struct FontScalable<platform::EdgeInsets> {
    static platform::EdgeInsets scaled(const platform::EdgeInsets& insets, double factor) {
        return {insets.top * factor, insets.leading * factor, insets.bottom * factor,
                insets.trailing * factor};
    }
};

// An absent dimension stays absent: it means "no proposal", not zero.
template <>
struct FontScalable<platform::ui::ProposedViewSize> {
    static platform::ui::ProposedViewSize scaled(const platform::ui::ProposedViewSize& proposal,
                                                 double factor) {
        const auto scale = [factor](std::optional<double> length) -> std::optional<double> {
            if (length) {
                return *length * factor;
            }
            return std::nullopt;
        };
        return {scale(proposal.width), scale(proposal.height)};
    }
};

template <class Value>
concept FontScalableValue = requires(const Value& value, double factor) {
    { FontScalable<Value>::scaled(value, factor) } -> std::convertible_to<Value>;
};

template <FontScalableValue Value>
Value scaled(const Value& value, double factor) {
    return FontScalable<Value>::scaled(value, factor);
}

} // namespace vellum

#pragma once

// How inline emoji images sit in a line, in units of the font's point size; kept in the view
// environment so that a subtree can make its emoji larger or lift them.

#include "Vellum/text/FontScaled.hpp"
#include "platform/graphics/Geometry.hpp"

#include <cstddef>
#include <functional>

namespace vellum {

struct EmojiProperties {
    FontScaled<platform::Size> size;
    // Negative lowers the image below the baseline.
    FontScaled<double> baselineOffset;

    EmojiProperties(FontScaled<platform::Size> size_, FontScaled<double> baselineOffset_)
        : size(size_)
        , baselineOffset(baselineOffset_) {}

    // A square one em wide, a tenth of an em below the baseline.
    static EmojiProperties defaultValue() {
        return {FontScaled<platform::Size>::fontScaled(1.0, 1.0), FontScaled<double>(-0.1)};
    }

    friend bool operator==(const EmojiProperties&, const EmojiProperties&) = default;
};

struct EmojiPropertiesKey {
    using Value = EmojiProperties;
    static Value defaultValue() { return EmojiProperties::defaultValue(); }
};

} // namespace vellum

template <>
struct std::hash<vellum::EmojiProperties> {
    std::size_t operator()(const vellum::EmojiProperties& properties) const noexcept {
        std::size_t seed = 0;
        vellum::detail::hashValue(seed, properties.size.value);
        vellum::detail::hashValue(seed, properties.baselineOffset.value);
        return seed;
    }
};

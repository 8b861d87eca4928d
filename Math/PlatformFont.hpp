#pragma once

// A math font made ready for one typesetting or drawing pass: its face, the face at the font's
// size and the font's metrics at that size. Built per use from the registry's shared state.

#include "Math/FontMetrics.hpp"
#include "Math/MathFont.hpp"
#include "platform/text/GlyphFace.hpp"
#include "platform/text/GlyphFont.hpp"

#include <memory>

namespace Math {

class FontRegistry;

class PlatformFont {
public:
    /// Sizes above this (points) are not set: nothing that large is a formula.
    static constexpr double maxSize = 5000;

    /// The font from the shared registry, or from `registry`. Nothing when the font does not
    /// load, or its size is negative, not finite, or above `maxSize`. A size of 0 is a font:
    /// everything it measures is 0 and it draws nothing.
    static std::shared_ptr<const PlatformFont> make(const Font& font);
    static std::shared_ptr<const PlatformFont> make(const Font& font, FontRegistry& registry);

    PlatformFont(Font font, std::shared_ptr<const platform::GlyphFace> face, FontMetrics metrics);

    const Font& font() const { return font_; }
    const platform::GlyphFace& face() const { return *face_; }
    const std::shared_ptr<const platform::GlyphFace>& sharedFace() const { return face_; }
    /// The face at `font().size`.
    const platform::GlyphFont& glyphFont() const { return glyphFont_; }
    const FontMetrics& metrics() const { return metrics_; }

private:
    Font font_;
    std::shared_ptr<const platform::GlyphFace> face_;
    platform::GlyphFont glyphFont_;
    FontMetrics metrics_;
};

} // namespace Math

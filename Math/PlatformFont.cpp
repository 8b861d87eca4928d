#include "Math/PlatformFont.hpp"

#include "Math/FontRegistry.hpp"

#include <cmath>

namespace Math {

std::shared_ptr<const PlatformFont> PlatformFont::make(const Font& font) {
    return make(font, FontRegistry::shared());
}

std::shared_ptr<const PlatformFont> PlatformFont::make(const Font& font, FontRegistry& registry) {
    if (!std::isfinite(font.size) || font.size < 0 || font.size > maxSize) {
        return nullptr;
    }
    std::shared_ptr<const platform::GlyphFace> face = registry.graphicsFont(font.name);
    if (!face) {
        return nullptr;
    }
    std::shared_ptr<const FontMetrics::Tables> tables = registry.metricsTables(font.name);
    if (!tables) {
        return nullptr;
    }
    const unsigned unitsPerEm = face->unitsPerEm();
    return std::make_shared<const PlatformFont>(font, std::move(face),
                                                FontMetrics(font, unitsPerEm, std::move(tables)));
}

PlatformFont::PlatformFont(Font font, std::shared_ptr<const platform::GlyphFace> face,
                           FontMetrics metrics)
    : font_(std::move(font))
    , face_(std::move(face))
    , glyphFont_(face_, font_.size)
    , metrics_(std::move(metrics)) {}

} // namespace Math

#include "Math/PlatformFont.hpp"

#include "Math/FontRegistry.hpp"

#include <array>
#include <cmath>
#include <cstddef>

namespace Math {

std::shared_ptr<const PlatformFont> PlatformFont::make(const Font& font) {
    // A typesetter makes the font of its style level for every script and limit it sets, mostly
    // the same two or three sizes: the fonts made last on this thread are handed out again. A
    // font the shared registry loaded stays loaded, so what was made from it stays right.
    thread_local std::array<std::shared_ptr<const PlatformFont>, 8> recent;
    thread_local std::size_t next = 0;
    for (const auto& known : recent) {
        if (known && known->font() == font) {
            return known;
        }
    }
    auto made = make(font, FontRegistry::shared());
    if (made) {
        recent[next++ % recent.size()] = made;
    }
    return made;
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

// Stretchy glyphs: the size variant of a glyph that best fits a wanted height or width, and, when
// even the largest variant is too short, the glyph assembled from its extensible parts.

#include "Math/GlyphFallback.hpp"
#include "Math/TextCharacters.hpp"
#include "Math/Typesetter.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Math {

Typesetter::GlyphChoice Typesetter::measureGlyph(platform::GlyphID glyph) {
    return measureGlyph(styleFont(), glyph);
}

Typesetter::GlyphChoice Typesetter::measureGlyph(const PlatformFont& font,
                                                 platform::GlyphID glyph) {
    const auto& glyphFont = font.glyphFont();
    const platform::Rect bounds = glyphFont.boundingRect(glyph);
    return {glyph, std::max(0.0, bounds.maxY()), std::max(0.0, -bounds.minY()),
            glyphFont.advance(glyph).width};
}

Typesetter::GlyphChoice Typesetter::findGlyphForHeight(platform::GlyphID glyph, CGFloat height) {
    return findGlyphForHeight(styleFont(), glyph, height);
}

Typesetter::GlyphChoice Typesetter::findGlyphForHeight(const PlatformFont& font,
                                                       platform::GlyphID glyph, CGFloat height) {
    const auto variants = font.metrics().verticalVariants(glyph);
    GlyphChoice choice = measureGlyph(font, variants.empty() ? glyph : variants.front());
    for (const auto variant : variants) {
        choice = measureGlyph(font, variant);
        if (choice.ascent + choice.descent >= height) {
            return choice;
        }
    }
    return choice;
}

Typesetter::GlyphChoice Typesetter::findHorizontalVariant(platform::GlyphID glyph,
                                                          CGFloat maxWidth_) {
    const auto variants = styleFont().metrics().horizontalVariants(glyph);
    if (variants.empty()) {
        return measureGlyph(glyph);
    }
    const auto& glyphFont = styleFont().glyphFont();
    GlyphChoice current = measureGlyph(variants.front());
    for (std::size_t i = 0; i < variants.size(); ++i) {
        const CGFloat testWidth = glyphFont.boundingRect(variants[i]).maxX();
        if (testWidth > maxWidth_) {
            return i == 0 ? measureGlyph(variants.front()) : current;
        }
        current = measureGlyph(variants[i]);
    }
    return current;
}

std::optional<Typesetter::AssembledGlyphs>
Typesetter::constructGlyphParts(std::span<const FontMetrics::GlyphPart> parts, CGFloat height) {
    return constructGlyphParts(styleFont(), parts, height);
}

std::optional<Typesetter::AssembledGlyphs>
Typesetter::constructGlyphParts(const PlatformFont& font,
                                std::span<const FontMetrics::GlyphPart> parts, CGFloat height) {
    if (parts.empty() || std::isnan(height)) {
        return std::nullopt;
    }
    const CGFloat minOverlap = font.metrics().minConnectorOverlap();
    const bool hasExtender =
        std::any_of(parts.begin(), parts.end(), [](const auto& part) { return part.isExtender; });
    std::size_t fixedParts = 0;
    std::size_t extenders = 0;
    for (const auto& part : parts) {
        (part.isExtender ? extenders : fixedParts) += 1;
    }
    // Each round adds one copy of every extender. When the glyph limit (or, without extenders,
    // the only possible assembly) is reached short of the height, the tallest assembly is used.
    for (std::size_t repeats = 0;; ++repeats) {
        AssembledGlyphs result;
        CGFloat offset = 0;
        CGFloat maxDelta = std::numeric_limits<CGFloat>::max();
        const FontMetrics::GlyphPart* previous = nullptr;
        for (const auto& part : parts) {
            const std::size_t copies = part.isExtender ? repeats : 1;
            for (std::size_t copy = 0; copy < copies; ++copy) {
                result.glyphs.push_back(part.glyph);
                if (previous) {
                    const CGFloat maxOverlap =
                        std::min(part.startConnectorLength, previous->endConnectorLength);
                    const CGFloat minAdvance = previous->fullAdvance - maxOverlap;
                    const CGFloat slack = (previous->fullAdvance - minOverlap) - minAdvance;
                    maxDelta = std::min(maxDelta, slack);
                    offset += minAdvance;
                }
                result.offsets.push_back(offset);
                previous = &part;
            }
        }
        if (!previous) {
            continue; // only extenders, repeated 0 times
        }
        const CGFloat minHeight = offset + previous->fullAdvance;
        if (minHeight >= height) {
            result.height = minHeight;
            return result;
        }
        const auto gaps = static_cast<CGFloat>(result.glyphs.size() - 1);
        const bool lastRound =
            !hasExtender || fixedParts + (repeats + 1) * extenders > maxAssemblyGlyphs;
        const bool canSpread = gaps > 0 && maxDelta > 0 && std::isfinite(maxDelta);
        if ((canSpread && minHeight + maxDelta * gaps >= height) || lastRound) {
            const CGFloat delta =
                canSpread ? std::min(maxDelta, (height - minHeight) / gaps) : CGFloat{0};
            for (std::size_t i = 0; i < result.offsets.size(); ++i) {
                result.offsets[i] += static_cast<CGFloat>(i) * delta;
            }
            result.height = result.offsets.back() + previous->fullAdvance;
            return result;
        }
    }
}

std::shared_ptr<DisplayGlyphRun> Typesetter::constructGlyphAssembly(platform::GlyphID glyph,
                                                                    CGFloat height) {
    return constructGlyphAssembly(styleFont(), glyph, height);
}

std::shared_ptr<DisplayGlyphRun> Typesetter::constructGlyphAssembly(const PlatformFont& font,
                                                                    platform::GlyphID glyph,
                                                                    CGFloat height) {
    const auto parts = font.metrics().verticalAssembly(glyph);
    if (parts.empty()) {
        return nullptr;
    }
    auto assembled = constructGlyphParts(font, parts, height);
    if (!assembled || assembled->glyphs.empty()) {
        return nullptr;
    }
    const CGFloat width = font.glyphFont().advance(assembled->glyphs.front()).width;
    auto run = std::make_shared<DisplayGlyphRun>(std::move(assembled->glyphs),
                                                 std::move(assembled->offsets), font.font());
    run->setWidth(width);
    run->setAscent(assembled->height);
    run->setDescent(0);
    return run;
}

Typesetter::FontGlyph Typesetter::drawableGlyph(std::string_view text) {
    styleFont();
    if (const auto* known = drawableGlyphs_.find(styleFont_->font(), text)) {
        return {known->first, known->second};
    }
    const auto characters = textCharacters(text);
    if (characters.empty()) {
        return {styleFont_, 0};
    }
    DrawableText drawn = drawableText(characters.front(), *styleFont_);
    auto font = drawn.font ? std::move(drawn.font) : styleFont_;
    const platform::GlyphID glyph = firstGlyph(*font, drawn.text);
    drawableGlyphs_.add(text, {font, glyph});
    return {std::move(font), glyph};
}

std::shared_ptr<DisplayShiftedNode> Typesetter::stretchedGlyph(std::string_view character,
                                                               CGFloat height) {
    const FontGlyph drawn = drawableGlyph(character);
    const PlatformFont& font = *drawn.font;
    const platform::GlyphID glyph = drawn.glyph;
    const GlyphChoice choice = findGlyphForHeight(font, glyph, height);
    std::shared_ptr<DisplayShiftedNode> node;
    if (choice.ascent + choice.descent < height) {
        // The assembly belongs to the base glyph, not to its largest variant.
        node = constructGlyphAssembly(font, glyph, height);
    }
    if (!node) {
        auto single = std::make_shared<DisplayGlyph>(choice.glyph, font.font());
        single->setAscent(choice.ascent);
        single->setDescent(choice.descent);
        single->setWidth(choice.width);
        node = std::move(single);
    }
    return node;
}

std::shared_ptr<DisplayShiftedNode> Typesetter::radicalGlyph(CGFloat height) {
    return stretchedGlyph("\u221A", height);
}

std::shared_ptr<DisplayShiftedNode> Typesetter::boundaryGlyph(std::string_view delimiter,
                                                              CGFloat height) {
    auto node = stretchedGlyph(delimiter, height);
    // Centred on the math axis.
    node->shiftDown = 0.5 * (node->ascent() - node->descent()) - styleFont().metrics().axisHeight();
    return node;
}

} // namespace Math

#pragma once

// A font face loaded from a font file's bytes, for code that works with individual glyphs (the
// math typesetter): glyph names and identifiers in both directions, design-unit metrics and
// outlines. Size-independent; `GlyphFont` puts a face at a point size.

#include "platform/graphics/Geometry.hpp"
#include "platform/graphics/Path.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using GlyphID = std::uint16_t;

class GlyphFace {
public:
    /// Font files larger than this are not loaded.
    static constexpr std::size_t maxFileSize = std::size_t{64} << 20;

    /// The face at `faceIndex` of an OpenType/TrueType file's bytes; nothing when the bytes are
    /// not a font FreeType can open, have no glyphs, or exceed `maxFileSize`.
    static std::shared_ptr<const GlyphFace> fromData(std::vector<std::uint8_t> bytes,
                                                     unsigned faceIndex = 0);
    /// Reads the whole file, then as `fromData`; nothing when it cannot be read.
    static std::shared_ptr<const GlyphFace> fromFile(const std::string& path,
                                                     unsigned faceIndex = 0);

    ~GlyphFace();
    GlyphFace(const GlyphFace&) = delete;
    GlyphFace& operator=(const GlyphFace&) = delete;

    std::string postScriptName() const;
    std::string familyName() const;
    unsigned unitsPerEm() const;
    unsigned glyphCount() const;
    /// Distance from the baseline to the top and bottom of the face's line, in design units
    /// (descender as a positive number).
    double ascender() const;
    double descender() const;
    /// Whether the face carries an OpenType MATH table.
    bool hasMathTable() const;

    /// The glyph's name from the face's own tables; nothing for glyphs without one.
    std::optional<std::string> glyphName(GlyphID glyph) const;
    /// The glyph of that name; nothing when the face has none.
    std::optional<GlyphID> glyph(std::string_view name) const;
    /// The face's glyph for a character; nothing when it has none.
    std::optional<GlyphID> glyph(char32_t character) const;

    /// Horizontal advance in design units; 0 for glyphs the face does not have.
    double advance(GlyphID glyph) const;
    /// The glyph's ink box in design units, y up from the baseline; the zero rectangle for a
    /// glyph without ink or one the face does not have.
    Rect boundingBox(GlyphID glyph) const;
    /// The glyph's outline in design units, y up; empty for a glyph without one.
    Path outline(GlyphID glyph) const;

    /// Backing state, defined in the layer's private GlyphFaceInternal.hpp; faces are made by
    /// `fromData` and `fromFile`.
    struct Internal;
    explicit GlyphFace(std::unique_ptr<Internal> internal);
    const Internal& internal() const { return *internal_; }

private:
    std::unique_ptr<Internal> internal_;
};

} // namespace platform

#pragma once

// Private to the text layer: what a GlyphFace holds of HarfBuzz, FreeType and Cairo.

#include "platform/text/GlyphFace.hpp"

#include <cairo.h>
#include <hb.h>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

struct GlyphFace::Internal {
    /// The file's bytes; HarfBuzz and FreeType read them in place.
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    hb_face_t* face = nullptr;
    /// Scaled to the design units, so every metric comes back unscaled.
    hb_font_t* font = nullptr;
    /// Owns the FreeType face that draws the glyphs.
    cairo_font_face_t* cairoFace = nullptr;
    std::string postScriptName;
    std::string familyName;

    /// Ink boxes already asked for, by glyph: finding one reads the glyph's outline, and a long
    /// run of text asks for the same few glyphs over and over.
    struct KnownBox {
        Rect box;
        bool known = false;
    };
    mutable std::mutex boxesMutex;
    mutable std::vector<KnownBox> boxes;

    /// Short texts already shaped whole, by text, in design units (so for every size): a formula
    /// shapes the same few limits, scripts and symbols over and over, each on its own.
    struct ShapedGlyph {
        hb_codepoint_t glyph = 0;
        std::uint32_t cluster = 0; // byte offset
        hb_position_t xOffset = 0;
        hb_position_t yOffset = 0;
        hb_position_t xAdvance = 0;
        bool unsafeToBreak = false;
    };
    static constexpr std::size_t shortestUnkeptText = 33;
    static constexpr std::size_t keptShapes = 4096;
    mutable std::mutex shapesMutex;
    mutable std::unordered_map<std::string, std::vector<ShapedGlyph>> shapes;

    ~Internal();
};

} // namespace platform

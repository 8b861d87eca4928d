#pragma once

// Private to the text layer: what a GlyphFace holds of HarfBuzz, FreeType and Cairo.

#include "platform/text/GlyphFace.hpp"

#include <cairo.h>
#include <hb.h>
#include <mutex>
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

    ~Internal();
};

} // namespace platform

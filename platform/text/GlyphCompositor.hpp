#pragma once

// Glyphs composited straight into an image's pixels, without Cairo's per-call machinery: for the
// common drawing of text (a solid colour over an ARGB image, whole-pixel translation, no clip
// reaching into the glyphs but boxes of whole pixels) the pixels come out exactly as
// cairo_show_glyphs makes them; everything else is left to it.

#include "platform/graphics/CairoAccess.hpp"

#include <cairo.h>
#include <cstdint>

namespace platform::text_internal {

class GlyphCompositor {
public:
    /// Draws into the target of `context`, whose clips, pending ones included, it honours.
    explicit GlyphCompositor(GraphicsContext& context);
    /// Draws into the target of `cr`, whose clip must leave every pixel of `unclipped` (device
    /// space) whole and, as far as it reaches into the glyphs, be a box of whole pixels. With
    /// `throughClipMask`, glyphs are drawn as Cairo draws them under a clip to a curved shape.
    GlyphCompositor(cairo_t* cr, const PixelBox& unclipped, bool throughClipMask);
    GlyphCompositor(const GlyphCompositor&) = delete;
    GlyphCompositor& operator=(const GlyphCompositor&) = delete;

    /// Whether the target is one `show` may draw into at all.
    bool ready() const { return ready_; }

    /// Draws `glyphs` (user-space positions) of `font` in Cairo's current source and operator as
    /// cairo_show_glyphs would with `font` set, to the bit; given `colour` (opacity applied), in
    /// that colour and the context's blend mode instead, as CairoAccess::applyColor would set
    /// them. False, with nothing drawn, where that is not sure. `installed` is the font set in
    /// Cairo: the first time a font comes, Cairo is asked which font it draws with for it, which
    /// sets it there.
    bool show(cairo_scaled_font_t* font, const cairo_glyph_t* glyphs, int count,
              cairo_scaled_font_t*& installed, const RGBA* colour = nullptr);

    /// Whether `show` may draw at all: off, every call answers false (for comparing with Cairo).
    static void setEnabled(bool enabled);

private:
    void prepare(const PixelBox& unclipped);

    cairo_t* cr_ = nullptr;
    cairo_surface_t* target_ = nullptr;
    std::uint8_t* pixels_ = nullptr;
    int stride_ = 0;
    int width_ = 0;
    int height_ = 0;
    /// User space to the target's pixels: a translation.
    double tx_ = 0;
    double ty_ = 0;
    /// Pixels of the target no clip reaches into, in its own coordinates.
    int clipX0_ = 0;
    int clipY0_ = 0;
    int clipX1_ = 0;
    int clipY1_ = 0;
    /// The box that Cairo keeps glyphs within before it drops them, in the target's pixels.
    int keepX0_ = 0;
    int keepY0_ = 0;
    int keepX1_ = 0;
    int keepY1_ = 0;
    /// Pixels Cairo's own clip leaves whole, in the target's coordinates, when that clip is not a
    /// box of whole pixels (`partClipped_`).
    int wholeX0_ = 0;
    int wholeY0_ = 0;
    int wholeX1_ = 0;
    int wholeY1_ = 0;
    bool partClipped_ = false;
    bool throughClipMask_ = false;
    /// Whether the context blends normally (the raw Cairo constructor leaves it to Cairo's
    /// operator).
    bool normalBlend_ = false;
    /// Cairo's clip box, in user space.
    double clipExtents_[4] = {};
    bool ready_ = false;
};

} // namespace platform::text_internal

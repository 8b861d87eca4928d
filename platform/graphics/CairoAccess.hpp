#pragma once

// Internal bridge between the drawing context and Cairo for the other platform layers (text
// layout, glyph drawing, the window host). Only platform/ code includes this header.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <cairo.h>
#include <vector>

namespace platform {

struct GraphicsContext::Internal {
    struct State {
        double opacity = 1;
        BlendMode blendMode = BlendMode::normal;
        Appearance appearance;
        /// True for the state pushed by `beginLayer()` (as opposed to `save()`).
        bool isLayer = false;
        /// Opacity and blend mode to composite the layer with.
        double layerOpacity = 1;
        BlendMode layerBlendMode = BlendMode::normal;
    };
    cairo_t* cr = nullptr; // owned: one reference
    State state;
    std::vector<State> stack;

    ~Internal();
};

struct ImageSurface::Internal {
    cairo_surface_t* surface = nullptr; // owned: one reference
    double scale = 1;

    ~Internal();
};

struct CairoAccess {
    /// The Cairo context behind `context`; valid as long as the context.
    static cairo_t* cairoContext(GraphicsContext& context) { return context.internal().cr; }
    /// A context drawing through `cr` (which gains a reference, so the caller keeps its own).
    static GraphicsContext wrap(cairo_t* cr);
    /// Makes `color`, resolved in the context's appearance and multiplied by its opacity, the
    /// Cairo source, and sets the Cairo operator to the context's blend mode: what `fill` does
    /// before painting, for code that paints through Cairo or Pango directly.
    static void applyColor(GraphicsContext& context, const Color& color);
    /// The Cairo operator for a blend mode.
    static cairo_operator_t cairoOperator(BlendMode mode);
    /// Appends `path` to the Cairo context's current path (in user space).
    static void appendPath(cairo_t* cr, const Path& path);
    /// A Cairo image surface sharing nothing with `image` (a copy of its pixels); the caller owns
    /// the returned reference.
    static cairo_surface_t* makeSurface(const Image& image);
};

} // namespace platform

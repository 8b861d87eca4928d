#pragma once

// Internal bridge between the drawing context and Cairo for the other platform layers (text
// layout, glyph drawing, the window host). Only platform/ code includes this header.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <cairo.h>
#include <cstdint>
#include <vector>

namespace platform {

/// Device pixels [minX, maxX) × [minY, maxY), the bounds whole numbers (or infinite).
struct PixelBox {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    static PixelBox everything();
    /// The pixels wholly inside the device-space image of the user-space rectangle spanning
    /// (x0, y0) to (x1, y1) under `m`, a transform without rotation or shear.
    static PixelBox inside(double x0, double y0, double x1, double y1, const cairo_matrix_t& m);
    /// The pixels that the device-space image of `userRect` under `m` touches.
    static PixelBox touched(const Rect& userRect, const cairo_matrix_t& m);
    PixelBox intersection(const PixelBox& other) const;
    bool contains(const PixelBox& other) const {
        return other.minX >= minX && other.minY >= minY && other.maxX <= maxX && other.maxY <= maxY;
    }
};

struct GraphicsContext::Internal {
    /// A clip to a shape with curves, not yet handed to Cairo. Under such a clip Cairo draws
    /// everything through a mask of the shape; drawing that lies wholly in the pixels the shape
    /// covers fully comes out the same without it. So the clip is kept here, and given to Cairo
    /// only around the drawing that reaches beyond those pixels.
    struct DeferredClip {
        Path path;
        FillStyle style;
        /// The transform the path was given in.
        cairo_matrix_t matrix{};
        /// Device pixels the shape covers fully.
        PixelBox covered;
        /// Device rows across which the shape is exactly the columns `exact.minX` to `exact.maxX`
        /// (whole pixels): it covers those fully and the rest of the rows not at all. Empty
        /// where the shape has no such rows.
        PixelBox exact;
    };
    struct State {
        double opacity = 1;
        BlendMode blendMode = BlendMode::normal;
        Appearance appearance;
        /// True for the state pushed by `beginLayer()` (as opposed to `save()`).
        bool isLayer = false;
        /// Opacity and blend mode to composite the layer with.
        double layerOpacity = 1;
        BlendMode layerBlendMode = BlendMode::normal;
        /// The first `deferredClips` entries of `Internal::deferredClips` clip this state, and
        /// Cairo holds the first `appliedClips` of them.
        std::uint32_t deferredClips = 0;
        std::uint32_t appliedClips = 0;
        /// Device pixels that every clip Cairo holds covers fully.
        PixelBox unclipped = PixelBox::everything();
    };
    cairo_t* cr = nullptr; // owned: one reference
    State state;
    std::vector<State> stack;
    /// Entries past `state.deferredClips` belong to states already restored.
    std::vector<DeferredClip> deferredClips;

    bool hasPendingClips() const { return state.appliedClips < state.deferredClips; }
    /// Whether every clip of the state, Cairo's and the pending ones, leaves all of `box` whole.
    bool unclippedWithin(const PixelBox& box) const {
        if (!state.unclipped.contains(box))
            return false;
        for (std::uint32_t i = state.appliedClips; i < state.deferredClips; ++i) {
            if (!deferredClips[i].covered.contains(box))
                return false;
        }
        return true;
    }
    /// Hands the pending clips to Cairo for good (until the state is restored).
    void applyPendingClips();
    /// Hands the pending clips to Cairo without recording it: for use between a cairo_save and
    /// its cairo_restore.
    void applyPendingClipsTemporarily() const;

    ~Internal();
};

struct ImageSurface::Internal {
    cairo_surface_t* surface = nullptr; // owned: one reference
    double scale = 1;

    ~Internal();
};

struct CairoAccess {
    /// The Cairo context behind `context`, with every clip of the context in force; valid as
    /// long as the context.
    static cairo_t* cairoContext(GraphicsContext& context) {
        context.internal().applyPendingClips();
        return context.internal().cr;
    }
    /// The Cairo context behind `context`, possibly without the clips to curved shapes: code that
    /// draws through it asks `drawsAlikeUnclipped` before each drawing and draws within a
    /// `PendingClipScope` where it does not.
    static cairo_t* cairoContextLeavingClipsPending(GraphicsContext& context) {
        return context.internal().cr;
    }
    /// Whether clips to curved shapes are left pending.
    static bool hasPendingClips(const GraphicsContext& context) {
        return context.internal().hasPendingClips();
    }
    /// Whether drawing that touches only the pixels of `userRect` (in the current user space)
    /// comes out the same without the clips left pending.
    static bool drawsAlikeUnclipped(const GraphicsContext& context, const Rect& userRect);
    /// Puts the pending clips in force for its lifetime (a cairo_save and cairo_restore around
    /// it: what the drawing inside sets, source and font included, is undone at its end, and
    /// the current path is cleared at its start).
    class PendingClipScope {
    public:
        explicit PendingClipScope(GraphicsContext& context);
        ~PendingClipScope();
        PendingClipScope(const PendingClipScope&) = delete;
        PendingClipScope& operator=(const PendingClipScope&) = delete;

    private:
        cairo_t* cr_ = nullptr; // set when a save is open
    };
    /// A context drawing through `cr` (which gains a reference, so the caller keeps its own).
    static GraphicsContext wrap(cairo_t* cr);
    /// Makes `color`, resolved in the context's appearance and multiplied by its opacity, the
    /// Cairo source, and sets the Cairo operator to the context's blend mode: what `fill` does
    /// before painting, for code that paints through Cairo or Pango directly.
    static void applyColor(GraphicsContext& context, const Color& color);
    /// The source colour `applyColor` would set for `color`.
    static RGBA sourceColor(const GraphicsContext& context, const Color& color) {
        const auto& state = context.internal().state;
        RGBA c = color.resolve(state.appearance);
        c.alpha *= state.opacity;
        return c;
    }
    /// The premultiplied ARGB32 pixel Cairo paints for the source colour (r, g, b, a), each in
    /// 0...1: each channel times alpha to 16 bits, rounded, then its high byte.
    static std::uint32_t premultipliedPixel(double r, double g, double b, double a) {
        const auto channel = [](double v) {
            return static_cast<std::uint32_t>(v * 65535.0 + 0.5) >> 8;
        };
        return channel(a) << 24 | channel(r * a) << 16 | channel(g * a) << 8 | channel(b * a);
    }
    /// The Cairo operator for a blend mode.
    static cairo_operator_t cairoOperator(BlendMode mode);
    /// Appends `path` to the Cairo context's current path (in user space).
    static void appendPath(cairo_t* cr, const Path& path);
    /// A Cairo image surface sharing nothing with `image` (a copy of its pixels); the caller owns
    /// the returned reference.
    static cairo_surface_t* makeSurface(const Image& image);
};

} // namespace platform

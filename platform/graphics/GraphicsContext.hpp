#pragma once

// A stateful 2-D drawing context: a current transform, clip, opacity, blend mode and colour
// appearance, saved and restored as a stack, drawing fills, strokes and images into a surface.
// Offscreen drawing goes into an `ImageSurface`; a window host wraps the drawing target its
// toolkit hands out (see CairoAccess.hpp, which only the platform layers include).

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/runtime/ScopeExit.hpp"

#include <cstdint>
#include <memory>
#include <utility>

namespace platform {

class ImageSurface;

/// How new drawing is combined with what is already there. The Porter-Duff modes (`clear` to
/// `plusLighter`) work on the whole clip area, not just under the shape: `destinationIn` keeps
/// the existing pixels only where the new drawing is opaque.
enum class BlendMode : std::uint8_t {
    normal,
    multiply,
    screen,
    overlay,
    darken,
    lighten,
    colorDodge,
    colorBurn,
    softLight,
    hardLight,
    difference,
    exclusion,
    hue,
    saturation,
    color,
    luminosity,
    clear,
    copy,
    sourceIn,
    sourceOut,
    sourceAtop,
    destinationOver,
    destinationIn,
    destinationOut,
    destinationAtop,
    xorMode,
    plusLighter,
};

class GraphicsContext {
public:
    /// Draws into `surface`, whose scale becomes the initial transform. The surface must outlive
    /// the context.
    explicit GraphicsContext(ImageSurface& surface);
    ~GraphicsContext();
    GraphicsContext(GraphicsContext&&) noexcept;
    GraphicsContext& operator=(GraphicsContext&&) noexcept;
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    /// Pushes the whole drawing state (transform, clip, opacity, blend mode, appearance).
    void save();
    /// Pops the state pushed by the matching `save()`; without one it does nothing.
    void restore();

    void translateBy(CGFloat dx, CGFloat dy);
    void scaleBy(CGFloat sx, CGFloat sy);
    void rotateBy(CGFloat radians);
    /// Applies `t` before the current transform (user space is transformed by `t` first).
    void concatenate(const AffineTransform& t);
    /// The current user-space to device-space transform.
    AffineTransform transform() const;

    /// A factor 0...1 applied to everything drawn after it.
    double opacity() const;
    void setOpacity(double opacity);
    BlendMode blendMode() const;
    void setBlendMode(BlendMode mode);
    /// The appearance system colours are resolved in.
    Appearance appearance() const;
    void setAppearance(const Appearance& appearance);
    /// `color` in the current appearance (without the context's opacity).
    RGBA resolve(const Color& color) const;

    void fill(const Path& path, const Color& color, const FillStyle& style = {});
    void fill(const Rect& rect, const Color& color) { fill(Path::rect(rect), color); }
    /// Strokes `path`; a line width of 0 draws a one-pixel hairline, a negative one nothing.
    void stroke(const Path& path, const Color& color, const StrokeStyle& style = {});
    /// Narrows the clip to the inside of `path`.
    void clip(const Path& path, const FillStyle& style = {});
    void clip(const Rect& rect) { clip(Path::rect(rect)); }
    /// The bounding box of the current clip in user space.
    Rect clipBoundingRect() const;

    /// Draws `image` scaled into `rect` (bilinear filtering).
    void draw(const Image& image, const Rect& rect);

    /// Starts a layer: drawing until `endLayer()` goes to a fresh transparent buffer, which is then
    /// composited in one step with the opacity and blend mode current at `beginLayer()`. Inside the
    /// layer opacity starts at 1 and the blend mode at normal.
    void beginLayer();
    /// Ends the innermost layer; without one it does nothing.
    void endLayer();
    /// Runs `body(*this)` inside a layer, ending it even if `body` throws.
    template <class F>
    void drawLayer(F&& body) {
        beginLayer();
        const ScopeExit end([this] { endLayer(); });
        std::forward<F>(body)(*this);
    }

    /// Backing state, defined in CairoAccess.hpp.
    struct Internal;
    Internal& internal() { return *internal_; }
    const Internal& internal() const { return *internal_; }

private:
    friend struct CairoAccess;
    explicit GraphicsContext(std::unique_ptr<Internal> internal);
    std::unique_ptr<Internal> internal_;
};

} // namespace platform

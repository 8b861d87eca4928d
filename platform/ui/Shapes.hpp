#pragma once

// Leaf views that draw: shapes (filled or stroked), images, canvases with a graphics context,
// spacers and dividers.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/Image.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/ui/View.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace platform::ui {

/// A shape: a path for any rectangle. As a view it fills its frame's path with the foreground
/// style and takes whatever size it is offered (10 × 10 where nothing is offered).
class Shape : public ViewModifiers<Shape> {
public:
    explicit Shape(std::function<platform::Path(Rect)> path)
        : path_(std::make_shared<const std::function<platform::Path(Rect)>>(std::move(path))) {}
    platform::Path path(Rect rect) const { return (*path_)(rect); }
    AnyView fill(std::optional<Color> color = std::nullopt, platform::FillStyle style = {}) const;
    AnyView stroke(std::optional<Color> color, platform::StrokeStyle style) const;
    AnyView stroke(std::optional<Color> color = std::nullopt, CGFloat lineWidth = 1) const {
        platform::StrokeStyle s;
        s.lineWidth = lineWidth;
        return stroke(color, s);
    }
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::shared_ptr<const std::function<platform::Path(Rect)>> path_;
};

class Rectangle : public Shape {
public:
    Rectangle();
};
class RoundedRectangle : public Shape {
public:
    explicit RoundedRectangle(CGFloat cornerRadius, platform::RoundedCornerStyle style =
                                                        platform::RoundedCornerStyle::circular);
};
/// A rounded rectangle whose corner radius is half its shorter side.
class Capsule : public Shape {
public:
    Capsule();
};
/// The largest circle centred in the frame.
class Circle : public Shape {
public:
    Circle();
};
class Ellipse : public Shape {
public:
    Ellipse();
};
/// A fixed path, in the coordinates of the frame it is drawn in.
class PathShape : public Shape {
public:
    explicit PathShape(platform::Path path);
};

enum class ContentMode : std::uint8_t { fit, fill };
enum class Interpolation : std::uint8_t { none, low, medium, high };

/// A bitmap. Not resizable, it has its pixel size in points; resizable, it takes the offered
/// size, or with an aspect ratio the largest (fit) or smallest (fill) size of that ratio.
class Image : public ViewModifiers<Image> {
public:
    explicit Image(platform::Image image)
        : image_(std::move(image)) {}
    Image resizable() const;
    /// `ratio` width / height; absent: the image's own.
    Image aspectRatio(std::optional<CGFloat> ratio, ContentMode mode) const;
    Image interpolation(Interpolation interpolation) const;
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;
    friend bool operator==(const Image&, const Image&) = default;

private:
    platform::Image image_;
    bool resizable_ = false;
    std::optional<ContentMode> contentMode_;
    std::optional<CGFloat> ratio_;
    Interpolation interpolation_ = Interpolation::medium;
};

/// What a canvas renderer draws with.
class CanvasContext {
public:
    CanvasContext(platform::GraphicsContext& graphics, const EnvironmentValues& environment,
                  std::function<bool(const ViewID&, Rect)> drawSymbol)
        : graphics(graphics)
        , environment(environment)
        , drawSymbol_(std::move(drawSymbol)) {}
    platform::GraphicsContext& graphics;
    const EnvironmentValues& environment;
    /// The foreground style of the canvas's environment.
    Color foregroundStyle() const { return environment.get<ForegroundStyleKey>(); }
    /// Draws the symbol view with `id` laid out in `rect`; false when there is none.
    bool drawSymbol(const ViewID& id, Rect rect) const {
        return drawSymbol_ && drawSymbol_(id, rect);
    }

private:
    std::function<bool(const ViewID&, Rect)> drawSymbol_;
};

/// Immediate-mode drawing into the canvas's frame (coordinates from its top-leading corner).
/// Symbols are views the renderer may draw anywhere, by id.
class Canvas : public ViewModifiers<Canvas> {
public:
    using Renderer = std::function<void(CanvasContext&, Size)>;
    explicit Canvas(Renderer renderer, std::vector<std::pair<ViewID, AnyView>> symbols = {})
        : renderer_(std::make_shared<const Renderer>(std::move(renderer)))
        , symbols_(std::move(symbols)) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::shared_ptr<const Renderer> renderer_;
    std::vector<std::pair<ViewID, AnyView>> symbols_;
};

/// Flexible space along the axis of the enclosing stack (both axes elsewhere).
class Spacer : public ViewModifiers<Spacer> {
public:
    explicit Spacer(std::optional<CGFloat> minLength = std::nullopt)
        : minLength_(minLength) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::optional<CGFloat> minLength_;
};

/// A one-point separator line across the enclosing stack's axis.
class Divider : public ViewModifiers<Divider> {
public:
    Divider() = default;
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;
};

} // namespace platform::ui

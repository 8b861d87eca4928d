#include "platform/graphics/GraphicsContext.hpp"

#include "platform/graphics/CairoAccess.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace platform {

namespace {

cairo_matrix_t toCairo(const AffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

bool isFinite(const AffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

double clampUnit(double v) {
    return std::isnan(v) ? 0 : std::clamp(v, 0.0, 1.0);
}

} // namespace

GraphicsContext::Internal::~Internal() {
    if (cr)
        cairo_destroy(cr);
}

GraphicsContext::GraphicsContext(std::unique_ptr<Internal> internal)
    : internal_(std::move(internal)) {}

GraphicsContext::GraphicsContext(ImageSurface& surface)
    : internal_(std::make_unique<Internal>()) {
    internal_->cr = cairo_create(surface.internal().surface);
    if (cairo_status(internal_->cr) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("GraphicsContext: cannot create drawing context");
    const double s = surface.scale();
    cairo_scale(internal_->cr, s, s);
}

GraphicsContext::~GraphicsContext() {
    if (!internal_)
        return;
    // Unwind whatever the caller left open, so a wrapped toolkit context is handed back in the
    // state it came in and open layers still reach the surface.
    while (!internal_->stack.empty()) {
        if (internal_->state.isLayer)
            endLayer();
        else
            restore();
    }
}

GraphicsContext::GraphicsContext(GraphicsContext&&) noexcept = default;
GraphicsContext& GraphicsContext::operator=(GraphicsContext&&) noexcept = default;

void GraphicsContext::save() {
    cairo_save(internal_->cr);
    internal_->stack.push_back(internal_->state);
    internal_->state.isLayer = false;
}

void GraphicsContext::restore() {
    auto& in = *internal_;
    // The top of the stack is the state to return to; a layer boundary is only crossed by
    // endLayer().
    if (in.stack.empty() || in.state.isLayer)
        return;
    cairo_restore(in.cr);
    in.state = in.stack.back();
    in.stack.pop_back();
}

void GraphicsContext::translateBy(CGFloat dx, CGFloat dy) {
    concatenate(AffineTransform::translation(dx, dy));
}

void GraphicsContext::scaleBy(CGFloat sx, CGFloat sy) {
    concatenate(AffineTransform::scale(sx, sy));
}

void GraphicsContext::rotateBy(CGFloat radians) {
    concatenate(AffineTransform::rotation(radians));
}

void GraphicsContext::concatenate(const AffineTransform& t) {
    // A singular or non-finite matrix would put the Cairo context into a permanent error state
    // and silently stop all later drawing; such a transform draws nothing anyway, so it is
    // ignored.
    if (!isFinite(t) || t.a * t.d - t.b * t.c == 0)
        return;
    const cairo_matrix_t m = toCairo(t);
    cairo_transform(internal_->cr, &m);
}

AffineTransform GraphicsContext::transform() const {
    cairo_matrix_t m;
    cairo_get_matrix(internal_->cr, &m);
    return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

double GraphicsContext::opacity() const {
    return internal_->state.opacity;
}
void GraphicsContext::setOpacity(double opacity) {
    internal_->state.opacity = clampUnit(opacity);
}
BlendMode GraphicsContext::blendMode() const {
    return internal_->state.blendMode;
}
void GraphicsContext::setBlendMode(BlendMode mode) {
    internal_->state.blendMode = mode;
}
Appearance GraphicsContext::appearance() const {
    return internal_->state.appearance;
}
void GraphicsContext::setAppearance(const Appearance& appearance) {
    internal_->state.appearance = appearance;
}

RGBA GraphicsContext::resolve(const Color& color) const {
    return color.resolve(internal_->state.appearance);
}

void GraphicsContext::fill(const Path& path, const Color& color, const FillStyle& style) {
    cairo_t* cr = internal_->cr;
    cairo_new_path(cr);
    CairoAccess::appendPath(cr, path);
    cairo_set_fill_rule(cr, style.rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                            : CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr, style.antialiased ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    CairoAccess::applyColor(*this, color);
    cairo_fill(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

void GraphicsContext::stroke(const Path& path, const Color& color, const StrokeStyle& style) {
    cairo_t* cr = internal_->cr;
    if (!(style.lineWidth >= 0) || !std::isfinite(style.lineWidth))
        return;
    cairo_new_path(cr);
    CairoAccess::appendPath(cr, path);
    double width = style.lineWidth;
    if (width == 0) {
        // A zero width strokes the thinnest visible line: one device pixel, whatever the scale.
        double dx = 1, dy = 0;
        cairo_device_to_user_distance(cr, &dx, &dy);
        width = std::hypot(dx, dy);
    }
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, style.lineCap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                           : style.lineCap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, style.lineJoin == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                            : style.lineJoin == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, std::max(1.0, style.miterLimit));
    // A dash with a negative length, or only zero lengths, is an error for Cairo; draw solid.
    const bool dashValid =
        !style.dash.empty() &&
        std::all_of(style.dash.begin(), style.dash.end(),
                    [](double v) { return v >= 0 && std::isfinite(v); }) &&
        std::any_of(style.dash.begin(), style.dash.end(), [](double v) { return v > 0; });
    if (dashValid)
        cairo_set_dash(cr, style.dash.data(), static_cast<int>(style.dash.size()), style.dashPhase);
    else
        cairo_set_dash(cr, nullptr, 0, 0);
    CairoAccess::applyColor(*this, color);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

void GraphicsContext::clip(const Path& path, const FillStyle& style) {
    cairo_t* cr = internal_->cr;
    cairo_new_path(cr);
    CairoAccess::appendPath(cr, path);
    cairo_set_fill_rule(cr, style.rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                            : CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr, style.antialiased ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

Rect GraphicsContext::clipBoundingRect() const {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_clip_extents(internal_->cr, &x0, &y0, &x1, &y1);
    return {x0, y0, x1 - x0, y1 - y0};
}

void GraphicsContext::draw(const Image& image, const Rect& rect) {
    if (image.isNull() || rect.isEmpty())
        return;
    cairo_t* cr = internal_->cr;
    const Rect r = rect.standardized();
    // Cairo only reads a source surface, so it can wrap the image's shared pixels directly.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast)
    auto* data =
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels().data()));
    cairo_surface_t* src = cairo_image_surface_create_for_data(
        data, CAIRO_FORMAT_ARGB32, image.width(), image.height(), image.width() * 4);
    if (cairo_surface_status(src) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(src);
        return;
    }
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, r.minX(), r.minY());
    cairo_scale(cr, r.width() / image.width(), r.height() / image.height());
    cairo_rectangle(cr, 0, 0, image.width(), image.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, src, 0, 0);
    // Padding keeps the scaled edges opaque instead of fading them into transparency.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_set_operator(cr, CairoAccess::cairoOperator(internal_->state.blendMode));
    cairo_paint_with_alpha(cr, internal_->state.opacity);
    cairo_restore(cr);
    cairo_surface_finish(src);
    cairo_surface_destroy(src);
}

void GraphicsContext::beginLayer() {
    auto& in = *internal_;
    cairo_push_group(in.cr);
    in.stack.push_back(in.state);
    in.state.isLayer = true;
    in.state.layerOpacity = in.state.opacity;
    in.state.layerBlendMode = in.state.blendMode;
    in.state.opacity = 1;
    in.state.blendMode = BlendMode::normal;
}

void GraphicsContext::endLayer() {
    auto& in = *internal_;
    if (in.stack.empty())
        return;
    // Close saves made inside the layer and left open.
    while (!in.state.isLayer) {
        if (in.stack.empty())
            return;
        restore();
    }
    const double opacity = in.state.layerOpacity;
    const BlendMode mode = in.state.layerBlendMode;
    cairo_pop_group_to_source(in.cr);
    cairo_set_operator(in.cr, CairoAccess::cairoOperator(mode));
    cairo_paint_with_alpha(in.cr, opacity);
    cairo_set_operator(in.cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgb(in.cr, 0, 0, 0);
    in.state = in.stack.back();
    in.stack.pop_back();
}

} // namespace platform

#include "platform/graphics/CairoAccess.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace platform {

PixelBox PixelBox::everything() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    return {-inf, -inf, inf, inf};
}

PixelBox PixelBox::inside(double x0, double y0, double x1, double y1, const cairo_matrix_t& m) {
    double ax = x0, ay = y0, bx = x1, by = y1;
    cairo_matrix_transform_point(&m, &ax, &ay);
    cairo_matrix_transform_point(&m, &bx, &by);
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by))
        return {};
    return {std::ceil(std::min(ax, bx)), std::ceil(std::min(ay, by)), std::floor(std::max(ax, bx)),
            std::floor(std::max(ay, by))};
}

PixelBox PixelBox::touched(const Rect& userRect, const cairo_matrix_t& m) {
    const Rect r = userRect.standardized();
    double xs[4] = {r.minX(), r.maxX(), r.minX(), r.maxX()};
    double ys[4] = {r.minY(), r.minY(), r.maxY(), r.maxY()};
    for (int i = 0; i < 4; ++i)
        cairo_matrix_transform_point(&m, &xs[i], &ys[i]);
    const auto [minX, maxX] = std::minmax_element(xs, xs + 4);
    const auto [minY, maxY] = std::minmax_element(ys, ys + 4);
    // NaN compares false everywhere: a box of NaN is inside nothing.
    return {std::floor(*minX), std::floor(*minY), std::ceil(*maxX), std::ceil(*maxY)};
}

PixelBox PixelBox::intersection(const PixelBox& other) const {
    return {std::max(minX, other.minX), std::max(minY, other.minY), std::min(maxX, other.maxX),
            std::min(maxY, other.maxY)};
}

namespace {

void applyDeferredClip(cairo_t* cr, const GraphicsContext::Internal::DeferredClip& clip) {
    cairo_matrix_t now;
    cairo_get_matrix(cr, &now);
    const bool moved = std::memcmp(&now, &clip.matrix, sizeof now) != 0;
    if (moved)
        cairo_set_matrix(cr, &clip.matrix);
    cairo_new_path(cr);
    CairoAccess::appendPath(cr, clip.path);
    cairo_set_fill_rule(cr, clip.style.rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                                 : CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr,
                        clip.style.antialiased ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    if (moved)
        cairo_set_matrix(cr, &now);
}

} // namespace

void GraphicsContext::Internal::applyPendingClips() {
    if (!hasPendingClips())
        return;
    for (std::uint32_t i = state.appliedClips; i < state.deferredClips; ++i) {
        applyDeferredClip(cr, deferredClips[i]);
        state.unclipped = state.unclipped.intersection(deferredClips[i].covered);
    }
    state.appliedClips = state.deferredClips;
}

void GraphicsContext::Internal::applyPendingClipsTemporarily() const {
    for (std::uint32_t i = state.appliedClips; i < state.deferredClips; ++i)
        applyDeferredClip(cr, deferredClips[i]);
}

bool CairoAccess::drawsAlikeUnclipped(const GraphicsContext& context, const Rect& userRect) {
    const GraphicsContext::Internal& in = context.internal();
    if (!in.hasPendingClips())
        return true;
    cairo_matrix_t m;
    cairo_get_matrix(in.cr, &m);
    // A pixel of margin on each side for Cairo's rounding of glyph positions to pixels.
    PixelBox box = PixelBox::touched(userRect, m);
    box = {box.minX - 1, box.minY - 1, box.maxX + 1, box.maxY + 1};
    return in.unclippedWithin(box);
}

CairoAccess::PendingClipScope::PendingClipScope(GraphicsContext& context) {
    const GraphicsContext::Internal& in = context.internal();
    if (!in.hasPendingClips())
        return;
    cr_ = in.cr;
    cairo_save(cr_);
    in.applyPendingClipsTemporarily();
}

CairoAccess::PendingClipScope::~PendingClipScope() {
    if (cr_ != nullptr)
        cairo_restore(cr_);
}

GraphicsContext CairoAccess::wrap(cairo_t* cr) {
    if (!cr)
        throw std::invalid_argument("CairoAccess::wrap: null context");
    auto internal = std::make_unique<GraphicsContext::Internal>();
    internal->cr = cairo_reference(cr);
    // Drawing may leave out a pending clip only where the toolkit's own clip is known to cover
    // it fully: a single rectangle, as a window's damage mostly is.
    internal->state.unclipped = {};
    cairo_rectangle_list_t* rectangles = cairo_copy_clip_rectangle_list(cr);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (rectangles->status == CAIRO_STATUS_SUCCESS && rectangles->num_rectangles == 1 &&
        m.xy == 0 && m.yx == 0) {
        const cairo_rectangle_t& r = rectangles->rectangles[0];
        internal->state.unclipped = PixelBox::inside(r.x, r.y, r.x + r.width, r.y + r.height, m);
    }
    cairo_rectangle_list_destroy(rectangles);
    return GraphicsContext(std::move(internal));
}

void CairoAccess::applyColor(GraphicsContext& context, const Color& color) {
    const RGBA c = sourceColor(context, color);
    cairo_t* cr = context.internal().cr;
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
    cairo_set_operator(cr, cairoOperator(context.internal().state.blendMode));
}

cairo_operator_t CairoAccess::cairoOperator(BlendMode mode) {
    switch (mode) {
    case BlendMode::normal:
        return CAIRO_OPERATOR_OVER;
    case BlendMode::multiply:
        return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::screen:
        return CAIRO_OPERATOR_SCREEN;
    case BlendMode::overlay:
        return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::darken:
        return CAIRO_OPERATOR_DARKEN;
    case BlendMode::lighten:
        return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::colorDodge:
        return CAIRO_OPERATOR_COLOR_DODGE;
    case BlendMode::colorBurn:
        return CAIRO_OPERATOR_COLOR_BURN;
    case BlendMode::softLight:
        return CAIRO_OPERATOR_SOFT_LIGHT;
    case BlendMode::hardLight:
        return CAIRO_OPERATOR_HARD_LIGHT;
    case BlendMode::difference:
        return CAIRO_OPERATOR_DIFFERENCE;
    case BlendMode::exclusion:
        return CAIRO_OPERATOR_EXCLUSION;
    case BlendMode::hue:
        return CAIRO_OPERATOR_HSL_HUE;
    case BlendMode::saturation:
        return CAIRO_OPERATOR_HSL_SATURATION;
    case BlendMode::color:
        return CAIRO_OPERATOR_HSL_COLOR;
    case BlendMode::luminosity:
        return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case BlendMode::clear:
        return CAIRO_OPERATOR_CLEAR;
    case BlendMode::copy:
        return CAIRO_OPERATOR_SOURCE;
    case BlendMode::sourceIn:
        return CAIRO_OPERATOR_IN;
    case BlendMode::sourceOut:
        return CAIRO_OPERATOR_OUT;
    case BlendMode::sourceAtop:
        return CAIRO_OPERATOR_ATOP;
    case BlendMode::destinationOver:
        return CAIRO_OPERATOR_DEST_OVER;
    case BlendMode::destinationIn:
        return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::destinationOut:
        return CAIRO_OPERATOR_DEST_OUT;
    case BlendMode::destinationAtop:
        return CAIRO_OPERATOR_DEST_ATOP;
    case BlendMode::xorMode:
        return CAIRO_OPERATOR_XOR;
    case BlendMode::plusLighter:
        return CAIRO_OPERATOR_ADD;
    }
    return CAIRO_OPERATOR_OVER;
}

void CairoAccess::appendPath(cairo_t* cr, const Path& path) {
    for (const Path::Element& e : path.elements()) {
        const Point* p = e.points;
        switch (e.kind) {
        case Path::ElementKind::moveTo:
            cairo_move_to(cr, p[0].x, p[0].y);
            break;
        case Path::ElementKind::lineTo:
            cairo_line_to(cr, p[0].x, p[0].y);
            break;
        case Path::ElementKind::quadCurveTo: {
            // Cairo has only cubics: raise the degree (controls at 2/3 towards the quad control).
            double x0 = p[0].x, y0 = p[0].y;
            if (cairo_has_current_point(cr))
                cairo_get_current_point(cr, &x0, &y0);
            cairo_curve_to(cr, x0 + 2.0 / 3 * (p[0].x - x0), y0 + 2.0 / 3 * (p[0].y - y0),
                           p[1].x + 2.0 / 3 * (p[0].x - p[1].x),
                           p[1].y + 2.0 / 3 * (p[0].y - p[1].y), p[1].x, p[1].y);
            break;
        }
        case Path::ElementKind::curveTo:
            cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            break;
        case Path::ElementKind::closeSubpath:
            cairo_close_path(cr);
            break;
        }
    }
}

cairo_surface_t* CairoAccess::makeSurface(const Image& image) {
    const int w = std::max(1, image.width());
    const int h = std::max(1, image.height());
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS || image.isNull())
        return s;
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const auto px = image.pixels();
    for (int y = 0; y < h; ++y)
        std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride,
                    px.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w),
                    static_cast<std::size_t>(w) * 4);
    cairo_surface_mark_dirty(s);
    return s;
}

} // namespace platform

#include "platform/graphics/CairoAccess.hpp"

#include <cstring>
#include <stdexcept>

namespace platform {

GraphicsContext CairoAccess::wrap(cairo_t* cr) {
    if (!cr)
        throw std::invalid_argument("CairoAccess::wrap: null context");
    auto internal = std::make_unique<GraphicsContext::Internal>();
    internal->cr = cairo_reference(cr);
    return GraphicsContext(std::move(internal));
}

void CairoAccess::applyColor(GraphicsContext& context, const Color& color) {
    const auto& state = context.internal().state;
    const RGBA c = color.resolve(state.appearance);
    cairo_t* cr = context.internal().cr;
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * state.opacity);
    cairo_set_operator(cr, cairoOperator(state.blendMode));
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

#include "platform/graphics/GraphicsContext.hpp"

#include "platform/graphics/CairoAccess.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

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

/// The corners of `path` when it is one axis-aligned rectangle, as Path::rect makes it: Cairo
/// keeps such a clip as a box and draws what lies inside it without a mask.
std::optional<Rect> clipBoxOf(const Path& path) {
    const auto& e = path.elements();
    if (e.size() < 4 || e.size() > 6 || e[0].kind != Path::ElementKind::moveTo)
        return std::nullopt;
    Point corners[5];
    std::size_t n = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind == Path::ElementKind::closeSubpath) {
            if (i + 1 != e.size())
                return std::nullopt;
            break;
        }
        if ((i > 0 && e[i].kind != Path::ElementKind::lineTo) || n == 5)
            return std::nullopt;
        corners[n++] = e[i].points[0];
    }
    if (n == 5 && corners[4] == corners[0])
        n = 4;
    if (n != 4)
        return std::nullopt;
    // Sides alternate horizontal and vertical, starting with either.
    const bool firstHorizontal = corners[0].y == corners[1].y;
    for (std::size_t i = 0; i < 4; ++i) {
        const Point a = corners[i];
        const Point b = corners[(i + 1) % 4];
        const bool horizontal = (i % 2 == 0) == firstHorizontal;
        if (horizontal ? a.y != b.y : a.x != b.x)
            return std::nullopt;
    }
    const CGFloat minX = std::min(corners[0].x, corners[2].x);
    const CGFloat minY = std::min(corners[0].y, corners[2].y);
    return Rect(minX, minY, std::max(corners[0].x, corners[2].x) - minX,
                std::max(corners[0].y, corners[2].y) - minY);
}

/// A band of `path` across which only two straight vertical sides pass and no other edge:
/// within it the shape is exactly the rectangle between those sides, whatever the fill rule.
/// A rounded rectangle's band lies between its corners.
struct StraightBand {
    CGFloat minX, minY, maxX, maxY;
};
std::optional<StraightBand> straightBandOf(const Path& path) {
    struct Edge {
        Point from;
        Point to;
        CGFloat minY, maxY;
    };
    std::vector<Edge> edges;
    edges.reserve(path.elements().size() + 1);
    bool open = false;
    Point current;
    Point start;
    const auto closeOpen = [&] {
        if (open && current != start)
            edges.push_back(
                {current, start, std::min(current.y, start.y), std::max(current.y, start.y)});
        open = false;
    };
    for (const Path::Element& e : path.elements()) {
        switch (e.kind) {
        case Path::ElementKind::moveTo:
            closeOpen();
            current = start = e.points[0];
            open = true;
            break;
        case Path::ElementKind::lineTo:
            edges.push_back({current, e.points[0], std::min(current.y, e.points[0].y),
                             std::max(current.y, e.points[0].y)});
            current = e.points[0];
            open = true;
            break;
        case Path::ElementKind::quadCurveTo:
        case Path::ElementKind::curveTo: {
            // A curve stays within the hull of its control points.
            const int count = e.kind == Path::ElementKind::quadCurveTo ? 2 : 3;
            Edge edge{current, e.points[count - 1], current.y, current.y};
            for (int i = 0; i < count; ++i) {
                edge.minY = std::min(edge.minY, e.points[i].y);
                edge.maxY = std::max(edge.maxY, e.points[i].y);
            }
            // Never taken for a straight side.
            edge.from.x = std::numeric_limits<CGFloat>::quiet_NaN();
            edges.push_back(edge);
            current = e.points[count - 1];
            open = true;
            break;
        }
        case Path::ElementKind::closeSubpath:
            closeOpen();
            current = start;
            break;
        }
    }
    closeOpen();
    const Edge* sides[2] = {nullptr, nullptr};
    for (const Edge& edge : edges) {
        if (edge.from.x == edge.to.x && edge.minY < edge.maxY) {
            if (sides[1] != nullptr)
                return std::nullopt;
            sides[sides[0] == nullptr ? 0 : 1] = &edge;
        }
    }
    if (sides[1] == nullptr || sides[0]->from.x == sides[1]->from.x)
        return std::nullopt;
    StraightBand band{
        std::min(sides[0]->from.x, sides[1]->from.x), std::max(sides[0]->minY, sides[1]->minY),
        std::max(sides[0]->from.x, sides[1]->from.x), std::min(sides[0]->maxY, sides[1]->maxY)};
    if (!(band.minY < band.maxY) || !std::isfinite(band.minX) || !std::isfinite(band.maxX) ||
        !std::isfinite(band.minY) || !std::isfinite(band.maxY))
        return std::nullopt;
    for (const Edge& edge : edges) {
        if (&edge != sides[0] && &edge != sides[1] &&
            !(edge.maxY <= band.minY || edge.minY >= band.maxY))
            return std::nullopt;
    }
    return band;
}

/// Whether drawing in `color` leaves every pixel as it is: a fully transparent colour blended
/// normally. Such drawing is common (a clear background kept for its layout) and under a clip
/// to a curved shape it would still cost Cairo a mask of the clip.
bool paintsNothing(const GraphicsContext::Internal& in, const Color& color) {
    return in.state.blendMode == BlendMode::normal &&
           color.resolve(in.state.appearance).alpha * in.state.opacity <= 0;
}

/// The pixel Cairo leaves for the opaque source colour (r, g, b, a), as Cairo clamps it.
std::uint32_t opaquePixel(double r, double g, double b, double a) {
    const auto clamped = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return CairoAccess::premultipliedPixel(clamped(r), clamped(g), clamped(b), clamped(a));
}

/// Where Cairo draws the device coordinate `v`: at the nearest 1/256 (ties to even), as it takes
/// coordinates to 24.8 fixed point.
double onCairosGrid(double v) {
    return std::nearbyint(v * 256) / 256;
}

/// The device pixels of the user-space rectangle `userBox` under `m`, when its edges all fall on
/// pixel boundaries (and `m` neither rotates nor shears).
std::optional<PixelBox> pixelAlignedBox(const Rect& userBox, const cairo_matrix_t& m) {
    if (m.xy != 0 || m.yx != 0)
        return std::nullopt;
    double x0 = userBox.minX(), y0 = userBox.minY(), x1 = userBox.maxX(), y1 = userBox.maxY();
    cairo_matrix_transform_point(&m, &x0, &y0);
    cairo_matrix_transform_point(&m, &x1, &y1);
    constexpr double limit = 1 << 24;
    for (double* v : {&x0, &y0, &x1, &y1}) {
        if (!(std::abs(*v) < limit))
            return std::nullopt;
        // Edges laid out as sums of fractions land a rounding error off a pixel boundary, and on
        // it again in Cairo's 24.8 fixed point.
        *v = onCairosGrid(*v);
        if (std::floor(*v) != *v)
            return std::nullopt;
    }
    return PixelBox{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

/// Whether device space is the pixel grid of `target` (no offset or scale of its own).
bool drawsOnDevicePixels(cairo_surface_t* target) {
    double offsetX = 0, offsetY = 0, scaleX = 1, scaleY = 1;
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    cairo_surface_get_device_scale(target, &scaleX, &scaleY);
    return offsetX == 0 && offsetY == 0 && scaleX == 1 && scaleY == 1;
}

/// Fills the device pixels `box` with the opaque source colour (r, g, b, a) by writing them,
/// where that is what Cairo would do: drawing into an image surface (or a layer on one) with no
/// clip reaching into the box (the caller may have seen to the pending ones). Returns false,
/// having drawn nothing, where it is not.
bool fillPixelsDirectly(const GraphicsContext::Internal& in, PixelBox box, const RGBA& c,
                        bool pendingClipsChecked = false) {
    const double alpha = c.alpha * in.state.opacity;
    if (in.state.blendMode != BlendMode::normal || !(alpha >= 1))
        return false;
    cairo_surface_t* target = cairo_get_group_target(in.cr);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32 ||
        cairo_surface_status(target) != CAIRO_STATUS_SUCCESS)
        return false;
    if (!drawsOnDevicePixels(target))
        return false;
    // Pixels beyond the surface do not exist: no clip is needed to keep them.
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    box = box.intersection({0, 0, double(width), double(height)});
    if (!(box.minX < box.maxX && box.minY < box.maxY))
        return true;
    if (pendingClipsChecked ? !in.state.unclipped.contains(box) : !in.unclippedWithin(box))
        return false;
    cairo_surface_flush(target);
    unsigned char* data = cairo_image_surface_get_data(target);
    if (data == nullptr)
        return false;
    const std::uint32_t pixel = opaquePixel(c.red, c.green, c.blue, alpha);
    const auto stride = static_cast<std::ptrdiff_t>(cairo_image_surface_get_stride(target));
    const auto x0 = static_cast<std::ptrdiff_t>(box.minX);
    const auto y0 = static_cast<int>(box.minY);
    const auto y1 = static_cast<int>(box.maxY);
    const auto n = static_cast<std::size_t>(box.maxX - box.minX);
    // wmemset writes a 32-bit value with the C library's widest stores: wchar_t is 32 bits here.
    // Rows that span the whole surface with no padding between them are written as one.
    static_assert(sizeof(wchar_t) == sizeof(std::uint32_t));
    const auto wide = static_cast<wchar_t>(pixel);
    if (x0 == 0 && static_cast<std::ptrdiff_t>(n) * 4 == stride) {
        std::wmemset(reinterpret_cast<wchar_t*>(data + y0 * stride), wide,
                     n * static_cast<std::size_t>(y1 - y0));
    } else if (n <= 4) {
        // A column a few pixels wide (a stroked side): stored in place, not a call a row.
        for (int y = y0; y < y1; ++y) {
            unsigned char* row = data + y * stride + x0 * 4;
            for (std::size_t i = 0; i < n; ++i)
                std::memcpy(row + i * 4, &pixel, sizeof pixel);
        }
    } else {
        for (int y = y0; y < y1; ++y)
            std::wmemset(reinterpret_cast<wchar_t*>(data + y * stride) + x0, wide, n);
    }
    cairo_surface_mark_dirty_rectangle(target, static_cast<int>(x0), y0, static_cast<int>(n),
                                       y1 - y0);
    return true;
}

/// Fills the device pixels `box` in an opaque colour where a clip Cairo holds cuts into it (a
/// scrolling region's edge between pixels): the pixels every clip leaves whole directly, and only
/// the rest of the box through Cairo, under the clip. The parts meet on pixel boundaries, where no
/// pixel's coverage changes. Returns false, having drawn nothing, where no pixel of the box is
/// left whole or the pixels cannot be written directly.
bool fillAroundClipEdges(GraphicsContext& context, const PixelBox& box, const Color& color) {
    auto& in = context.internal();
    if (in.hasPendingClips() || in.state.unclipped.contains(box))
        return false;
    const PixelBox inner = box.intersection(in.state.unclipped);
    if (!(inner.minX < inner.maxX && inner.minY < inner.maxY) ||
        !fillPixelsDirectly(in, inner, context.resolve(color), true))
        return false;
    cairo_t* cr = in.cr;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    const auto add = [cr](double x0, double y0, double x1, double y1) {
        if (x0 < x1 && y0 < y1)
            cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    };
    add(box.minX, box.minY, box.maxX, inner.minY);
    add(box.minX, inner.maxY, box.maxX, box.maxY);
    add(box.minX, inner.minY, inner.minX, inner.maxY);
    add(inner.maxX, inner.minY, box.maxX, inner.maxY);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    CairoAccess::applyColor(context, color);
    cairo_fill(cr);
    cairo_restore(cr);
    return true;
}

/// Fills the user-space rectangle `box` (under `m`, which neither rotates nor shears) in parts
/// when clips to curved shapes are pending that are exactly boxes of whole pixels across a run of
/// rows (a panel's straight sides on pixel boundaries): those rows as a box, without the clips,
/// and the rows above and below under them. The parts meet on pixel boundaries, where no pixel's
/// coverage changes. Returns false, having drawn nothing, where the rectangle's own sides cross
/// those rows within a pixel, or too few rows would be spared.
bool fillAcrossExactRows(GraphicsContext& context, const Rect& box, const cairo_matrix_t& m,
                         const Color& color) {
    auto& in = context.internal();
    cairo_t* cr = in.cr;
    if (in.state.blendMode != BlendMode::normal || m.xy != 0 || m.yx != 0 ||
        !drawsOnDevicePixels(cairo_get_group_target(cr)))
        return false;
    PixelBox exact = PixelBox::everything();
    for (std::uint32_t i = in.state.appliedClips; i < in.state.deferredClips; ++i)
        exact = exact.intersection(in.deferredClips[i].exact);
    // The rectangle's corners as Cairo makes them of the user-space ones.
    double x0 = box.minX(), y0 = box.minY(), x1 = box.maxX(), y1 = box.maxY();
    cairo_matrix_transform_point(&m, &x0, &y0);
    cairo_matrix_transform_point(&m, &x1, &y1);
    const double left = std::min(x0, x1), right = std::max(x0, x1);
    const double top = std::min(y0, y1), bottom = std::max(y0, y1);
    PixelBox middle = exact;
    if (left > middle.minX) {
        if (std::floor(left) != left)
            return false;
        middle.minX = left;
    }
    if (right < middle.maxX) {
        if (std::floor(right) != right)
            return false;
        middle.maxX = right;
    }
    middle.minY = std::max(middle.minY, std::ceil(top));
    middle.maxY = std::min(middle.maxY, std::floor(bottom));
    if (!(middle.minX < middle.maxX && middle.maxY - middle.minY >= 8))
        return false;
    if (!fillPixelsDirectly(in, middle, context.resolve(color), true)) {
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, middle.minX, middle.minY, middle.maxX - middle.minX,
                        middle.maxY - middle.minY);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
        CairoAccess::applyColor(context, color);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    const std::pair<double, double> outside[2] = {{top, middle.minY}, {middle.maxY, bottom}};
    for (const auto& [from, to] : outside) {
        if (!(from < to))
            continue;
        const CairoAccess::PendingClipScope clipped(context);
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        cairo_move_to(cr, left, from);
        cairo_line_to(cr, right, from);
        cairo_line_to(cr, right, to);
        cairo_line_to(cr, left, to);
        cairo_close_path(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
        CairoAccess::applyColor(context, color);
        cairo_fill(cr);
    }
    return true;
}

/// Whether Cairo takes `style`'s dash: one with a negative length, or only zero lengths, is an
/// error for it, and such a dash is drawn solid.
bool dashIsValid(const StrokeStyle& style) {
    return !style.dash.empty() && std::all_of(style.dash.begin(), style.dash.end(), [](double v) {
        return v >= 0 && std::isfinite(v);
    }) && std::any_of(style.dash.begin(), style.dash.end(), [](double v) { return v > 0; });
}

/// Sets Cairo's stroke parameters for `style` with the line width `width` (user space).
void setStrokeStyle(cairo_t* cr, const StrokeStyle& style, double width) {
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, style.lineCap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                           : style.lineCap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, style.lineJoin == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                            : style.lineJoin == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, std::max(1.0, style.miterLimit));
    if (dashIsValid(style))
        cairo_set_dash(cr, style.dash.data(), static_cast<int>(style.dash.size()), style.dashPhase);
    else
        cairo_set_dash(cr, nullptr, 0, 0);
}

/// Device rows across which the stroke of a closed path is exactly two columns of whole pixels,
/// one along each of two vertical sides (a panel's border between its corners), and nothing
/// else: `left` and `right` are those columns over the rows.
struct StrokedSides {
    PixelBox left;
    PixelBox right;
};

/// The rows and columns of `StrokedSides` for `path` stroked `width` wide (user space) under `m`,
/// a transform without rotation or shear: the path must be one closed subpath with exactly two
/// vertical lines among its segments, and the pen's edges along them must fall on pixel
/// boundaries. Everything else the stroke draws stays within the pen's reach of the segments'
/// hulls, and a join within the miter's reach of its vertex; the rows those reach are left out.
std::optional<StrokedSides> strokedSidesOf(const Path& path, const cairo_matrix_t& m, double width,
                                           const StrokeStyle& style) {
    const auto& elements = path.elements();
    if (elements.size() < 4 || elements.front().kind != Path::ElementKind::moveTo ||
        elements.back().kind != Path::ElementKind::closeSubpath)
        return std::nullopt;
    // The segments in device space: from, up to two controls, to.
    struct Segment {
        Point points[4];
        int count = 2; // 2: a line; 3: a quadratic curve; 4: a cubic one
    };
    const auto device = [&m](Point p) {
        cairo_matrix_transform_point(&m, &p.x, &p.y);
        return p;
    };
    std::vector<Segment> segments;
    segments.reserve(elements.size());
    Point current = device(elements.front().points[0]);
    const Point start = current;
    for (std::size_t i = 1; i + 1 < elements.size(); ++i) {
        const Path::Element& e = elements[i];
        Segment segment;
        segment.points[0] = current;
        switch (e.kind) {
        case Path::ElementKind::lineTo:
            segment.points[1] = device(e.points[0]);
            break;
        case Path::ElementKind::quadCurveTo:
            segment.count = 3;
            segment.points[1] = device(e.points[0]);
            segment.points[2] = device(e.points[1]);
            break;
        case Path::ElementKind::curveTo:
            segment.count = 4;
            for (int k = 0; k < 3; ++k)
                segment.points[k + 1] = device(e.points[k]);
            break;
        case Path::ElementKind::moveTo:
        case Path::ElementKind::closeSubpath:
            return std::nullopt;
        }
        current = segment.points[segment.count - 1];
        segments.push_back(segment);
    }
    if (current != start) {
        Segment closing;
        closing.points[0] = current;
        closing.points[1] = start;
        segments.push_back(closing);
    }
    const std::size_t n = segments.size();
    if (n < 3)
        return std::nullopt;
    // The two vertical sides.
    std::size_t sides[2] = {n, n};
    for (std::size_t i = 0; i < n; ++i) {
        const Segment& s = segments[i];
        if (s.count == 2 && s.points[0].x == s.points[1].x && s.points[0].y != s.points[1].y) {
            if (sides[1] != n)
                return std::nullopt;
            sides[sides[0] == n ? 0 : 1] = i;
        }
    }
    if (sides[1] == n)
        return std::nullopt;
    // Half the pen across the sides, and the farthest the pen reaches in any direction.
    const double halfX = width / 2 * std::abs(m.xx);
    const double reach = width / 2 * std::max(std::abs(m.xx), std::abs(m.yy));
    const double miterReach =
        style.lineJoin == LineJoin::miter ? reach * std::max(1.0, style.miterLimit) : reach;
    const Segment& a = segments[sides[0]];
    const Segment& b = segments[sides[1]];
    double top =
        std::max(std::min(a.points[0].y, a.points[1].y), std::min(b.points[0].y, b.points[1].y));
    double bottom =
        std::min(std::max(a.points[0].y, a.points[1].y), std::max(b.points[0].y, b.points[1].y));
    const double middle = (top + bottom) / 2;
    // Cairo draws from 24.8 fixed-point coordinates: edges count as on pixel boundaries only where
    // they are so exactly.
    const auto onGrid = [](double v) {
        return std::floor(v * 256) == v * 256 && std::abs(v) < 1e7;
    };
    if (!(top < bottom) || !onGrid(a.points[0].x) || !onGrid(b.points[0].x))
        return std::nullopt;
    // What the stroke draws besides the sides: the rows it reaches.
    const auto exclude = [&](double from, double to) {
        if (from + to < 2 * middle)
            top = std::max(top, to);
        else
            bottom = std::min(bottom, from);
    };
    const auto direction = [](const Segment& s, bool atEnd) {
        // Towards the first control point distinct from the end.
        const Point end = atEnd ? s.points[s.count - 1] : s.points[0];
        for (int k = 1; k < s.count; ++k) {
            const Point other = atEnd ? s.points[s.count - 1 - k] : s.points[k];
            if (other != end)
                return atEnd ? Point{end.x - other.x, end.y - other.y}
                             : Point{other.x - end.x, other.y - end.y};
        }
        return Point{};
    };
    for (std::size_t i = 0; i < n; ++i) {
        const Segment& s = segments[i];
        if (i != sides[0] && i != sides[1]) {
            double minY = s.points[0].y, maxY = s.points[0].y;
            for (int k = 1; k < s.count; ++k) {
                minY = std::min(minY, s.points[k].y);
                maxY = std::max(maxY, s.points[k].y);
            }
            exclude(minY - reach, maxY + reach);
        }
        // The join into the next segment: none where the two go on in one direction.
        const Point in = direction(s, true);
        const Point out = direction(segments[(i + 1) % n], false);
        const bool straightOn = in.x * out.y - in.y * out.x == 0 && in.x * out.x + in.y * out.y > 0;
        const double y = s.points[s.count - 1].y;
        const double join = straightOn ? reach : miterReach;
        exclude(y - join, y + join);
    }
    // A 24.8 coordinate rounds to within 1/512 of the double's.
    top = std::ceil(top + 1.0 / 256);
    bottom = std::floor(bottom - 1.0 / 256);
    const double leftX = std::min(a.points[0].x, b.points[0].x);
    const double rightX = std::max(a.points[0].x, b.points[0].x);
    const PixelBox left{leftX - halfX, top, leftX + halfX, bottom};
    const PixelBox right{rightX - halfX, top, rightX + halfX, bottom};
    if (!(bottom - top >= 8) || !(left.maxX <= right.minX) || !(left.minX < left.maxX) ||
        std::floor(left.minX) != left.minX || std::floor(left.maxX) != left.maxX ||
        std::floor(right.minX) != right.minX || std::floor(right.maxX) != right.maxX)
        return std::nullopt;
    return StrokedSides{left, right};
}

/// Whether every clip of the context leaves each pixel whole or out: under such clips a clip to
/// rows of pixels added to them cuts the drawing only between rows. (Cairo keeps clips to pixel
/// boxes as a region, which it can list; it lists no clip at all as unrepresentable.)
bool clipsOnlyWholePixels(const GraphicsContext::Internal& in) {
    if (in.hasPendingClips())
        return false;
    const PixelBox all = PixelBox::everything();
    if (in.state.unclipped.minX == all.minX && in.state.unclipped.minY == all.minY &&
        in.state.unclipped.maxX == all.maxX && in.state.unclipped.maxY == all.maxY)
        return true;
    cairo_rectangle_list_t* rectangles = cairo_copy_clip_rectangle_list(in.cr);
    const bool region = rectangles->status == CAIRO_STATUS_SUCCESS;
    cairo_rectangle_list_destroy(rectangles);
    return region;
}

/// The rows a stroke draws beyond its straight sides (a panel's corners and its top or bottom
/// edge), as runs of pixels of one coverage, found once by letting Cairo stroke them into a mask:
/// Cairo works in 24.8 fixed point, so a path moved by whole pixels is drawn moved alike, and a
/// panel drawn again where it was (each showing of a page, a scroll by whole pixels) is laid from
/// the runs. Kept per thread, the least recently used giving way.
class StrokeBands {
public:
    struct Key {
        /// Of the coordinates, compared first.
        std::size_t hash = 0;
        /// The path's device coordinates in 1/256 pixel, from a whole pixel near its start, and
        /// its elements' kinds.
        std::vector<std::int32_t> coordinates;
        std::vector<Path::ElementKind> kinds;
        double width = 0;
        double miterLimit = 0;
        double tolerance = 0;
        LineJoin join = LineJoin::miter;
        int antialias = 0;
        /// The band's far edge (a row boundary) from the same pixel, and which side of it.
        double edge = 0;
        bool above = false;
        bool operator==(const Key&) const = default;
    };
    struct Run {
        std::int32_t x, y, length;
        std::uint8_t coverage;
    };

    /// The runs for `key` (relative to its pixel), made by `make(key)` when not kept; null where
    /// they cannot be made.
    template <class Make>
    const std::vector<Run>* find(Key key, Make&& make) {
        ++clock_;
        for (Entry& entry : entries_) {
            if (entry.key == key) {
                entry.used = clock_;
                return &entry.runs;
            }
        }
        std::optional<std::vector<Run>> runs = make(static_cast<const Key&>(key));
        if (!runs)
            return nullptr;
        if (entries_.size() < capacity) {
            entries_.push_back({std::move(key), std::move(*runs), clock_});
            return &entries_.back().runs;
        }
        // The least recently used gives way: what a showing draws stays while it is drawn again.
        Entry& oldest =
            *std::min_element(entries_.begin(), entries_.end(),
                              [](const Entry& a, const Entry& b) { return a.used < b.used; });
        oldest = {std::move(key), std::move(*runs), clock_};
        return &oldest.runs;
    }

private:
    struct Entry {
        Key key;
        std::vector<Run> runs;
        std::uint64_t used = 0;
    };
    static constexpr std::size_t capacity = 512;
    std::vector<Entry> entries_;
    std::uint64_t clock_ = 0;
};

/// Lays `runs` of coverage (relative to the device pixel `origin`) in the opaque `pixel` onto the
/// ARGB32 `target`, blending partly covered pixels as Cairo's span renderer does for an opaque
/// colour: each channel src·a/255 + dst·(255 − a)/255, each product rounded.
void layRuns(cairo_surface_t* target, const std::vector<StrokeBands::Run>& runs, int originX,
             int originY, std::uint32_t pixel) {
    unsigned char* data = cairo_image_surface_get_data(target);
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    const auto stride = static_cast<std::ptrdiff_t>(cairo_image_surface_get_stride(target));
    const auto mul = [](std::uint32_t v, std::uint32_t a) {
        const std::uint32_t t = (v & 0xff00ff) * a + 0x7f007f;
        return ((t + ((t >> 8) & 0xff00ff)) >> 8) & 0xff00ff;
    };
    // The two products of a channel never add up past 255.
    const auto lerp = [&](std::uint32_t a, std::uint32_t dst) {
        return (mul(pixel, a) + mul(dst, 255 - a)) |
               ((mul(pixel >> 8, a) + mul(dst >> 8, 255 - a)) << 8);
    };
    int minY = height, maxY = 0, minX = width, maxX = 0;
    for (const StrokeBands::Run& run : runs) {
        const int y = originY + run.y;
        const int x0 = std::max(originX + run.x, 0);
        const int x1 = std::min(originX + run.x + run.length, width);
        if (y < 0 || y >= height || x0 >= x1)
            continue;
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        if (run.coverage == 255) {
            std::fill(row + x0, row + x1, pixel);
        } else {
            // Along an edge the pixels under it are mostly alike: each blend is kept for the next.
            std::uint32_t last = ~row[x0];
            std::uint32_t blended = 0;
            for (int x = x0; x < x1; ++x) {
                if (row[x] != last) {
                    last = row[x];
                    blended = lerp(run.coverage, last);
                }
                row[x] = blended;
            }
        }
        minY = std::min(minY, y);
        maxY = std::max(maxY, y + 1);
        minX = std::min(minX, x0);
        maxX = std::max(maxX, x1);
    }
    if (minY < maxY)
        cairo_surface_mark_dirty_rectangle(target, minX, minY, maxX - minX, maxY - minY);
}

/// Strokes the rows of `path` beyond `edge` (above it or below it) from the runs kept for them,
/// where the transform only moves (no scale), the path has no quadratic curves, and every clip
/// leaves the rows' pixels whole. Returns false, having drawn nothing, where it does not.
bool strokeBandFromRuns(GraphicsContext& context, const Path& path, const StrokeStyle& style,
                        double width, const cairo_matrix_t& m, double edge, bool above,
                        std::uint32_t pixel) {
    auto& in = context.internal();
    cairo_t* cr = in.cr;
    if (m.xx != 1 || m.yy != 1 || path.elements().empty())
        return false;
    cairo_surface_t* target = cairo_get_group_target(cr);
    cairo_surface_flush(target);
    if (cairo_image_surface_get_data(target) == nullptr)
        return false;
    StrokeBands::Key key;
    key.coordinates.reserve(path.elements().size() * 6);
    key.kinds.reserve(path.elements().size());
    // The pixel the coordinates are taken from, and the path's extent, both in device space.
    Point first = path.elements().front().points[0];
    cairo_matrix_transform_point(&m, &first.x, &first.y);
    if (!(std::abs(first.x) < 1 << 22) || !(std::abs(first.y) < 1 << 22))
        return false;
    const double originX = std::floor(first.x), originY = std::floor(first.y);
    double minX = first.x, maxX = first.x, minY = first.y, maxY = first.y;
    for (const Path::Element& e : path.elements()) {
        int count = 0;
        switch (e.kind) {
        case Path::ElementKind::moveTo:
        case Path::ElementKind::lineTo:
            count = 1;
            break;
        case Path::ElementKind::curveTo:
            count = 3;
            break;
        case Path::ElementKind::closeSubpath:
            break;
        case Path::ElementKind::quadCurveTo:
            return false;
        }
        key.kinds.push_back(e.kind);
        for (int k = 0; k < count; ++k) {
            double x = e.points[k].x, y = e.points[k].y;
            cairo_matrix_transform_point(&m, &x, &y);
            if (!(std::abs(x - originX) < 1 << 20) || !(std::abs(y - originY) < 1 << 20))
                return false;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            // As Cairo takes device coordinates to fixed point.
            key.coordinates.push_back(
                static_cast<std::int32_t>(std::nearbyint(x * 256) - originX * 256));
            key.coordinates.push_back(
                static_cast<std::int32_t>(std::nearbyint(y * 256) - originY * 256));
        }
    }
    // Everything the stroke draws lies within a miter's reach of the path's points.
    const double reach =
        width / 2 * (style.lineJoin == LineJoin::miter ? std::max(1.0, style.miterLimit) : 1) + 2;
    const double left = std::floor(minX - reach), right = std::ceil(maxX + reach);
    const double top = above ? std::floor(minY - reach) : edge;
    const double bottom = above ? edge : std::ceil(maxY + reach);
    if (!(top < bottom) || !(right - left < 1 << 14) || !(bottom - top < 1 << 14))
        return false;
    // Every clip must leave the band's pixels on the surface whole.
    const PixelBox band = PixelBox{left, top, right, bottom}.intersection(
        {0, 0, double(cairo_image_surface_get_width(target)),
         double(cairo_image_surface_get_height(target))});
    if (band.minX < band.maxX && band.minY < band.maxY && !in.state.unclipped.contains(band))
        return false;
    for (const std::int32_t v : key.coordinates)
        key.hash = (key.hash ^ static_cast<std::uint32_t>(v)) * 0x100000001b3ULL;
    key.width = width;
    key.miterLimit = std::max(1.0, style.miterLimit);
    key.tolerance = cairo_get_tolerance(cr);
    key.join = style.lineJoin;
    key.antialias = static_cast<int>(cairo_get_antialias(cr));
    key.edge = edge - originY;
    key.above = above;
    static thread_local StrokeBands bands;
    const std::vector<StrokeBands::Run>* runs = bands.find(
        std::move(key),
        [&](const StrokeBands::Key& k) -> std::optional<std::vector<StrokeBands::Run>> {
            // The band stroked into a mask whose top-left pixel is (left, top).
            const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);
            std::vector<StrokeBands::Run> made;
            cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
            cairo_t* mc = cairo_create(mask);
            const double dx = (originX - left) * 256, dy = (originY - top) * 256;
            std::size_t c = 0;
            for (const Path::ElementKind kind : k.kinds) {
                const auto at = [&](std::size_t i) {
                    return std::pair<double, double>{(k.coordinates[i] + dx) / 256,
                                                     (k.coordinates[i + 1] + dy) / 256};
                };
                switch (kind) {
                case Path::ElementKind::moveTo: {
                    const auto [x, y] = at(c);
                    cairo_move_to(mc, x, y);
                    c += 2;
                    break;
                }
                case Path::ElementKind::lineTo: {
                    const auto [x, y] = at(c);
                    cairo_line_to(mc, x, y);
                    c += 2;
                    break;
                }
                case Path::ElementKind::curveTo: {
                    const auto [x1, y1] = at(c);
                    const auto [x2, y2] = at(c + 2);
                    const auto [x3, y3] = at(c + 4);
                    cairo_curve_to(mc, x1, y1, x2, y2, x3, y3);
                    c += 6;
                    break;
                }
                case Path::ElementKind::closeSubpath:
                    cairo_close_path(mc);
                    break;
                case Path::ElementKind::quadCurveTo:
                    break;
                }
            }
            setStrokeStyle(mc, style, width);
            cairo_set_tolerance(mc, k.tolerance);
            cairo_set_antialias(mc, static_cast<cairo_antialias_t>(k.antialias));
            cairo_set_source_rgba(mc, 1, 1, 1, 1);
            cairo_stroke(mc);
            const bool drawn = cairo_status(mc) == CAIRO_STATUS_SUCCESS;
            cairo_destroy(mc);
            cairo_surface_flush(mask);
            const unsigned char* bytes = cairo_image_surface_get_data(mask);
            const int maskStride = cairo_image_surface_get_stride(mask);
            if (!drawn || bytes == nullptr) {
                cairo_surface_destroy(mask);
                return std::nullopt;
            }
            for (int y = 0; y < h; ++y) {
                const unsigned char* row = bytes + static_cast<std::ptrdiff_t>(y) * maskStride;
                for (int x = 0; x < w;) {
                    const std::uint8_t coverage = row[x];
                    int end = x + 1;
                    while (end < w && row[end] == coverage)
                        ++end;
                    if (coverage != 0)
                        made.push_back({x + static_cast<int>(left - originX),
                                        y + static_cast<int>(top - originY), end - x, coverage});
                    x = end;
                }
            }
            cairo_surface_destroy(mask);
            return made;
        });
    if (runs == nullptr)
        return false;
    layRuns(target, *runs, static_cast<int>(originX), static_cast<int>(originY), pixel);
    return true;
}

/// Strokes `path` in an opaque colour with its two vertical sides' rows written directly, where
/// `strokedSidesOf` finds them, and the rows above and below them, where the surface shows them,
/// from the runs kept for them or through Cairo (under a clip to them). Returns false, having left
/// every pixel as the stroke would draw it or as it was, where it does not.
bool strokeAcrossStraightSides(GraphicsContext& context, const Path& path, const Color& color,
                               const StrokeStyle& style, double width) {
    auto& in = context.internal();
    cairo_t* cr = in.cr;
    if (in.state.blendMode != BlendMode::normal || dashIsValid(style) || !(width > 0))
        return false;
    const RGBA c = context.resolve(color);
    if (!(c.alpha * in.state.opacity >= 1) || !clipsOnlyWholePixels(in))
        return false;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (m.xy != 0 || m.yx != 0)
        return false;
    const std::optional<StrokedSides> sides = strokedSidesOf(path, m, width, style);
    cairo_surface_t* target = cairo_get_group_target(cr);
    if (!sides || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE)
        return false;
    const bool above = sides->left.minY > 0;
    const bool below = sides->left.maxY < cairo_image_surface_get_height(target);
    // Cairo strokes the whole path whatever part of it a clip leaves, and under a clip to two
    // runs of rows it draws a few pixels differently: where the surface shows the rows on both
    // sides of the sides', this pays only with both laid from runs.
    const bool fromRuns =
        m.xx == 1 && m.yy == 1 &&
        std::none_of(path.elements().begin(), path.elements().end(), [](const Path::Element& e) {
            return e.kind == Path::ElementKind::quadCurveTo;
        });
    // A side written before the other fails is written again alike by the whole stroke.
    if ((above && below && !fromRuns) || !fillPixelsDirectly(in, sides->left, c) ||
        !fillPixelsDirectly(in, sides->right, c))
        return false;
    const std::uint32_t pixel = opaquePixel(c.red, c.green, c.blue, c.alpha * in.state.opacity);
    for (const bool up : {true, false}) {
        const double edge = up ? sides->left.minY : sides->left.maxY;
        if (!(up ? above : below) ||
            (fromRuns && strokeBandFromRuns(context, path, style, width, m, edge, up, pixel)))
            continue;
        constexpr double far = 1 << 22;
        const CairoAccess::PendingClipScope clipped(context);
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        if (up)
            cairo_rectangle(cr, -far, -far, 2 * far, edge + far);
        else
            cairo_rectangle(cr, -far, edge, 2 * far, far - edge);
        cairo_clip(cr);
        cairo_set_matrix(cr, &m);
        CairoAccess::appendPath(cr, path);
        setStrokeStyle(cr, style, width);
        CairoAccess::applyColor(context, color);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
    return true;
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
    if (paintsNothing(*internal_, color)) {
        cairo_new_path(cr); // as the fill would have left it
        return;
    }
    if (style.antialiased) {
        if (const std::optional<Rect> box = clipBoxOf(path)) {
            cairo_matrix_t m;
            cairo_get_matrix(cr, &m);
            if (const auto pixels = pixelAlignedBox(*box, m);
                pixels && (fillPixelsDirectly(*internal_, *pixels, resolve(color)) ||
                           fillAroundClipEdges(*this, *pixels, color))) {
                cairo_new_path(cr);
                return;
            }
            if (internal_->hasPendingClips() && fillAcrossExactRows(*this, *box, m, color))
                return;
        }
    }
    const CairoAccess::PendingClipScope clipped(*this);
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
    if (paintsNothing(*internal_, color)) {
        cairo_new_path(cr); // as the stroke would have left it
        return;
    }
    double width = style.lineWidth;
    if (width == 0) {
        // A zero width strokes the thinnest visible line: one device pixel, whatever the scale.
        double dx = 1, dy = 0;
        cairo_device_to_user_distance(cr, &dx, &dy);
        width = std::hypot(dx, dy);
    }
    if (strokeAcrossStraightSides(*this, path, color, style, width)) {
        cairo_new_path(cr);
        return;
    }
    const CairoAccess::PendingClipScope clipped(*this);
    cairo_new_path(cr);
    CairoAccess::appendPath(cr, path);
    setStrokeStyle(cr, style, width);
    CairoAccess::applyColor(*this, color);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

void GraphicsContext::clip(const Path& path, const FillStyle& style) {
    auto& in = *internal_;
    cairo_t* cr = in.cr;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    const bool axisAligned = m.xy == 0 && m.yx == 0;
    std::optional<Rect> box;
    if (axisAligned && (box = clipBoxOf(path))) {
        // A box and the clips to curved shapes narrow the same pixels in either order, so it
        // goes to Cairo at once, ahead of any still pending.
        in.state.unclipped = in.state.unclipped.intersection(
            PixelBox::inside(box->minX(), box->minY(), box->maxX(), box->maxY(), m));
    } else if (const auto band =
                   axisAligned && style.antialiased ? straightBandOf(path) : std::nullopt) {
        PixelBox covered = PixelBox::inside(band->minX, band->minY, band->maxX, band->maxY, m);
        // A pixel of margin against the rasterizer's rounding of the sides.
        covered = {covered.minX + 1, covered.minY + 1, covered.maxX - 1, covered.maxY - 1};
        in.deferredClips.erase(in.deferredClips.begin() + in.state.deferredClips,
                               in.deferredClips.end());
        // Straight sides on pixel boundaries make the band's rows exact.
        double left = band->minX, right = band->maxX, y = band->minY;
        cairo_matrix_transform_point(&m, &left, &y);
        y = band->minY;
        cairo_matrix_transform_point(&m, &right, &y);
        const PixelBox rows = PixelBox::inside(band->minX, band->minY, band->maxX, band->maxY, m);
        PixelBox exact;
        if (std::floor(left) == left && std::floor(right) == right && std::abs(left) < 1e7 &&
            std::abs(right) < 1e7)
            exact = {std::min(left, right), rows.minY, std::max(left, right), rows.maxY};
        in.deferredClips.push_back({path, style, m, covered, exact});
        ++in.state.deferredClips;
        return;
    } else {
        // Clips to shapes Cairo cannot keep as boxes go to it in the order they were given.
        in.applyPendingClips();
        in.state.unclipped = {};
    }
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
    const auto& in = *internal_;
    if (in.hasPendingClips()) {
        // Asked of Cairo with the pending clips in force, so that it is the same rectangle.
        cairo_save(in.cr);
        in.applyPendingClipsTemporarily();
        cairo_clip_extents(in.cr, &x0, &y0, &x1, &y1);
        cairo_restore(in.cr);
    } else {
        cairo_clip_extents(in.cr, &x0, &y0, &x1, &y1);
    }
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
    const CairoAccess::PendingClipScope clipped(*this);
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
    // The layer is composited under the clips in force when it begins.
    in.applyPendingClips();
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

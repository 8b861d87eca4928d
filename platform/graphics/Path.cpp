#include "platform/graphics/Path.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// Control-point offset that makes a cubic Bézier approximate a quarter circle.
constexpr CGFloat kappa = 0.5522847498307936;

// A continuous corner of radius r starts this many radii before the corner along each edge and is
// drawn as three cubic segments (an easing curve, a near-circular arc, an easing curve); the
// coordinates are multiples of r measured from the corner point, for the top-right corner.
constexpr CGFloat continuousExtent = 1.528665;
struct CornerCurve {
    CGFloat c1x, c1y, c2x, c2y, ex, ey;
};
constexpr CornerCurve continuousCorner[3] = {
    {1.088493, 0.0, 0.868407, 0.0, 0.631494, 0.074911},
    {0.372824, 0.169060, 0.169060, 0.372824, 0.074911, 0.631494},
    {0.0, 0.868407, 0.0, 1.088493, 0.0, 1.528665},
};

} // namespace

Path Path::rect(const Rect& r) {
    Path p;
    p.addRect(r);
    return p;
}

Path Path::roundedRect(const Rect& r, Size cornerSize, RoundedCornerStyle style) {
    Path p;
    p.addRoundedRect(r, cornerSize, style);
    return p;
}

Path Path::ellipse(const Rect& r) {
    Path p;
    p.addEllipse(r);
    return p;
}

void Path::move(Point to) {
    elements_.push_back({ElementKind::moveTo, {to, {}, {}}});
    hasCurrentPoint_ = true;
    subpathStart_ = to;
}

void Path::addLine(Point to) {
    if (!hasCurrentPoint_) {
        move(to);
        return;
    }
    elements_.push_back({ElementKind::lineTo, {to, {}, {}}});
}

void Path::addQuadCurve(Point to, Point control) {
    if (!hasCurrentPoint_)
        move(control);
    elements_.push_back({ElementKind::quadCurveTo, {control, to, {}}});
}

void Path::addCurve(Point to, Point control1, Point control2) {
    if (!hasCurrentPoint_)
        move(control1);
    elements_.push_back({ElementKind::curveTo, {control1, control2, to}});
}

void Path::closeSubpath() {
    if (!hasCurrentPoint_)
        return;
    elements_.push_back({ElementKind::closeSubpath, {}});
    // After a close the current point is the start of the closed subpath.
    hasCurrentPoint_ = true;
}

void Path::addRect(const Rect& r) {
    if (r.isNull())
        return;
    const Rect s = r.standardized();
    move({s.minX(), s.minY()});
    addLine({s.maxX(), s.minY()});
    addLine({s.maxX(), s.maxY()});
    addLine({s.minX(), s.maxY()});
    closeSubpath();
}

void Path::addRoundedRect(const Rect& r, Size cornerSize, RoundedCornerStyle style) {
    if (r.isNull())
        return;
    const Rect s = r.standardized();
    CGFloat rx =
        std::clamp(std::isnan(cornerSize.width) ? 0 : cornerSize.width, 0.0, s.width() / 2);
    CGFloat ry =
        std::clamp(std::isnan(cornerSize.height) ? 0 : cornerSize.height, 0.0, s.height() / 2);
    if (rx <= 0 || ry <= 0) {
        addRect(s);
        return;
    }
    const CGFloat x0 = s.minX(), x1 = s.maxX(), y0 = s.minY(), y1 = s.maxY();

    // A continuous corner needs room for its easing; where the rectangle is too small for that
    // it degrades to a circular corner, which fits within half the side.
    const bool continuous = style == RoundedCornerStyle::continuous &&
                            rx * continuousExtent <= s.width() / 2 &&
                            ry * continuousExtent <= s.height() / 2;
    if (continuous) {
        // Each corner is the top-right template mirrored: (sx, sy) are the directions from the
        // corner point into the rectangle along x and y; the template runs from the horizontal
        // edge to the vertical one, so corners visited in the other order run it backwards.
        auto corner = [&](Point c, CGFloat sx, CGFloat sy, bool fromHorizontal) {
            auto at = [&](CGFloat u, CGFloat v) {
                return Point{c.x + sx * u * rx, c.y + sy * v * ry};
            };
            if (fromHorizontal) {
                addLine(at(continuousExtent, 0));
                for (const CornerCurve& k : continuousCorner)
                    addCurve(at(k.ex, k.ey), at(k.c1x, k.c1y), at(k.c2x, k.c2y));
            } else {
                addLine(at(0, continuousExtent));
                // Reversed: each segment's end is the previous segment's start.
                const CornerCurve* k = continuousCorner;
                addCurve(at(k[1].ex, k[1].ey), at(k[2].c2x, k[2].c2y), at(k[2].c1x, k[2].c1y));
                addCurve(at(k[0].ex, k[0].ey), at(k[1].c2x, k[1].c2y), at(k[1].c1x, k[1].c1y));
                addCurve(at(continuousExtent, 0), at(k[0].c2x, k[0].c2y), at(k[0].c1x, k[0].c1y));
            }
        };
        move({x0 + continuousExtent * rx, y0});
        corner({x1, y0}, -1, 1, true);   // top right
        corner({x1, y1}, -1, -1, false); // bottom right
        corner({x0, y1}, 1, -1, true);   // bottom left
        corner({x0, y0}, 1, 1, false);   // top left
        closeSubpath();
        return;
    }

    const CGFloat kx = rx * kappa, ky = ry * kappa;
    move({x0 + rx, y0});
    addLine({x1 - rx, y0});
    addCurve({x1, y0 + ry}, {x1 - rx + kx, y0}, {x1, y0 + ry - ky});
    addLine({x1, y1 - ry});
    addCurve({x1 - rx, y1}, {x1, y1 - ry + ky}, {x1 - rx + kx, y1});
    addLine({x0 + rx, y1});
    addCurve({x0, y1 - ry}, {x0 + rx - kx, y1}, {x0, y1 - ry + ky});
    addLine({x0, y0 + ry});
    addCurve({x0 + rx, y0}, {x0, y0 + ry - ky}, {x0 + rx - kx, y0});
    closeSubpath();
}

void Path::addEllipse(const Rect& r) {
    if (r.isNull())
        return;
    const Rect s = r.standardized();
    const CGFloat rx = s.width() / 2, ry = s.height() / 2;
    const CGFloat cx = s.midX(), cy = s.midY();
    const CGFloat kx = rx * kappa, ky = ry * kappa;
    move({cx + rx, cy});
    addCurve({cx, cy + ry}, {cx + rx, cy + ky}, {cx + kx, cy + ry});
    addCurve({cx - rx, cy}, {cx - kx, cy + ry}, {cx - rx, cy + ky});
    addCurve({cx, cy - ry}, {cx - rx, cy - ky}, {cx - kx, cy - ry});
    addCurve({cx + rx, cy}, {cx + kx, cy - ry}, {cx + rx, cy - ky});
    closeSubpath();
}

void Path::addPath(const Path& other) {
    elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
    if (other.hasCurrentPoint_) {
        hasCurrentPoint_ = true;
        subpathStart_ = other.subpathStart_;
    }
}

Rect Path::boundingRect() const {
    Rect box = Rect::null();
    auto add = [&](Point p) { box = box.unionWith(Rect{p, Size{}}); };
    for (const Element& e : elements_) {
        switch (e.kind) {
        case ElementKind::moveTo:
        case ElementKind::lineTo:
            add(e.points[0]);
            break;
        case ElementKind::quadCurveTo:
            add(e.points[0]);
            add(e.points[1]);
            break;
        case ElementKind::curveTo:
            add(e.points[0]);
            add(e.points[1]);
            add(e.points[2]);
            break;
        case ElementKind::closeSubpath:
            break;
        }
    }
    return box;
}

Path Path::applying(const AffineTransform& t) const {
    Path p = *this;
    for (Element& e : p.elements_)
        for (Point& pt : e.points)
            pt = t.apply(pt);
    p.subpathStart_ = t.apply(subpathStart_);
    return p;
}

} // namespace platform

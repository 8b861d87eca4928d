#include "platform/graphics/Geometry.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace platform {

AffineTransform AffineTransform::rotation(CGFloat radians) {
    const CGFloat c = std::cos(radians);
    const CGFloat s = std::sin(radians);
    return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concatenating(const AffineTransform& o) const {
    return {a * o.a + b * o.c, a * o.b + b * o.d,          c * o.a + d * o.c,
            c * o.b + d * o.d, tx * o.a + ty * o.c + o.tx, tx * o.b + ty * o.d + o.ty};
}

AffineTransform AffineTransform::translatedBy(CGFloat x, CGFloat y) const {
    return translation(x, y).concatenating(*this);
}

AffineTransform AffineTransform::scaledBy(CGFloat sx, CGFloat sy) const {
    return scale(sx, sy).concatenating(*this);
}

AffineTransform AffineTransform::rotatedBy(CGFloat radians) const {
    return rotation(radians).concatenating(*this);
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    const CGFloat det = a * d - b * c;
    if (det == 0 || !std::isfinite(det))
        return std::nullopt;
    const CGFloat ia = d / det;
    const CGFloat ib = -b / det;
    const CGFloat ic = -c / det;
    const CGFloat id = a / det;
    return AffineTransform{ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

Point AffineTransform::apply(const Point& p) const {
    return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty};
}

Size AffineTransform::apply(const Size& s) const {
    return {a * s.width + c * s.height, b * s.width + d * s.height};
}

Rect AffineTransform::apply(const Rect& r) const {
    if (r.isNull())
        return r;
    const Point corners[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                              apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
    CGFloat x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
    for (const Point& p : corners) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace platform

std::size_t std::hash<platform::Point>::operator()(const platform::Point& p) const noexcept {
    return platform::hashCombine(platform::hashDouble(p.x), platform::hashDouble(p.y));
}

std::size_t std::hash<platform::Size>::operator()(const platform::Size& s) const noexcept {
    return platform::hashCombine(platform::hashDouble(s.width), platform::hashDouble(s.height));
}

std::size_t std::hash<platform::Rect>::operator()(const platform::Rect& r) const noexcept {
    return platform::hashCombine(std::hash<platform::Point>{}(r.origin),
                                 std::hash<platform::Size>{}(r.size));
}

std::size_t
std::hash<platform::EdgeInsets>::operator()(const platform::EdgeInsets& e) const noexcept {
    std::size_t h = platform::hashDouble(e.top);
    h = platform::hashCombine(h, platform::hashDouble(e.leading));
    h = platform::hashCombine(h, platform::hashDouble(e.bottom));
    return platform::hashCombine(h, platform::hashDouble(e.trailing));
}

#include "platform/graphics/Geometry.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace platform {

bool Rect::isNull() const {
    return std::isinf(origin.x) || std::isinf(origin.y);
}

bool Rect::isEmpty() const {
    return isNull() || size.width == 0 || size.height == 0;
}

bool Rect::equalTo(const Rect& other) const {
    if (isNull() || other.isNull())
        return isNull() && other.isNull();
    return standardized() == other.standardized();
}

CGFloat Rect::minX() const {
    return std::min(origin.x, origin.x + size.width);
}
CGFloat Rect::maxX() const {
    return std::max(origin.x, origin.x + size.width);
}
CGFloat Rect::midX() const {
    return origin.x + size.width / 2;
}
CGFloat Rect::minY() const {
    return std::min(origin.y, origin.y + size.height);
}
CGFloat Rect::maxY() const {
    return std::max(origin.y, origin.y + size.height);
}
CGFloat Rect::midY() const {
    return origin.y + size.height / 2;
}
CGFloat Rect::width() const {
    return std::abs(size.width);
}
CGFloat Rect::height() const {
    return std::abs(size.height);
}

Rect Rect::standardized() const {
    if (isNull())
        return *this;
    return {minX(), minY(), width(), height()};
}

Rect Rect::integral() const {
    if (isNull())
        return *this;
    const Rect s = standardized();
    const CGFloat x0 = std::floor(s.origin.x);
    const CGFloat y0 = std::floor(s.origin.y);
    // An empty rectangle keeps an empty size: rounding its far edge up would grow it to a
    // one-point square.
    const CGFloat x1 = s.size.width == 0 ? x0 : std::ceil(s.origin.x + s.size.width);
    const CGFloat y1 = s.size.height == 0 ? y0 : std::ceil(s.origin.y + s.size.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::offsetBy(CGFloat dx, CGFloat dy) const {
    if (isNull())
        return *this;
    return {origin.x + dx, origin.y + dy, size.width, size.height};
}

Rect Rect::insetBy(CGFloat dx, CGFloat dy) const {
    if (isNull())
        return *this;
    const Rect s = standardized();
    const CGFloat w = s.size.width - 2 * dx;
    const CGFloat h = s.size.height - 2 * dy;
    if (w < 0 || h < 0)
        return null();
    return {s.origin.x + dx, s.origin.y + dy, w, h};
}

Rect Rect::inset(const EdgeInsets& e) const {
    if (isNull())
        return *this;
    const Rect s = standardized();
    const CGFloat w = s.size.width - e.leading - e.trailing;
    const CGFloat h = s.size.height - e.top - e.bottom;
    if (w < 0 || h < 0)
        return null();
    return {s.origin.x + e.leading, s.origin.y + e.top, w, h};
}

Rect Rect::unionWith(const Rect& other) const {
    if (isNull())
        return other.standardized();
    if (other.isNull())
        return standardized();
    const CGFloat x0 = std::min(minX(), other.minX());
    const CGFloat y0 = std::min(minY(), other.minY());
    const CGFloat x1 = std::max(maxX(), other.maxX());
    const CGFloat y1 = std::max(maxY(), other.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::intersection(const Rect& other) const {
    if (isNull() || other.isNull())
        return null();
    const CGFloat x0 = std::max(minX(), other.minX());
    const CGFloat y0 = std::max(minY(), other.minY());
    const CGFloat x1 = std::min(maxX(), other.maxX());
    const CGFloat y1 = std::min(maxY(), other.maxY());
    if (x1 < x0 || y1 < y0)
        return null();
    return {x0, y0, x1 - x0, y1 - y0};
}

bool Rect::intersects(const Rect& other) const {
    return !intersection(other).isEmpty();
}

bool Rect::contains(const Point& p) const {
    if (isEmpty())
        return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const {
    if (isNull() || other.isNull())
        return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
}

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

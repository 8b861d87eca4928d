#pragma once

// Plain geometry values: points, sizes, rectangles, edge insets and affine transforms. Coordinates
// are doubles; y grows downwards as in every Cairo surface this layer draws into.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>

namespace platform {

using CGFloat = double;

struct Point {
    CGFloat x = 0;
    CGFloat y = 0;

    static constexpr Point zero() { return {}; }
    friend constexpr bool operator==(const Point&, const Point&) = default;
    constexpr Point operator+(const Point& o) const { return {x + o.x, y + o.y}; }
    constexpr Point operator-(const Point& o) const { return {x - o.x, y - o.y}; }
};

struct Size {
    CGFloat width = 0;
    CGFloat height = 0;

    static constexpr Size zero() { return {}; }
    friend constexpr bool operator==(const Size&, const Size&) = default;
    /// Both lengths multiplied by `factor`.
    constexpr Size scaled(CGFloat factor) const { return {width * factor, height * factor}; }
};

/// Insets from each edge of a rectangle; leading is the left edge and trailing the right one in
/// left-to-right layouts.
struct EdgeInsets {
    CGFloat top = 0;
    CGFloat leading = 0;
    CGFloat bottom = 0;
    CGFloat trailing = 0;

    constexpr EdgeInsets() = default;
    constexpr EdgeInsets(CGFloat top_, CGFloat leading_, CGFloat bottom_, CGFloat trailing_)
        : top(top_)
        , leading(leading_)
        , bottom(bottom_)
        , trailing(trailing_) {}
    /// The same inset on all four edges.
    static constexpr EdgeInsets all(CGFloat v) { return {v, v, v, v}; }

    friend constexpr bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
    constexpr EdgeInsets scaled(CGFloat f) const {
        return {top * f, leading * f, bottom * f, trailing * f};
    }
};

/// A rectangle given by an origin and a size. The size may be negative (the rectangle then
/// extends to the left of / above its origin); the min/max accessors and every operation below
/// work on the standardized form. The null rectangle (an infinite origin) is what the
/// intersection of two disjoint rectangles gives.
struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s)
        : origin(o)
        , size(s) {}
    constexpr Rect(CGFloat x, CGFloat y, CGFloat w, CGFloat h)
        : origin{x, y}
        , size{w, h} {}

    static constexpr Rect zero() { return {}; }
    static constexpr Rect null() {
        constexpr CGFloat inf = std::numeric_limits<CGFloat>::infinity();
        return {inf, inf, 0, 0};
    }

    /// Field-wise equality (rectangles that differ only by the sign of their size are not equal
    /// here; compare `standardized()` forms for geometric equality).
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
    /// Geometric equality: the same area after standardizing; two null rectangles are equal.
    bool equalTo(const Rect& other) const;

    bool isNull() const;
    /// True for the null rectangle and for rectangles of zero width or height.
    bool isEmpty() const;

    CGFloat minX() const;
    CGFloat midX() const;
    CGFloat maxX() const;
    CGFloat minY() const;
    CGFloat midY() const;
    CGFloat maxY() const;
    /// Absolute width and height.
    CGFloat width() const;
    CGFloat height() const;

    /// The same rectangle with a non-negative size.
    Rect standardized() const;
    /// The smallest rectangle with integer origin and size that contains this one: the minimum
    /// edges are rounded down and the maximum edges up. Null stays null; an empty rectangle keeps
    /// its (rounded) origin with zero size.
    Rect integral() const;
    Rect offsetBy(CGFloat dx, CGFloat dy) const;
    /// Shrinks by `dx` on the left and right and `dy` on top and bottom (negative values grow);
    /// a rectangle that would get a negative size becomes null.
    Rect insetBy(CGFloat dx, CGFloat dy) const;
    /// Shrinks by each edge's inset (leading taken as the left edge).
    Rect inset(const EdgeInsets& insets) const;
    /// The smallest rectangle containing both; a null operand is ignored.
    Rect unionWith(const Rect& other) const;
    /// The overlap, or null when the rectangles do not overlap.
    Rect intersection(const Rect& other) const;
    bool intersects(const Rect& other) const;
    /// Whether the point lies inside (min edges included, max edges excluded).
    bool contains(const Point& p) const;
    bool contains(const Rect& other) const;
};

/// An affine transform mapping (x, y) to (a·x + c·y + tx, b·x + d·y + ty).
struct AffineTransform {
    CGFloat a = 1;
    CGFloat b = 0;
    CGFloat c = 0;
    CGFloat d = 1;
    CGFloat tx = 0;
    CGFloat ty = 0;

    static constexpr AffineTransform identity() { return {}; }
    static constexpr AffineTransform translation(CGFloat x, CGFloat y) {
        return {1, 0, 0, 1, x, y};
    }
    static constexpr AffineTransform scale(CGFloat sx, CGFloat sy) { return {sx, 0, 0, sy, 0, 0}; }
    /// A rotation by `radians` (positive turns x towards y).
    static AffineTransform rotation(CGFloat radians);

    friend constexpr bool operator==(const AffineTransform&, const AffineTransform&) = default;
    bool isIdentity() const { return *this == identity(); }

    /// This transform followed by `other`.
    AffineTransform concatenating(const AffineTransform& other) const;
    /// `translation(x, y)` applied first, then this transform.
    AffineTransform translatedBy(CGFloat x, CGFloat y) const;
    AffineTransform scaledBy(CGFloat sx, CGFloat sy) const;
    AffineTransform rotatedBy(CGFloat radians) const;
    /// The inverse, or nothing when the transform is singular.
    std::optional<AffineTransform> inverted() const;

    Point apply(const Point& p) const;
    /// Applies the linear part only (no translation).
    Size apply(const Size& s) const;
    /// The bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const;
};

// Defined here, not in the source: layout and drawing call these millions of times a showing.

inline bool Rect::isNull() const {
    return std::isinf(origin.x) || std::isinf(origin.y);
}

inline bool Rect::isEmpty() const {
    return isNull() || size.width == 0 || size.height == 0;
}

inline bool Rect::equalTo(const Rect& other) const {
    if (isNull() || other.isNull())
        return isNull() && other.isNull();
    return standardized() == other.standardized();
}

inline CGFloat Rect::minX() const {
    return std::min(origin.x, origin.x + size.width);
}
inline CGFloat Rect::maxX() const {
    return std::max(origin.x, origin.x + size.width);
}
inline CGFloat Rect::midX() const {
    return origin.x + size.width / 2;
}
inline CGFloat Rect::minY() const {
    return std::min(origin.y, origin.y + size.height);
}
inline CGFloat Rect::maxY() const {
    return std::max(origin.y, origin.y + size.height);
}
inline CGFloat Rect::midY() const {
    return origin.y + size.height / 2;
}
inline CGFloat Rect::width() const {
    return std::abs(size.width);
}
inline CGFloat Rect::height() const {
    return std::abs(size.height);
}

inline Rect Rect::standardized() const {
    if (isNull())
        return *this;
    return {minX(), minY(), width(), height()};
}

inline Rect Rect::integral() const {
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

inline Rect Rect::offsetBy(CGFloat dx, CGFloat dy) const {
    if (isNull())
        return *this;
    return {origin.x + dx, origin.y + dy, size.width, size.height};
}

inline Rect Rect::insetBy(CGFloat dx, CGFloat dy) const {
    if (isNull())
        return *this;
    const Rect s = standardized();
    const CGFloat w = s.size.width - 2 * dx;
    const CGFloat h = s.size.height - 2 * dy;
    if (w < 0 || h < 0)
        return null();
    return {s.origin.x + dx, s.origin.y + dy, w, h};
}

inline Rect Rect::inset(const EdgeInsets& e) const {
    if (isNull())
        return *this;
    const Rect s = standardized();
    const CGFloat w = s.size.width - e.leading - e.trailing;
    const CGFloat h = s.size.height - e.top - e.bottom;
    if (w < 0 || h < 0)
        return null();
    return {s.origin.x + e.leading, s.origin.y + e.top, w, h};
}

inline Rect Rect::unionWith(const Rect& other) const {
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

inline Rect Rect::intersection(const Rect& other) const {
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

[[gnu::always_inline]] inline bool Rect::intersects(const Rect& other) const {
    // !intersection(other).isEmpty(), without making the rectangle: small enough to inline where
    // a display list asks it of every item it replays.
    if (isNull() || other.isNull())
        return false;
    const CGFloat x0 = std::max(minX(), other.minX());
    const CGFloat y0 = std::max(minY(), other.minY());
    const CGFloat x1 = std::min(maxX(), other.maxX());
    const CGFloat y1 = std::min(maxY(), other.maxY());
    return !(x1 < x0 || y1 < y0) && x1 - x0 != 0 && y1 - y0 != 0;
}

inline bool Rect::contains(const Point& p) const {
    if (isEmpty())
        return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

inline bool Rect::contains(const Rect& other) const {
    if (isNull() || other.isNull())
        return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
}

} // namespace platform

template <>
struct std::hash<platform::Point> {
    std::size_t operator()(const platform::Point& p) const noexcept;
};
template <>
struct std::hash<platform::Size> {
    std::size_t operator()(const platform::Size& s) const noexcept;
};
template <>
struct std::hash<platform::Rect> {
    std::size_t operator()(const platform::Rect& r) const noexcept;
};
template <>
struct std::hash<platform::EdgeInsets> {
    std::size_t operator()(const platform::EdgeInsets& e) const noexcept;
};

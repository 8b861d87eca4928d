#pragma once

// Vector paths and the standard shapes built from them, plus how a path is stroked.

#include "platform/graphics/Geometry.hpp"

#include <cstdint>
#include <vector>

namespace platform {

enum class LineCap : std::uint8_t { butt, round, square };
enum class LineJoin : std::uint8_t { miter, round, bevel };

struct StrokeStyle {
    CGFloat lineWidth = 1;
    LineCap lineCap = LineCap::butt;
    LineJoin lineJoin = LineJoin::miter;
    CGFloat miterLimit = 10;
    /// Alternating on/off lengths; empty means a solid line.
    std::vector<CGFloat> dash;
    CGFloat dashPhase = 0;

    friend bool operator==(const StrokeStyle&, const StrokeStyle&) = default;
};

/// How the inside of a self-intersecting path is decided.
enum class FillRule : std::uint8_t { nonZero, evenOdd };

struct FillStyle {
    FillRule rule = FillRule::nonZero;
    bool antialiased = true;

    friend constexpr bool operator==(const FillStyle&, const FillStyle&) = default;
};

/// Circular corners are quarter circles; continuous corners ease into the straight edges so the
/// curvature has no jump where edge and corner meet.
enum class RoundedCornerStyle : std::uint8_t { circular, continuous };

class Path {
public:
    enum class ElementKind : std::uint8_t { moveTo, lineTo, quadCurveTo, curveTo, closeSubpath };
    struct Element {
        ElementKind kind;
        /// moveTo/lineTo use points[0]; quadCurveTo uses control points[0] and end points[1];
        /// curveTo uses controls points[0], points[1] and end points[2].
        Point points[3];

        friend bool operator==(const Element&, const Element&) = default;
    };

    Path() = default;

    static Path rect(const Rect& r);
    /// A rounded rectangle; the corner size is clamped to half the rectangle's width and height.
    static Path roundedRect(const Rect& r, Size cornerSize,
                            RoundedCornerStyle style = RoundedCornerStyle::circular);
    static Path roundedRect(const Rect& r, CGFloat cornerRadius,
                            RoundedCornerStyle style = RoundedCornerStyle::circular) {
        return roundedRect(r, Size{cornerRadius, cornerRadius}, style);
    }
    /// The ellipse inscribed in `r`.
    static Path ellipse(const Rect& r);

    void move(Point to);
    /// Adds a line; without a current point it starts a subpath instead.
    void addLine(Point to);
    void addQuadCurve(Point to, Point control);
    void addCurve(Point to, Point control1, Point control2);
    void closeSubpath();
    void addRect(const Rect& r);
    void addRoundedRect(const Rect& r, Size cornerSize,
                        RoundedCornerStyle style = RoundedCornerStyle::circular);
    void addEllipse(const Rect& r);
    void addPath(const Path& other);

    bool isEmpty() const { return elements_.empty(); }
    const std::vector<Element>& elements() const { return elements_; }
    /// The smallest rectangle containing every point of the path, control points included; null
    /// for an empty path.
    Rect boundingRect() const;
    Path applying(const AffineTransform& t) const;

    friend bool operator==(const Path&, const Path&) = default;

private:
    std::vector<Element> elements_;
    bool hasCurrentPoint_ = false;
    Point subpathStart_;
};

} // namespace platform

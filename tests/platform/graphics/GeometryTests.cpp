#include "platform/graphics/Geometry.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <unordered_set>
#include <vector>

using namespace platform;

TEST(Rect, IntegralRoundsOutwardsAndKeepsNullAndEmpty) {
    EXPECT_EQ(Rect(0.5, 1.2, 2.0, 3.9).integral(), Rect(0, 1, 3, 5));
    EXPECT_EQ(Rect(-0.5, -1.5, 1.0, 1.0).integral(), Rect(-1, -2, 2, 2));
    // Already integral: unchanged.
    EXPECT_EQ(Rect(2, 3, 4, 5).integral(), Rect(2, 3, 4, 5));
    // Negative sizes are standardized first.
    EXPECT_EQ(Rect(3.5, 3.5, -2.0, -2.0).integral(), Rect(1, 1, 3, 3));
    EXPECT_TRUE(Rect::null().integral().isNull());
    const Rect empty = Rect(1.5, 2.5, 0, 0).integral();
    EXPECT_EQ(empty, Rect(1, 2, 0, 0));
}

TEST(Rect, StandardizeEqualityAndAccessors) {
    const Rect r(10, 20, -4, -6);
    EXPECT_EQ(r.standardized(), Rect(6, 14, 4, 6));
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxY(), 20);
    EXPECT_EQ(r.width(), 4);
    EXPECT_TRUE(r.equalTo(Rect(6, 14, 4, 6)));
    EXPECT_FALSE(r == Rect(6, 14, 4, 6));
    EXPECT_TRUE(Rect::null().equalTo(Rect::null()));
    EXPECT_FALSE(Rect::null().equalTo(Rect::zero()));
}

TEST(Rect, SetOperations) {
    const Rect a(0, 0, 10, 10);
    const Rect b(5, 5, 10, 10);
    EXPECT_EQ(a.intersection(b), Rect(5, 5, 5, 5));
    EXPECT_EQ(a.unionWith(b), Rect(0, 0, 15, 15));
    EXPECT_TRUE(a.intersection(Rect(20, 20, 1, 1)).isNull());
    EXPECT_FALSE(a.intersects(Rect(10, 0, 5, 5))); // touching edges only
    EXPECT_EQ(Rect::null().unionWith(b), b);
    EXPECT_TRUE(a.contains(Point{0, 0}));
    EXPECT_FALSE(a.contains(Point{10, 5}));
    EXPECT_TRUE(a.contains(Rect(2, 2, 8, 8)));
    EXPECT_EQ(a.insetBy(2, 3), Rect(2, 3, 6, 4));
    EXPECT_TRUE(a.insetBy(6, 0).isNull());
    EXPECT_EQ(a.inset(EdgeInsets(1, 2, 3, 4)), Rect(2, 1, 4, 6));
}

// Whether two rectangles overlap is whether their intersection has an area, for every kind of
// rectangle: overlapping, touching, disjoint, flat, null, infinite, not a number, either way round
// and with sizes of either sign.
TEST(Rect, IntersectsExactlyWhereTheIntersectionHasArea) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Rect> rects = {Rect(0, 0, 10, 10),
                                     Rect(5, 5, 10, 10),
                                     Rect(10, 0, 5, 5),
                                     Rect(0, 10, 5, 5),
                                     Rect(9.5, 9.5, 1, 1),
                                     Rect(20, 20, 1, 1),
                                     Rect(3, 3, 0, 4),
                                     Rect(3, 3, 4, 0),
                                     Rect(10, 10, -4, -6),
                                     Rect(12, 2, -3, 2),
                                     Rect::null(),
                                     Rect(-inf, 0, 1, 1),
                                     Rect(-1e15, -1e15, 2e15, 2e15),
                                     Rect(0, 0, inf, inf),
                                     Rect(2, 2, nan, 3),
                                     Rect(nan, 2, 3, 3),
                                     Rect(-5, -5, 5, 5),
                                     Rect(-5, -5, 5.0001, 5.0001)};
    for (const Rect& a : rects) {
        for (const Rect& b : rects) {
            EXPECT_EQ(a.intersects(b), !a.intersection(b).isEmpty())
                << a.origin.x << "," << a.origin.y << " " << a.size.width << "x" << a.size.height
                << " and " << b.origin.x << "," << b.origin.y << " " << b.size.width << "x"
                << b.size.height;
        }
    }
    EXPECT_TRUE(Rect(0, 0, 10, 10).intersects(Rect(9.5, 9.5, 1, 1)));
    EXPECT_FALSE(Rect(0, 0, 10, 10).intersects(Rect(0, 10, 5, 5)));
}

TEST(Geometry, HashAgreesWithEquality) {
    EXPECT_EQ(std::hash<Point>{}(Point{0.0, 1}), std::hash<Point>{}(Point{-0.0, 1}));
    std::unordered_set<Rect> set{Rect(1, 2, 3, 4), Rect(1, 2, 3, 4), Rect(0, 0, 1, 1)};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(EdgeInsets(1, 2, 3, 4).scaled(2), EdgeInsets(2, 4, 6, 8));
}

TEST(AffineTransform, ConcatenationOrderInverseAndRects) {
    // Scale first, then translate.
    const auto t = AffineTransform::scale(2, 3).concatenating(AffineTransform::translation(10, 20));
    EXPECT_EQ(t.apply(Point{1, 1}), (Point{12, 23}));
    // translatedBy applies the translation first.
    const auto u = AffineTransform::scale(2, 3).translatedBy(10, 20);
    EXPECT_EQ(u.apply(Point{1, 1}), (Point{22, 63}));

    const auto inv = t.inverted();
    ASSERT_TRUE(inv.has_value());
    const Point back = inv->apply(t.apply(Point{7, -3}));
    EXPECT_NEAR(back.x, 7, 1e-12);
    EXPECT_NEAR(back.y, -3, 1e-12);
    EXPECT_FALSE(AffineTransform::scale(0, 1).inverted().has_value());

    const Rect rotated = AffineTransform::rotation(std::numbers::pi / 2).apply(Rect(0, 0, 4, 2));
    EXPECT_NEAR(rotated.minX(), -2, 1e-12);
    EXPECT_NEAR(rotated.width(), 2, 1e-12);
    EXPECT_NEAR(rotated.height(), 4, 1e-12);
}

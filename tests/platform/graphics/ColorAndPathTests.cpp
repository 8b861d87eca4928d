#include "platform/graphics/Color.hpp"
#include "platform/graphics/Path.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <unordered_set>

using namespace platform;

namespace {
constexpr Appearance lightStd{ColorScheme::light, ColorSchemeContrast::standard};
constexpr Appearance darkStd{ColorScheme::dark, ColorSchemeContrast::standard};
constexpr Appearance lightHigh{ColorScheme::light, ColorSchemeContrast::increased};
constexpr Appearance darkHigh{ColorScheme::dark, ColorSchemeContrast::increased};
} // namespace

TEST(Color, ConcreteColoursClampAndIgnoreAppearance) {
    const Color c(1.5, -0.2, 0.25, 2.0);
    EXPECT_EQ(c.resolve(), (RGBA{1, 0, 0.25, 1}));
    EXPECT_EQ(c.resolve(darkHigh), c.resolve(lightStd));
    EXPECT_EQ(Color(0.5, 0.5, 0.5, 0.8).opacity(0.5).resolve().alpha, 0.4);
    EXPECT_EQ(Color::clear().resolve().alpha, 0);
    EXPECT_EQ(Color(std::nan(""), 0, 0).resolve().red, 0);
}

TEST(Color, EverySystemColourHasDistinctSchemeAndContrastVariants) {
    for (int i = 0; i <= static_cast<int>(SystemColor::gray); ++i) {
        const Color c = Color::system(static_cast<SystemColor>(i));
        const RGBA l = c.resolve(lightStd), d = c.resolve(darkStd);
        const RGBA lh = c.resolve(lightHigh), dh = c.resolve(darkHigh);
        EXPECT_NE(l, d) << "colour " << i;
        EXPECT_NE(d, dh) << "colour " << i;
        EXPECT_TRUE(l != lh || i == static_cast<int>(SystemColor::textBackground) ||
                    i == static_cast<int>(SystemColor::windowBackground) ||
                    i == static_cast<int>(SystemColor::controlBackground))
            << "colour " << i;
        for (const RGBA& v : {l, d, lh, dh}) {
            EXPECT_GE(v.alpha, 0.0);
            EXPECT_LE(v.alpha, 1.0);
        }
    }
    // Text colours: dark on light, light on dark, and stronger with increased contrast.
    EXPECT_LT(Color::primary().resolve(lightStd).red, 0.1);
    EXPECT_GT(Color::primary().resolve(darkStd).red, 0.9);
    EXPECT_GT(Color::secondary().resolve(lightHigh).alpha,
              Color::secondary().resolve(lightStd).alpha);
    // A system colour's own opacity multiplies the palette's.
    EXPECT_DOUBLE_EQ(Color::accentColor().opacity(0.1).resolve(lightStd).alpha, 0.1);
    EXPECT_DOUBLE_EQ(Color::system(SystemColor::primary, 0.5).resolve(lightStd).alpha,
                     Color::primary().resolve(lightStd).alpha * 0.5);
}

TEST(Color, EqualityAndHashing) {
    EXPECT_EQ(Color(0.1, 0.2, 0.3), Color(0.1, 0.2, 0.3, 1));
    EXPECT_NE(Color::primary(), Color::secondary());
    EXPECT_NE(Color::black(), Color::primary());
    EXPECT_NE(Color::accentColor(), Color::accentColor().opacity(0.5));
    std::unordered_set<Color> set{Color::primary(), Color::primary(), Color(0, 0, 0),
                                  Color(-0.0, 0, 0)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(Path, ShapesStayInsideTheirRectangles) {
    const Rect r(10, 20, 100, 40);
    EXPECT_TRUE(Path::rect(r).boundingRect().equalTo(r));
    for (auto style : {RoundedCornerStyle::circular, RoundedCornerStyle::continuous}) {
        const Path p = Path::roundedRect(r, 8, style);
        EXPECT_TRUE(p.boundingRect().equalTo(r));
        // Oversized corners are clamped, never escaping the rectangle.
        EXPECT_TRUE(Path::roundedRect(r, 500, style).boundingRect().equalTo(r));
    }
    // A continuous corner eases in further along the edge than a circular one.
    const auto firstX = [](const Path& p) { return p.elements().front().points[0].x; };
    EXPECT_GT(firstX(Path::roundedRect(r, 8, RoundedCornerStyle::continuous)),
              firstX(Path::roundedRect(r, 8, RoundedCornerStyle::circular)));
    EXPECT_EQ(Path::roundedRect(r, 0).elements(), Path::rect(r).elements());
    EXPECT_TRUE(Path::ellipse(r).boundingRect().equalTo(r));
    EXPECT_TRUE(Path().boundingRect().isNull());
}

TEST(Path, ConstructionAndTransform) {
    Path p;
    p.addLine({1, 1}); // no current point: starts a subpath
    p.addLine({5, 1});
    p.closeSubpath();
    ASSERT_EQ(p.elements().size(), 3u);
    EXPECT_EQ(p.elements()[0].kind, Path::ElementKind::moveTo);
    const Path moved = p.applying(AffineTransform::translation(10, 0).scaledBy(2, 2));
    EXPECT_EQ(moved.elements()[1].points[0], (Point{20, 2}));
    Path q;
    q.closeSubpath(); // nothing to close
    EXPECT_TRUE(q.isEmpty());
}

// The formula view and its measuring entry: sizes that agree with each other at every proposal,
// the environment's font, style and colouring reaching the drawing, absurd input giving empty
// output, and pixel snapshots of the view under each modifier.

#include "Math/DisplayProvider.hpp"
#include "Math/MathView.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace Math;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::ProposedViewSize;
using Paint = platform::Color;
using Bitmap = platform::Image;

namespace {

const Font kDefaultFont(Font::Name::latinModern, 20);
const char* const kLongSum = "a+b+c+d+e+f+g+h+i+j+k+l+m+n+o+p+q+r+s+t+u+v+w+x+y+z";

platform::Size sizeOf(const TypographicBounds& bounds) {
    return bounds.size();
}

// The size the view takes in a host proposing `proposal`.
platform::Size viewSize(AnyView view, ProposedViewSize proposal = {}) {
    OffscreenHost host(std::move(view), proposal);
    return host.size();
}

struct HueInk {
    int pixels = 0;
    int reddish = 0;
    int bluish = 0;
    int greenish = 0;
    int lowest = -1; // lowest row with ink
};

// Pixels noticeably darker than white on a white background, sorted by their dominant hue.
HueInk inkOn(const Bitmap& image) {
    HueInk ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const auto p = image.pixel(x, y);
            const int r = p.red, g = p.green, b = p.blue;
            if (std::min({r, g, b}) > 200) {
                continue;
            }
            ++ink.pixels;
            ink.lowest = y;
            if (r > g + 60 && r > b + 60) {
                ++ink.reddish;
            } else if (b > r + 60 && b > g + 60) {
                ++ink.bluish;
            } else if (g > r + 60 && g > b + 60) {
                ++ink.greenish;
            }
        }
    }
    return ink;
}

std::string snapshot(const std::string& name) {
    return "tests/fixtures/math/snapshots/view-" + name + ".png";
}

} // namespace

TEST(MathTypographicBounds, StyleAndWidthShapeTheFormula) {
    const char* sum = "\\sum_{i=1}^{n} \\frac{1}{i_0}";
    const auto display = mathTypographicBounds(sum, {}, kDefaultFont, TypesettingStyle::display);
    const auto root = DisplayProvider::shared().displayNode(sum, kDefaultFont,
                                                            Style::Level::display, std::nullopt);
    ASSERT_TRUE(root);
    EXPECT_EQ(display, (TypographicBounds{root->position(), root->width(), root->ascent(),
                                          root->descent()}));
    // Display style sets a larger sign with its limits above and below.
    const auto text = mathTypographicBounds(sum, {}, kDefaultFont, TypesettingStyle::text);
    EXPECT_GT(display.size().height, text.size().height + 5);

    // Without a width nothing breaks; a narrow one breaks into several lines (which may run a
    // little over where that saves a worse break).
    const auto natural = mathTypographicBounds(kLongSum, {}, kDefaultFont, TypesettingStyle::text);
    const auto narrow =
        mathTypographicBounds(kLongSum, {120.0, 10.0}, kDefaultFont, TypesettingStyle::text);
    EXPECT_LE(narrow.width, 1.3 * 120);
    EXPECT_LT(narrow.width, natural.width / 2);
    EXPECT_GT(narrow.size().height, 2 * natural.size().height);
}

TEST(MathTypographicBounds, NothingToMeasureGivesZeroBounds) {
    const TypographicBounds zero;
    const auto style = TypesettingStyle::display;
    EXPECT_EQ(mathTypographicBounds("\\frac{1}{", {}, kDefaultFont, style), zero);
    EXPECT_EQ(mathTypographicBounds("\\notacommand", {}, kDefaultFont, style), zero);
    EXPECT_EQ(mathTypographicBounds("", {}, kDefaultFont, style).width, 0);
    EXPECT_EQ(mathTypographicBounds("x", {0.0, std::nullopt}, kDefaultFont, style), zero);
    EXPECT_EQ(mathTypographicBounds("x", {-30.0, 40.0}, kDefaultFont, style), zero);
    EXPECT_EQ(mathTypographicBounds("x", {}, Font(Font::Name("no-such-math"), 20), style), zero);
    for (const double size :
         {0.0, -12.0, std::nan(""), 1e9, std::numeric_limits<double>::infinity()}) {
        const auto bounds =
            mathTypographicBounds("\\sqrt{x^2}", {}, Font(Font::Name::latinModern, size), style);
        EXPECT_EQ(sizeOf(bounds), (platform::Size{0, 0})) << size;
    }
}

TEST(MathViewLayout, TakesTheFormulasSizeAtTheProposedWidth) {
    const char* formula = "\\int_0^1 x^2\\,dx";
    // The default environment: Latin Modern at 20 points in display style.
    EXPECT_EQ(viewSize(MathView(formula)),
              sizeOf(mathTypographicBounds(formula, {}, kDefaultFont, TypesettingStyle::display)));
    // A wide proposal does not stretch the view; a narrow one breaks the formula's lines.
    EXPECT_EQ(viewSize(MathView(formula), {500.0, 500.0}),
              sizeOf(mathTypographicBounds(formula, {}, kDefaultFont, TypesettingStyle::display)));
    const platform::Size wrapped = viewSize(MathView(kLongSum), {150.0, std::nullopt});
    EXPECT_EQ(wrapped, sizeOf(mathTypographicBounds(kLongSum, {150.0, std::nullopt}, kDefaultFont,
                                                    TypesettingStyle::display)));
    EXPECT_LE(wrapped.width, 1.3 * 150);
    EXPECT_GT(wrapped.height, viewSize(MathView(kLongSum)).height * 2);
    // Formulas that cannot be typeset take no space.
    EXPECT_EQ(viewSize(MathView("\\frac{")), (platform::Size{0, 0}));
    for (const double points : {0.0, -12.0, std::nan(""), 1e9}) {
        OffscreenHost host(MathView("\\sqrt{x^2}")
                               .modifier(mathFont(Font(Font::Name::latinModern, points)))
                               .padding(2));
        EXPECT_EQ(host.size(), (platform::Size{4, 4})) << points;
        EXPECT_EQ(inkOn(host.render(2.0, Paint::white())).pixels, 0) << points;
    }
    EXPECT_EQ(viewSize(MathView("x"), {0.0, 0.0}), (platform::Size{0, 0}));
}

TEST(MathViewLayout, ModifiersReachTheFormulaInTheSubtree) {
    const char* formula = "\\sum_{k=0}^{n} k";
    const Font termes(Font::Name::termes, 28);
    const platform::Size styled =
        viewSize(platform::ui::VStack({MathView(formula)})
                     .modifier(mathFont(termes))
                     .modifier(mathTypesettingStyle(TypesettingStyle::text)));
    EXPECT_EQ(styled, sizeOf(mathTypographicBounds(formula, {}, termes, TypesettingStyle::text)));
    // The writer closest to the view wins.
    const platform::Size inner =
        viewSize(platform::ui::VStack({MathView(formula).modifier(mathFont(kDefaultFont))})
                     .modifier(mathFont(termes)));
    EXPECT_EQ(inner,
              sizeOf(mathTypographicBounds(formula, {}, kDefaultFont, TypesettingStyle::display)));
}

TEST(MathViewLayout, ANewEnvironmentOrFormulaIsMeasuredAgain) {
    const auto sized = [](const char* latex, double points) {
        return AnyView(MathView(latex).modifier(mathFont(Font(Font::Name::latinModern, points))));
    };
    OffscreenHost host(sized("x^2", 20));
    const platform::Size small = host.size();
    host.setRootView(sized("x^2", 40));
    host.runUntilIdle();
    EXPECT_NEAR(host.size().width, 2 * small.width, 0.5);
    host.setRootView(sized("x^2+1", 40));
    host.runUntilIdle();
    EXPECT_GT(host.size().width, 2 * small.width + 10);
}

TEST(MathViewLayout, DrawingFindsTheRootTheLayoutMeasured) {
    // A formula no other test typesets: the layout stores it under the proposal (none) and its own
    // width, and the canvas, given exactly that width, must find it rather than typeset again.
    const std::string formula = "\\sqrt[3]{q_{17}} - \\frac{p}{q}";
    DisplayProvider& provider = DisplayProvider::shared();
    const std::size_t before = provider.displayNodeCount();
    OffscreenHost host{MathView(formula)};
    EXPECT_GT(inkOn(host.render(1.0, Paint::white())).pixels, 0);
    EXPECT_EQ(provider.displayNodeCount(), before + 2);
}

TEST(MathViewRendering, MulticolorTintsWhatTheFormulaLeavesUncoloured) {
    OffscreenHost host(MathView("x + \\color{#0000ff}{y}")
                           .modifier(mathRenderingMode(RenderingMode::multicolor(Paint(1, 0, 0))))
                           .padding(4));
    const HueInk ink = inkOn(host.render(2.0, Paint::white()));
    EXPECT_GT(ink.reddish, 50);
    EXPECT_GT(ink.bluish, 20);
    EXPECT_EQ(ink.greenish, 0);
}

TEST(MathViewRendering, MonochromePaintsEverythingInTheForegroundStyle) {
    const AnyView formula = MathView("x + \\color{#0000ff}{y}").foregroundStyle(Paint(0, 0.6, 0));
    OffscreenHost host(formula.padding(4));
    const HueInk ink = inkOn(host.render(2.0, Paint::white()));
    EXPECT_GT(ink.greenish, 80);
    EXPECT_EQ(ink.bluish, 0);
    EXPECT_EQ(ink.reddish, 0);

    // The mask erases only the canvas's own paint: a background behind the view stays.
    OffscreenHost layered(formula.background(AnyView(Paint(1, 1, 0))).padding(4));
    const Bitmap image = layered.render(1.0, Paint::white());
    const auto corner = image.pixel(5, 5);
    EXPECT_EQ(corner.red, 255);
    EXPECT_EQ(corner.green, 255);
    EXPECT_EQ(corner.blue, 0);
}

TEST(MathViewRendering, FormulaSitsInItsFrameAndDrawsNothingWhenItCannot) {
    // The lowest ink of the formula reaches the bottom edge of the view: the descent is drawn
    // inside the frame, not below it.
    OffscreenHost host{MathView("g_j")};
    const Bitmap image = host.render(2.0, Paint::white());
    ASSERT_GT(image.height(), 0);
    EXPECT_GE(inkOn(image).lowest, image.height() - 3);

    OffscreenHost broken(
        platform::ui::ZStack({AnyView(Paint::white()).frame(40.0, 40.0), MathView("\\frac{")}));
    EXPECT_EQ(inkOn(broken.render(1.0, Paint::white())).pixels, 0);
}

TEST(MathViewRendering, Snapshots) {
    const char* quadratic = "x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}";
    const auto check = [](AnyView view, const std::string& name, ProposedViewSize proposal = {}) {
        OffscreenHost host(view.padding(6), proposal);
        moss_test::expectSnapshot(host.render(2.0, Paint::white()), snapshot(name), 48, 0.02);
    };
    check(MathView(quadratic), "default");
    check(MathView(quadratic).modifier(mathFont(Font(Font::Name::termes, 28))), "termes");
    check(MathView("\\sum_{n=1}^{\\infty} \\frac{1}{n^2} = \\frac{\\pi^2}{6}")
              .modifier(mathTypesettingStyle(TypesettingStyle::text)),
          "text-style");
    check(MathView("\\sum_{n=1}^{\\infty} \\frac{1}{n^2} = \\frac{\\pi^2}{6}"), "display-style");
    check(MathView("e^{i\\pi} + \\color{#1a7f37}{1} = 0")
              .modifier(mathRenderingMode(RenderingMode::multicolor(Paint(0.75, 0.1, 0.1)))),
          "multicolor");
    check(MathView("e^{i\\pi} + \\color{#1a7f37}{1} = 0").foregroundStyle(Paint(0.1, 0.2, 0.7)),
          "monochrome");
    check(MathView(kLongSum), "wrapped", {172.0, std::nullopt});
}

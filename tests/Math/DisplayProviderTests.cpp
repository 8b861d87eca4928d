// The cache of parsed and typeset formulas: width rounding, reuse, and its bound.

#include "Math/DisplayDrawing.hpp"
#include "Math/DisplayProvider.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Math;
using Level = Style::Level;

namespace {

const Font latinModern20(Font::Name::latinModern, 20);

// The pixels of a root drawn at its own size.
std::vector<std::uint8_t> drawn(const DisplayList& root) {
    const platform::Size size{std::ceil(root.width()) + 2,
                              std::ceil(root.ascent() + root.descent()) + 2};
    platform::ImageSurface surface = platform::ImageSurface::ofSize(size);
    {
        platform::GraphicsContext context(surface);
        drawInGraphicsContext(root, context, size);
    }
    return surface.makeImage().rgba();
}

} // namespace

TEST(DisplayProvider, WidthsRoundToHalfPoints) {
    EXPECT_EQ(DisplayProvider::keyWidth(100.2), 100);
    EXPECT_EQ(DisplayProvider::keyWidth(100.24), 100);
    EXPECT_EQ(DisplayProvider::keyWidth(100.25), 100.5);
    EXPECT_EQ(DisplayProvider::keyWidth(std::nullopt), 0);
    EXPECT_EQ(DisplayProvider::keyWidth(-3), 0);
    EXPECT_EQ(DisplayProvider::keyWidth(std::nan("")), 0);

    const DisplayProvider::Key positive{"x", latinModern20, Level::display, 0.0};
    const DisplayProvider::Key negative{"x", latinModern20, Level::display, -0.0};
    EXPECT_EQ(positive, negative);
    EXPECT_EQ(DisplayProvider::KeyHash{}(positive), DisplayProvider::KeyHash{}(negative));
}

TEST(DisplayProvider, ReusesRootsAlsoAtTheirNaturalWidth) {
    DisplayProvider provider;
    const auto root = provider.displayNode("a+b", latinModern20, Level::display, 100.2);
    ASSERT_TRUE(root);
    EXPECT_EQ(provider.displayNode("a+b", latinModern20, Level::display, 100.24), root);
    EXPECT_EQ(provider.displayNode("a+b", latinModern20, Level::display, root->width()), root);
    EXPECT_EQ(provider.displayNodeCount(), 2U);
    EXPECT_EQ(provider.atomListCount(), 1U);
    // Another style is another entry; the parsed list is shared.
    EXPECT_NE(provider.displayNode("a+b", latinModern20, Level::text, 100), root);
    EXPECT_EQ(provider.atomListCount(), 1U);
}

TEST(DisplayProvider, FailuresAreNotKept) {
    DisplayProvider provider;
    EXPECT_FALSE(provider.displayNode("\\frac{", latinModern20, Level::display, 0));
    EXPECT_FALSE(
        provider.displayNode("x", Font(Font::Name("no-such-font"), 20), Level::display, 0));
    EXPECT_FALSE(provider.displayNode("x", Font(Font::Name::latinModern, 1e9), Level::display, 0));
    EXPECT_EQ(provider.displayNodeCount(), 0U);
    EXPECT_EQ(provider.atomListCount(), 1U); // "x" parsed fine
}

TEST(DisplayProvider, KeepsABoundedNumberOfEntriesDroppingTheLeastRecentlyUsed) {
    // Each formula takes two root entries: its requested width and its natural width.
    DisplayProvider provider({.atomLists = 2, .displayNodes = 4});
    const auto a = provider.displayNode("a", latinModern20, Level::display, 0);
    const auto b = provider.displayNode("b", latinModern20, Level::display, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(provider.displayNode("a", latinModern20, Level::display, 0), a); // a is recent now
    provider.displayNode("c", latinModern20, Level::display, 0);
    EXPECT_EQ(provider.displayNodeCount(), 4U);
    EXPECT_EQ(provider.atomListCount(), 2U);
    EXPECT_EQ(provider.displayNode("a", latinModern20, Level::display, 0), a);
    EXPECT_NE(provider.displayNode("b", latinModern20, Level::display, 0), b); // typeset again
}

TEST(DisplayProvider, KeepsItsEntriesWithinItsBytes) {
    // A long formula makes a large tree: entries are bounded by what they hold, not only by
    // their number.
    std::string formula;
    for (int i = 0; i < 40; ++i) {
        formula += "a_{" + std::to_string(i) + "}+\\frac{b}{c}+";
    }
    formula += "z";
    const std::size_t limit = 2 << 20;
    DisplayProvider provider({.displayNodeBytes = limit});
    const auto first = provider.displayNode(formula, latinModern20, Level::display, 0);
    ASSERT_TRUE(first);
    // Honest at least about the text it shapes: every glyph and every kept atom counts.
    const std::size_t one = provider.displayNodeBytes();
    EXPECT_GT(one, 160 * sizeof(platform::ShapedRun::Glyph)) << one;
    EXPECT_LT(one, limit / 8) << one;
    // The root is kept under its natural width too, without counting twice.
    EXPECT_EQ(provider.displayNodeCount(), 2U);
    EXPECT_LT(provider.displayNodeBytes(), one + 1024 + 2 * formula.size());

    std::size_t typeset = 1;
    for (; typeset < 16; ++typeset) {
        ASSERT_TRUE(provider.displayNode(formula + std::string(typeset, 'x'), latinModern20,
                                         Level::display, 0));
        EXPECT_LE(provider.displayNodeBytes(), limit);
    }
    EXPECT_LT(provider.displayNodeCount(), 2 * typeset);
    EXPECT_GT(provider.displayNodeBytes(), limit / 2);
    // The least recently used went first.
    EXPECT_NE(provider.displayNode(formula, latinModern20, Level::display, 0), first);

    // A formula larger than the whole budget is typeset but not kept.
    DisplayProvider small({.displayNodeBytes = one / 2});
    EXPECT_TRUE(small.displayNode(formula, latinModern20, Level::display, 0));
    EXPECT_EQ(small.displayNodeCount(), 0U);
    EXPECT_EQ(small.displayNodeBytes(), 0U);
    EXPECT_GT(small.atomListBytes(), 0U);
}

TEST(DisplayProvider, KeepsAFormulaThatFillsItsBytesExactly) {
    // A formula is found too large at a glance when what its atoms and nodes hold at the least is
    // already over the limit: that glance must never count more than the whole estimate, or a
    // formula that fits would not be kept.
    const std::vector<std::string> formulas = {
        "\\sum_{i=0}^{n} x_i + \\sum_{k}^{m} y_{k,j}^{2} + 1",
        "\\int_0^\\infty e^{-x^2} dx = \\frac{\\sqrt{\\pi}}{2}",
        "a_{b_{c_{d}}}^{e^{f}} \\left( \\frac{1}{x_i} \\right)^{n+1} \\prod\\limits_{j=1}^{N} z_j",
        "\\lim_{n \\to \\infty} \\overline{x}_n \\cdot \\hat{y}^{2} + 12345 \\text{ for all } n",
    };
    for (const auto& formula : formulas) {
        DisplayProvider measuring;
        ASSERT_TRUE(measuring.displayNode(formula, latinModern20, Level::display, 0)) << formula;
        const std::size_t listBytes = measuring.atomListBytes();
        const std::size_t nodeBytes = measuring.displayNodeBytes();
        ASSERT_GT(listBytes, 0U);
        ASSERT_GT(nodeBytes, 0U);

        DisplayProvider exact({.atomListBytes = listBytes, .displayNodeBytes = nodeBytes});
        ASSERT_TRUE(exact.displayNode(formula, latinModern20, Level::display, 0));
        EXPECT_EQ(exact.atomListCount(), 1U) << formula;
        EXPECT_EQ(exact.atomListBytes(), listBytes) << formula;
        EXPECT_EQ(exact.displayNodeCount(), 2U) << formula;
        EXPECT_EQ(exact.displayNodeBytes(), nodeBytes) << formula;
    }
}

TEST(DisplayProvider, MeasuresAFormulaTooLargeToKeepOncePerWidth) {
    // A layout measures a formula several times (its baseline without a width, its size at the
    // proposed width and again at the width it answered) and draws it at that last width. A
    // formula too large for the caches was typeset again for each of them.
    std::string formula;
    for (int i = 0; i < 40; ++i) {
        formula += "\\sum_{i=0}^{n} x_i + ";
    }
    formula += "1";
    DisplayProvider provider({.displayNodeBytes = 1024});
    const auto unbroken = provider.measure(formula, latinModern20, Level::display, std::nullopt);
    ASSERT_TRUE(unbroken);
    EXPECT_EQ(provider.measure(formula, latinModern20, Level::display, 0), unbroken);
    EXPECT_EQ(provider.typesetCount(), 1U);

    const auto broken = provider.measure(formula, latinModern20, Level::display, 300);
    ASSERT_TRUE(broken);
    EXPECT_LT(broken->width, unbroken->width);
    EXPECT_GT(broken->ascent + broken->descent, unbroken->ascent + unbroken->descent);
    EXPECT_EQ(provider.typesetCount(), 2U);
    // Measured and drawn at the width it answered, and drawn again: no more typesetting.
    EXPECT_EQ(provider.measure(formula, latinModern20, Level::display, broken->width), broken);
    const auto drawn = provider.displayNode(formula, latinModern20, Level::display, broken->width);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(provider.displayNode(formula, latinModern20, Level::display, 300), drawn);
    EXPECT_EQ(drawn->width(), broken->width);
    EXPECT_EQ(provider.typesetCount(), 2U);
    // Still not one of the kept entries, which stay within their bytes.
    EXPECT_EQ(provider.displayNodeCount(), 0U);
    EXPECT_EQ(provider.displayNodeBytes(), 0U);
    // The extent measured is the one of the tree drawn.
    const auto again = provider.displayNode(formula, latinModern20, Level::display, 0);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->width(), unbroken->width);
    EXPECT_EQ(again->ascent(), unbroken->ascent);
    EXPECT_EQ(provider.typesetCount(), 3U);
}

TEST(DisplayProvider, ParsesAFormulaTooLargeToKeepOnceForAllItsWidths) {
    // A layout typesets a formula without a width (its baseline) and at the width it is given.
    // A formula too large for the caches was parsed and finalised again for the second.
    std::string formula;
    for (int i = 0; i < 40; ++i) {
        formula += "\\sum_{i=0}^{n} x_i + \\frac{a}{b}\\sqrt{x} + ";
    }
    formula += "1";
    DisplayProvider fresh;
    const auto expectedUnbroken = fresh.measure(formula, latinModern20, Level::display, 0);
    DisplayProvider expectedBroken;
    const auto expected = expectedBroken.measure(formula, latinModern20, Level::display, 300);
    ASSERT_TRUE(expectedUnbroken && expected);

    DisplayProvider provider({.atomListBytes = 1024, .displayNodeBytes = 1024});
    EXPECT_EQ(provider.measure(formula, latinModern20, Level::display, 0), expectedUnbroken);
    EXPECT_EQ(provider.measure(formula, latinModern20, Level::display, 300), expected);
    // The list typeset twice is left as it was: both widths come out as from a parse of their own.
    const auto drawn = provider.displayNode(formula, latinModern20, Level::display, 0);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->width(), expectedUnbroken->width);
    EXPECT_EQ(drawn->descent(), expectedUnbroken->descent);
    EXPECT_EQ(provider.typesetCount(), 3U);
    EXPECT_EQ(provider.parseCount(), 1U);
    EXPECT_EQ(provider.atomListCount(), 0U);

    // Another formula too large takes its place; a small one is kept as before.
    EXPECT_TRUE(provider.measure(formula + "+2", latinModern20, Level::display, 0));
    EXPECT_TRUE(provider.measure(formula, latinModern20, Level::display, 200));
    EXPECT_EQ(provider.parseCount(), 3U);
    EXPECT_TRUE(provider.measure("x", latinModern20, Level::display, 0));
    EXPECT_TRUE(provider.measure("x", latinModern20, Level::display, 10));
    EXPECT_EQ(provider.parseCount(), 4U);
}

TEST(DisplayProvider, AFormulaTooLargeToKeepOutlastsSmallerOnesTypesetAfterIt) {
    // The formula shown is drawn again, strip by strip, after other formulas were typeset: a root
    // too large to keep was dropped at the next typeset of any formula, and set whole again.
    std::string formula;
    for (int i = 0; i < 100; ++i) {
        formula += "\\sum_{i=0}^{n} x_i + ";
    }
    formula += "1";
    DisplayProvider provider({.atomListBytes = 8192, .displayNodeBytes = 8192});
    const auto root = provider.displayNode(formula, latinModern20, Level::display, 0);
    ASSERT_TRUE(root);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(
            provider.displayNode("x^" + std::to_string(k), latinModern20, Level::display, 0));
        EXPECT_EQ(provider.displayNode(formula, latinModern20, Level::display, 0), root);
    }
    EXPECT_EQ(provider.typesetCount(), 4U);
    EXPECT_EQ(provider.displayNodeCount(), 6U); // the small ones are kept, under two widths each
    // Its list outlasts them too: set at another width, it is not parsed again.
    EXPECT_TRUE(provider.displayNode(formula, latinModern20, Level::display, 300));
    EXPECT_EQ(provider.parseCount(), 4U);
    // Another as large takes its place.
    EXPECT_TRUE(provider.displayNode(formula + "+2", latinModern20, Level::display, 0));
    EXPECT_NE(provider.displayNode(formula, latinModern20, Level::display, 300), root);
    EXPECT_EQ(provider.typesetCount(), 7U);
}

TEST(DisplayProvider, AFormulaWellWithinAWidthIsSetOnceForItAndForNoWidth) {
    // A text measures its formulas without a width (their baselines, its first layout) and then
    // at the width it is given: a formula that fits with room to spare was set a second time.
    DisplayProvider provider;
    const auto unbroken =
        provider.measure("\\frac{a}{b}+\\sqrt{x}", latinModern20, Level::display, std::nullopt);
    ASSERT_TRUE(unbroken);
    const double roomy = unbroken->width * 2;
    EXPECT_EQ(provider.measure("\\frac{a}{b}+\\sqrt{x}", latinModern20, Level::display, roomy),
              unbroken);
    EXPECT_EQ(provider.displayNode("\\frac{a}{b}+\\sqrt{x}", latinModern20, Level::display, 800),
              provider.displayNode("\\frac{a}{b}+\\sqrt{x}", latinModern20, Level::display, 0));
    EXPECT_EQ(provider.typesetCount(), 1U);
    // Nearer its own width, the width is set on its own: it may break there.
    EXPECT_TRUE(provider.measure("\\frac{a}{b}+\\sqrt{x}", latinModern20, Level::display,
                                 unbroken->width * 1.2));
    EXPECT_EQ(provider.typesetCount(), 2U);

    // A formula too large to keep is measured so too, from the extent kept of it.
    std::string large;
    for (int i = 0; i < 10; ++i) {
        large += "\\sum_{i=0}^{n} x_i + ";
    }
    DisplayProvider small({.displayNodeBytes = 1024});
    const auto whole = small.measure(large + "1", latinModern20, Level::display, 0);
    ASSERT_TRUE(whole);
    EXPECT_TRUE(small.displayNode("x", latinModern20, Level::display, 0));
    EXPECT_EQ(small.measure(large + "1", latinModern20, Level::display, whole->width * 2), whole);
    EXPECT_EQ(small.typesetCount(), 2U);
}

TEST(DisplayProvider, AFormulaWellWithinAWidthComesOutAsWithoutAWidth) {
    // What the reuse above rests on: set at a width it fits with room to spare, a formula of any
    // kind is drawn exactly as set without a width.
    const char* const formulas[] = {
        "x",
        "a+b=c",
        "\\frac{1}{2}+\\frac{x^2}{y_1}",
        "\\sum_{i=0}^{n} x_i^2 + \\int_0^1 f(x)\\,dx",
        "\\left(\\frac{a}{b}\\right)^{2} \\cdot \\sqrt[3]{x+y}",
        "\\color{red}{a+b} + \\colorbox{yellow}{c} - \\textcolor{blue}{d}",
        "\\begin{pmatrix} a & b \\\\ c & d \\end{pmatrix} \\hat{x} \\overline{y} \\underline{z}",
        "\\text{if } x > 0 \\text{ then the value is positive and long enough}",
        "\\lim_{n\\to\\infty} \\left(1+\\frac{1}{n}\\right)^n = e",
        "f(x)=ax^2+bx+c,\\quad x\\in\\mathbb{R},\\quad \\alpha\\beta\\gamma\\delta",
    };
    const auto draw = [](const DisplayList& root) { return drawn(root); };
    for (const char* formula : formulas) {
        SCOPED_TRACE(formula);
        for (const Level level : {Level::display, Level::text}) {
            DisplayProvider withoutWidth;
            const auto unbroken = withoutWidth.displayNode(formula, latinModern20, level, 0);
            ASSERT_TRUE(unbroken);
            DisplayProvider withWidth;
            const auto set =
                withWidth.displayNode(formula, latinModern20, level, unbroken->width() / 0.6);
            ASSERT_TRUE(set);
            EXPECT_EQ(set->width(), unbroken->width());
            EXPECT_EQ(set->ascent(), unbroken->ascent());
            EXPECT_EQ(set->descent(), unbroken->descent());
            EXPECT_EQ(set->position(), unbroken->position());
            const std::vector<std::uint8_t> drawn = draw(*unbroken);
            EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [](auto v) { return v != 0; }));
            EXPECT_TRUE(draw(*set) == drawn);
        }
    }
}

TEST(DisplayProvider, AFormulaThatFitsAWidthComesOutAsWithoutAWidth) {
    // The reuse at the narrowest width that allows it: two ems past the natural width. Formulas
    // whose estimates run ahead of what they set (scripts with italic corrections, a coloured
    // group spaced by its first symbol, negative spaces, delimited groups set at the width too,
    // a text run long enough to be measured by windows).
    std::string longRun;
    for (int i = 0; i < 40; ++i) {
        longRun += "abcdefgh";
    }
    const std::string formulas[] = {
        "f^2+P_i^{k}+V_j-f_{n}^{m}",
        "a+\\textcolor{red}{-b}+\\textcolor{blue}{=c}\\!\\!\\!d\\;e",
        "\\left(\\frac{a}{b}+\\left[x+y\\right]\\right)^{2}+\\sum_{i=0}^{n} x_i^2",
        "\\int_0^1 f(x)\\,dx + \\lim_{n\\to\\infty} \\sqrt[3]{x_n} \\cdot \\hat{y}",
        longRun + "+" + longRun,
        "x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a},\\quad y=\\sin t",
    };
    for (const std::string& formula : formulas) {
        SCOPED_TRACE(formula);
        for (const Level level : {Level::display, Level::text}) {
            DisplayProvider withoutWidth;
            const auto unbroken = withoutWidth.displayNode(formula, latinModern20, level, 0);
            ASSERT_TRUE(unbroken);
            const double width = std::ceil((unbroken->width() + 2 * latinModern20.size) * 2) / 2;
            ASSERT_TRUE(
                DisplayProvider::setsAsWithoutWidth(unbroken->width(), width, latinModern20.size));
            EXPECT_FALSE(DisplayProvider::setsAsWithoutWidth(unbroken->width(), width - 1,
                                                             latinModern20.size));
            // Set at that width on its own, not reused.
            DisplayProvider withWidth;
            const auto set = withWidth.displayNode(formula, latinModern20, level, width);
            ASSERT_TRUE(set);
            EXPECT_EQ(set->width(), unbroken->width());
            EXPECT_EQ(set->ascent(), unbroken->ascent());
            EXPECT_EQ(set->descent(), unbroken->descent());
            EXPECT_TRUE(drawn(*set) == drawn(*unbroken));
            // And reused there after it was set without a width.
            EXPECT_EQ(withoutWidth.displayNode(formula, latinModern20, level, width), unbroken);
            EXPECT_EQ(withoutWidth.typesetCount(), 1U);
        }
    }
}

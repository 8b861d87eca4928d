// Drawing of display trees, judged by the pixels it leaves: colours down the tree, which rules are
// stroked where, the context left as found, nonsense geometry skipped, and snapshots of a few
// typical formulas.

#include "Math/AtomList.hpp"
#include "Math/DisplayDrawing.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "tests/Math/BundledFonts.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace Math;
using Paint = platform::Color;
using platform::GraphicsContext;
using platform::ImageSurface;

namespace {

const Font kFont(Font::Name::latinModern, 40);

platform::GlyphID glyphFor(char32_t c) {
    const auto font = PlatformFont::make(kFont);
    return font ? font->face().glyph(c).value_or(0) : 0;
}

// A glyph node measured as the typesetter measures one: advance and ink extents.
std::shared_ptr<DisplayGlyph> glyphAt(char32_t c, Point at) {
    auto glyph = std::make_shared<DisplayGlyph>(glyphFor(c), kFont);
    if (const auto font = PlatformFont::make(kFont)) {
        const platform::Rect ink = font->glyphFont().boundingRect(glyph->glyph);
        glyph->setWidth(font->glyphFont().advance(glyph->glyph).width);
        glyph->setAscent(std::max(0.0, ink.maxY()));
        glyph->setDescent(std::max(0.0, -ink.minY()));
    }
    glyph->setPosition(at);
    return glyph;
}

std::shared_ptr<DisplayList> list(std::vector<std::shared_ptr<DisplayNode>> children,
                                  Point at = {}) {
    auto result = std::make_shared<DisplayList>(std::move(children), IndexRange{0, 1});
    result->setPosition(at);
    return result;
}

// A canvas of 200 × 100 points whose origin is the bottom-left corner with y up, as the
// typesetter's coordinates are.
struct Canvas {
    ImageSurface surface{200, 100};
    GraphicsContext context{surface};

    Canvas() {
        context.translateBy(0, 100);
        context.scaleBy(1, -1);
    }
    void draw(const DisplayNode& node, const Paint& color = Paint::black()) {
        drawDisplayNode(node, color, context);
    }
    platform::Image image() const { return surface.makeImage(); }
};

struct Ink {
    int pixels = 0;
    int red = 0;
    int blue = 0;
    int black = 0;
};

// The painted pixels in a rectangle given in y-up coordinates (x0, y0 bottom-left).
Ink inkIn(const platform::Image& image, int x0, int y0, int x1, int y1) {
    Ink ink;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const auto p = image.pixel(x, image.height() - 1 - y);
            if (p.alpha < 128) {
                continue;
            }
            ++ink.pixels;
            ink.red += p.red > 200 && p.blue < 60;
            ink.blue += p.blue > 200 && p.red < 60;
            ink.black += p.red < 60 && p.green < 60 && p.blue < 60;
        }
    }
    return ink;
}

TEST(DisplayDrawing, ANodesOwnColourWinsAndTheRestInheritTheListsColour) {
    Canvas canvas;
    auto red = glyphAt(U'x', {10, 30});
    red->localTextColor = Paint(1, 0, 0);
    red->textColor = Paint(0, 1, 0); // the local colour comes first
    auto inherits = glyphAt(U'x', {100, 30});
    auto root = list({red, inherits});
    root->textColor = Paint(0, 0, 1);
    canvas.draw(*root, Paint::black());
    const auto image = canvas.image();
    const Ink left = inkIn(image, 0, 0, 90, 100);
    const Ink right = inkIn(image, 90, 0, 200, 100);
    EXPECT_GT(left.pixels, 50);
    EXPECT_EQ(left.red, left.pixels);
    EXPECT_GT(right.pixels, 50);
    EXPECT_EQ(right.blue, right.pixels);
}

TEST(DisplayDrawing, SystemColoursResolveInTheContextsAppearance) {
    Canvas canvas;
    canvas.context.setAppearance({platform::ColorScheme::dark});
    auto rule = std::make_shared<DisplayFraction>();
    rule->numerator = list({glyphAt(U'x', {0, 0})});
    rule->lineThickness = 4;
    rule->linePosition = 0;
    rule->setPosition({20, 50});
    canvas.draw(*list({rule}), Paint::primary());
    // The primary label colour is light in the dark scheme.
    const auto pixel = canvas.image().pixel(25, 100 - 1 - 50);
    EXPECT_GT(pixel.alpha, 200);
    EXPECT_GT(pixel.red, 200);
}

TEST(DisplayDrawing, ATextRunDrawsColouredRangesInTheirOwnColour) {
    const auto font = PlatformFont::make(kFont);
    ASSERT_TRUE(font);
    AttributedLine line("xx");
    line.append("xx", Paint(1, 0, 0));
    line.append("xx");
    auto run = std::make_shared<DisplayTextRun>(line, kFont, font->glyphFont(),
                                                std::vector<std::shared_ptr<Atom>>{});
    run->setPosition({10, 30});
    Canvas canvas;
    canvas.draw(*list({run}), Paint(0, 0, 1));
    const auto image = canvas.image();
    const double third = run->width() / 3;
    const auto part = [&](int i) {
        return inkIn(image, 10 + static_cast<int>(i * third) + 1, 0,
                     10 + static_cast<int>((i + 1) * third) - 1, 100);
    };
    for (int i = 0; i < 3; ++i) {
        const Ink ink = part(i);
        EXPECT_GT(ink.pixels, 50) << i;
        EXPECT_EQ(i == 1 ? ink.red : ink.blue, ink.pixels) << i;
    }
}

TEST(DisplayDrawing, ListsAndAccentsTranslateTheirContents) {
    // A glyph at (10, 0) inside a list at (100, 40) lands at (110, 40).
    Canvas canvas;
    canvas.draw(*list({glyphAt(U'x', {10, 0})}, {100, 40}));
    const auto image = canvas.image();
    EXPECT_EQ(inkIn(image, 0, 0, 105, 100).pixels, 0);
    EXPECT_EQ(inkIn(image, 0, 0, 200, 38).pixels, 0);
    EXPECT_GT(inkIn(image, 105, 38, 140, 70).pixels, 50);

    // An accent without a base still draws its glyph, relative to the accent's own position,
    // and moved down by the glyph's shift.
    Canvas accented;
    auto accentGlyph = glyphAt(U'x', {10, 50});
    accentGlyph->shiftDown = 20;
    auto accent = std::make_shared<DisplayAccent>(accentGlyph, nullptr, IndexRange{0, 1});
    accent->setPosition({50, 0});
    accented.draw(*list({accent}));
    const auto accentImage = accented.image();
    EXPECT_EQ(inkIn(accentImage, 0, 0, 58, 100).pixels, 0);
    EXPECT_GT(inkIn(accentImage, 58, 28, 95, 55).pixels, 50);
    EXPECT_EQ(inkIn(accentImage, 0, 55, 200, 100).pixels, 0);
}

TEST(DisplayDrawing, OnlyAFractionWithAPositiveThicknessHasARule) {
    const auto fraction = [](double thickness) {
        auto f = std::make_shared<DisplayFraction>();
        f->numerator = list({glyphAt(U'x', {0, 0})});
        f->denominator = list({glyphAt(U'x', {0, 0})});
        f->numeratorUp = 30;
        f->denominatorDown = 20;
        f->linePosition = 10;
        f->lineThickness = thickness;
        f->setPosition({20, 40});
        return f;
    };
    Canvas ruled;
    ruled.draw(*list({fraction(4)}));
    // The rule is 4 points thick around y = 50 and as wide as the wider part.
    const auto ruledImage = ruled.image();
    const int width = static_cast<int>(fraction(4)->width());
    EXPECT_GT(width, 10);
    EXPECT_EQ(inkIn(ruledImage, 21, 48, 20 + width - 1, 52).black, (width - 2) * 4);
    Canvas bare;
    bare.draw(*list({fraction(0)}));
    EXPECT_EQ(inkIn(bare.image(), 0, 47, 200, 53).pixels, 0);
    EXPECT_GT(inkIn(bare.image(), 0, 0, 200, 100).pixels, 50); // the parts are drawn
}

TEST(DisplayDrawing, OverAndUnderlinesAndRadicalsStrokeWhateverTheirThickness) {
    Canvas canvas;
    auto line = std::make_shared<DisplayLine>(list({glyphAt(U'x', {0, 0})}), Point{10, 10},
                                              IndexRange{0, 1});
    line->lineShiftUp = 60;
    line->lineThickness = 0; // a hairline
    canvas.draw(*list({line}));
    const int width = static_cast<int>(line->inner->width());
    EXPECT_GT(inkIn(canvas.image(), 12, 68, 10 + width - 2, 72).pixels, width / 2);

    // The overbar runs from the end of the sign over the radicand, at the top less the gap and
    // half the thickness.
    Canvas rooted;
    auto radical = std::make_shared<DisplayRadical>();
    radical->radicalGlyph = glyphAt(U'x', {0, 0});
    radical->radicand = list({glyphAt(U'x', {0, 0})});
    radical->radicalShift = 30;
    radical->setAscent(70);
    radical->topKern = 6;
    radical->lineThickness = 4;
    radical->setPosition({10, 10});
    rooted.draw(*list({radical}));
    const auto image = rooted.image();
    const int sign = static_cast<int>(std::ceil(radical->radicalGlyph->width()));
    const int bar = 10 + 30 + sign; // x where the bar starts
    // Bar centre at 10 + 70 - 6 - 2 = 72: rows 70...74.
    EXPECT_GT(inkIn(image, bar + 2, 70, bar + 14, 74).black, 40);
    EXPECT_EQ(inkIn(image, 0, 76, 200, 100).pixels, 0);
    EXPECT_EQ(inkIn(image, 0, 0, 40, 100).pixels, 0); // the room left for a degree stays empty
}

TEST(DisplayDrawing, ALargeOperatorWithoutLimitsDrawsItsNucleus) {
    Canvas canvas;
    auto op = std::make_shared<DisplayLargeOperator>();
    op->nucleus = glyphAt(U'x', {0, 0});
    op->setWidth(op->nucleus->width());
    op->setPosition({60, 30});
    canvas.draw(*list({op}));
    EXPECT_GT(inkIn(canvas.image(), 55, 25, 100, 60).pixels, 50);
    EXPECT_EQ(inkIn(canvas.image(), 0, 0, 55, 100).pixels, 0);
}

TEST(DisplayDrawing, LeavesTheContextAsFoundAndSkipsWhatCannotBeDrawn) {
    Canvas canvas;
    const auto before = canvas.context.transform();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto unknownFont = std::make_shared<DisplayGlyph>(glyphFor(U'x'), Font(Font::Name("none"), 40));
    auto hugeFont = std::make_shared<DisplayGlyph>(glyphFor(U'x'), Font(kFont.name, 1e9));
    auto nanFont = std::make_shared<DisplayGlyph>(glyphFor(U'x'), Font(kFont.name, nan));
    auto lost = glyphAt(U'x', {nan, 10});
    auto fraction = std::make_shared<DisplayFraction>();
    fraction->lineThickness = nan;
    fraction->linePosition = 5;
    auto rule = std::make_shared<DisplayFraction>();
    rule->lineThickness = 1;
    rule->linePosition = INFINITY;
    auto nowhere = list({glyphAt(U'x', {0, 0})}, {INFINITY, 0});
    canvas.draw(*list({unknownFont, hugeFont, nanFont, lost, fraction, rule, nowhere}));
    EXPECT_EQ(canvas.context.transform(), before);
    EXPECT_EQ(inkIn(canvas.image(), 0, 0, 200, 100).pixels, 0);
    // The context still draws: nothing above put it into an error state.
    canvas.draw(*list({glyphAt(U'x', {20, 20})}));
    EXPECT_GT(inkIn(canvas.image(), 0, 0, 200, 100).pixels, 50);
}

std::shared_ptr<DisplayList> typeset(std::string_view latex, double size = 20,
                                     const Font::Name& name = Font::Name::latinModern) {
    const auto parsed = parseLatex(latex);
    const auto font = PlatformFont::make(Font(name, size));
    if (!parsed || !font) {
        return nullptr;
    }
    return Typesetter::createFinalizedLine(*parsed, font, Style::Level::display);
}

TEST(DisplayDrawing, ACanvasHoldsTheFormulaOnItsBottomEdge) {
    const auto root = typeset(R"(\frac{a}{b})", 40);
    ASSERT_TRUE(root);
    const auto size = platform::Size{root->width(), root->ascent() + root->descent()};
    ImageSurface surface(static_cast<int>(std::ceil(size.width)) + 4, 120);
    GraphicsContext context(surface);
    drawInGraphicsContext(*root, Paint(1, 0, 0), context, {size.width, 120});
    const auto image = surface.makeImage();
    // Ink reaches the last rows and stops at the formula's height; all of it red.
    const Ink all = inkIn(image, 0, 0, image.width(), 120);
    EXPECT_EQ(all.red, all.pixels);
    EXPECT_GT(inkIn(image, 0, 0, image.width(), 3).pixels, 0);
    const int top = static_cast<int>(std::ceil(size.height)) + 1;
    EXPECT_EQ(inkIn(image, 0, top, image.width(), 120).pixels, 0);
    EXPECT_GT(inkIn(image, 0, top - 4, image.width(), top).pixels, 0);
}

TEST(DisplayDrawing, AWindowOntoALongBrokenFormulaShowsWhatTheWholeDrawingShows) {
    // Drawing passes over the lines of a long formula outside the clip; what shows inside it is
    // what the whole drawing puts there, limits and scripts that stand out of their lines too.
    std::string latex;
    for (int i = 0; i < 150; ++i) {
        latex += "\\sum_{i=0}^{n} x_i^{2} + \\frac{a}{b} + ";
    }
    latex += "1";
    const auto parsed = parseLatex(latex);
    const auto font = PlatformFont::make(Font(Font::Name::latinModern, 20));
    ASSERT_TRUE(parsed && font);
    const auto root = Typesetter::createLine(*finalizedAtomList(*parsed), font,
                                             Style::Level::display, false, 300);
    ASSERT_TRUE(root);
    ASSERT_GT(root->children.size(), 200U);
    const platform::Size size{root->width(), root->ascent() + root->descent()};
    ASSERT_GT(size.height, 1000);
    const int width = static_cast<int>(std::ceil(size.width));
    const int height = static_cast<int>(std::ceil(size.height));

    ImageSurface whole(width, height);
    {
        GraphicsContext context(whole);
        drawInGraphicsContext(*root, context, size);
    }
    const platform::Image all = whole.makeImage();
    for (const int top : {0, 317, height / 2, height - 120}) {
        ImageSurface window(width, 120);
        {
            GraphicsContext context(window);
            context.translateBy(0, -top);
            drawInGraphicsContext(*root, context, size);
        }
        const platform::Image shown = window.makeImage();
        int inked = 0;
        int differing = 0;
        for (int y = 0; y < 120 && top + y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                inked += shown.pixel(x, y).alpha > 0;
                differing += !(shown.pixel(x, y) == all.pixel(x, top + y));
            }
        }
        EXPECT_GT(inked, 100) << top;
        EXPECT_EQ(differing, 0) << top;
    }
}

// Snapshots of typical formulas at 20 points, twice the pixel density; antialiasing may differ a
// little between library versions, the shapes and positions may not.
class FormulaSnapshot : public testing::TestWithParam<std::pair<const char*, const char*>> {};

void expectFormulaSnapshot(const DisplayList& root, const std::string& name) {
    const platform::Size size{std::ceil(root.width()) + 8,
                              std::ceil(root.ascent() + root.descent()) + 8};
    ImageSurface surface = ImageSurface::ofSize(size, 2.0);
    GraphicsContext context(surface);
    context.fill(platform::Rect(0, 0, size.width, size.height), Paint::white());
    context.translateBy(4, -4);
    drawInGraphicsContext(root, context, size);
    moss_test::expectSnapshot(surface.makeImage(),
                              std::string("tests/fixtures/math/snapshots/") + name + ".png", 48,
                              0.01);
}

TEST_P(FormulaSnapshot, MatchesItsPicture) {
    const auto& [name, latex] = GetParam();
    const auto root = typeset(latex);
    ASSERT_TRUE(root) << latex;
    expectFormulaSnapshot(*root, name);
}

INSTANTIATE_TEST_SUITE_P(
    Formulas, FormulaSnapshot,
    testing::Values(std::pair{"quadratic", R"(x = \frac{-b \pm \sqrt{b^2 - 4ac}}{2a})"},
                    std::pair{"gaussian", R"(\int_{-\infty}^{\infty} e^{-x^2}\,dx = \sqrt{\pi})"},
                    std::pair{"matrix", R"(\begin{pmatrix} a & b \\ c & d \end{pmatrix})"},
                    std::pair{"series", R"(\sum_{n=1}^{\infty} \frac{1}{n^2} = \frac{\pi^2}{6})"},
                    std::pair{"limit", R"(\lim_{n \to \infty} \left(1 + \frac{1}{n}\right)^n)"}),
    [](const auto& info) { return std::string(info.param.first); });

// One formula in every bundled math font: radicals, fractions, scripts, a large operator and
// growing delimiters all come from the font's own tables, so a font whose table was generated
// wrongly (or not found) shows here as misplaced or missing pieces.
class FontSnapshot : public testing::TestWithParam<Font::Name> {};

TEST_P(FontSnapshot, SetsAFormulaFromItsOwnTables) {
    const auto root = typeset(R"(\sum_{k=1}^{n} \sqrt{x_k^2 + 1} = \left(\frac{a+b}{c}\right)^{2})",
                              20, GetParam());
    ASSERT_TRUE(root) << GetParam().rawValue() << " is not bundled";
    EXPECT_GT(root->width(), 100);
    expectFormulaSnapshot(*root, "font-" + GetParam().rawValue());
}

INSTANTIATE_TEST_SUITE_P(Fonts, FontSnapshot, testing::ValuesIn(moss_test::bundledFontNames()),
                         moss_test::fontTestName);

} // namespace

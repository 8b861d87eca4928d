#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/GlyphFont.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace platform {
namespace {

const char* kLatinModern = "/usr/share/texmf/fonts/opentype/public/lm-math/latinmodern-math.otf";

std::vector<std::uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::shared_ptr<const GlyphFace> latinModern() {
    static const std::shared_ptr<const GlyphFace> face =
        GlyphFace::fromData(readFile(kLatinModern));
    return face;
}

// The reference numbers were read from the font file with FreeType, independently of the
// HarfBuzz tables this layer reads.
struct GlyphCase {
    const char* name;
    GlyphID id;
    double advance;
    Rect box; // design units, y up
};
const GlyphCase kCases[] = {
    {"parenleft", 9, 389, {101, -248, 231, 996}},
    {"A", 34, 750, {32, 0, 685, 716}},
    {"summation", 3060, 1056, {56, -250, 943, 1000}},
    {"integral", 3049, 665, {56, -306, 553, 1111}},
    {"parenleft.v3", 2411, 523, {156, -472, 305, 1444}},
    {"radical", 3077, 833, {73, -960, 780, 1000}},
};

TEST(GlyphFace, LatinModernMathMetricsByName) {
    const auto face = latinModern();
    ASSERT_TRUE(face);
    EXPECT_EQ(face->postScriptName(), "LatinModernMath-Regular");
    EXPECT_EQ(face->unitsPerEm(), 1000u);
    EXPECT_EQ(face->glyphCount(), 4802u);
    EXPECT_TRUE(face->hasMathTable());
    EXPECT_DOUBLE_EQ(face->ascender(), 806);
    EXPECT_DOUBLE_EQ(face->descender(), 194);
    for (const GlyphCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::optional<GlyphID> id = face->glyph(c.name);
        ASSERT_TRUE(id);
        EXPECT_EQ(*id, c.id);
        EXPECT_EQ(face->glyphName(*id), c.name);
        EXPECT_DOUBLE_EQ(face->advance(*id), c.advance);
        const Rect box = face->boundingBox(*id);
        EXPECT_NEAR(box.minX(), c.box.minX(), 1);
        EXPECT_NEAR(box.minY(), c.box.minY(), 1);
        EXPECT_NEAR(box.maxX(), c.box.maxX(), 1);
        EXPECT_NEAR(box.maxY(), c.box.maxY(), 1);
        // The outline's control-point box is the font's own box.
        const Rect outline = face->outline(*id).boundingRect();
        EXPECT_NEAR(outline.minX(), c.box.minX(), 1);
        EXPECT_NEAR(outline.maxY(), c.box.maxY(), 1);
    }
    EXPECT_EQ(face->glyphName(100), "yen");
    EXPECT_EQ(face->glyph(U'A'), GlyphID{34});
    EXPECT_FALSE(face->glyph("no-such-glyph"));
    EXPECT_FALSE(face->glyph(""));
    EXPECT_FALSE(face->glyphName(60000));
    EXPECT_DOUBLE_EQ(face->advance(60000), 0);
    EXPECT_TRUE(face->outline(60000).isEmpty());
    EXPECT_EQ(face->boundingBox(face->glyph(U' ').value()), Rect::zero());
}

TEST(GlyphFace, RejectsBytesThatAreNotAFont) {
    EXPECT_FALSE(GlyphFace::fromData({}));
    EXPECT_FALSE(GlyphFace::fromData({'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'}));
    const std::vector<std::uint8_t> bytes = readFile(kLatinModern);
    for (const std::size_t length : {std::size_t{4}, std::size_t{12}, std::size_t{200}}) {
        EXPECT_FALSE(GlyphFace::fromData({bytes.begin(), bytes.begin() + length})) << length;
    }
    EXPECT_FALSE(GlyphFace::fromData(bytes, 7)); // no such face in the file
    EXPECT_FALSE(GlyphFace::fromFile("/nonexistent/font.otf"));
    EXPECT_TRUE(GlyphFace::fromFile(kLatinModern));
}

TEST(GlyphFont, ScaledMetricsAndCharacterMapping) {
    const GlyphFont font(latinModern(), 20);
    const GlyphID sum = 3060;
    EXPECT_DOUBLE_EQ(font.advance(sum).width, 21.12);
    EXPECT_NEAR(font.boundingRect(sum).maxY(), 15, 0.03);
    EXPECT_NEAR(font.outline(sum).boundingRect().minX(), 1.12, 0.03);
    EXPECT_NEAR(font.ascent(), 16.12, 1e-9);

    const auto glyphs = font.glyphs(u"A\U0001D465");
    ASSERT_TRUE(glyphs);
    ASSERT_EQ(glyphs->size(), 3u);
    EXPECT_EQ((*glyphs)[0], 34);
    EXPECT_NE((*glyphs)[1], 0);
    EXPECT_EQ((*glyphs)[2], 0);
    EXPECT_FALSE(font.glyphs(u"A\u4E00"));                        // a character the face lacks
    EXPECT_FALSE(font.glyphs(std::u16string_view(u"\xD835", 1))); // unpaired surrogate
    EXPECT_EQ(GlyphFont(latinModern(), -3).size(), 0);
}

TEST(GlyphFont, ShapesShortRunsWithExtraSpace) {
    const GlyphFont font(latinModern(), 10);
    const ShapedRun run = font.shape("x+y");
    ASSERT_EQ(run.glyphs.size(), 3u);
    double expected = 0;
    for (const auto& g : run.glyphs) {
        expected += font.advance(g.glyph).width;
    }
    EXPECT_NEAR(run.width, expected, 1e-9);
    EXPECT_EQ(run.glyphs[2].cluster, 2u);
    EXPECT_GT(run.glyphPathBounds.height(), 0);
    EXPECT_NEAR(run.glyphPathBounds.minY(), font.boundingRect(run.glyphs[2].glyph).minY(), 1e-9);

    const ExtraSpace space[] = {{1, 3.5}};
    const ShapedRun spaced = font.shape("x+y", space);
    EXPECT_NEAR(spaced.width, run.width + 3.5, 1e-9);
    EXPECT_NEAR(spaced.glyphs[2].position.x, run.glyphs[2].position.x + 3.5, 1e-9);
    EXPECT_NEAR(spaced.glyphs[1].position.x, run.glyphs[1].position.x, 1e-9);

    // Clusters count UTF-16 units: the astral letter takes two.
    const ShapedRun astral = font.shape("\xF0\x9D\x91\xA5+");
    ASSERT_EQ(astral.glyphs.size(), 2u);
    EXPECT_EQ(astral.glyphs[1].cluster, 2u);

    EXPECT_TRUE(font.shape("").glyphs.empty());
    EXPECT_EQ(font.shape("").glyphPathBounds, Rect::zero());
    EXPECT_EQ(font.shape("a\xFF").glyphs.size(), 2u);
}

TEST(GlyphFont, ShortTextsShapedAgainComeOutAsShapedAfresh) {
    // A face keeps the short texts it shaped whole; another size, another text or a text grown
    // at its end must still come out as a face that never shaped anything shapes them.
    const auto kept = GlyphFace::fromData(readFile(kLatinModern));
    ASSERT_TRUE(kept);
    const auto same = [](const ShapedRun& a, const ShapedRun& b) {
        ASSERT_EQ(a.glyphs.size(), b.glyphs.size());
        for (std::size_t i = 0; i < a.glyphs.size(); ++i) {
            EXPECT_EQ(a.glyphs[i].glyph, b.glyphs[i].glyph);
            EXPECT_EQ(a.glyphs[i].cluster, b.glyphs[i].cluster);
            EXPECT_EQ(a.glyphs[i].position, b.glyphs[i].position);
            EXPECT_EQ(a.glyphs[i].advance, b.glyphs[i].advance);
            EXPECT_EQ(a.glyphs[i].unsafeToBreak, b.glyphs[i].unsafeToBreak);
        }
        EXPECT_EQ(a.width, b.width);
    };
    const GlyphFont small(kept, 10);
    const GlyphFont large(kept, 24);
    const ShapedRun first = small.shape("ffi+\xF0\x9D\x91\xA5");
    for (const char* text : {"ffi+\xF0\x9D\x91\xA5", "ffi+", "ff", "i=0", "a\xFF"}) {
        SCOPED_TRACE(text);
        const auto fresh = GlyphFace::fromData(readFile(kLatinModern));
        ASSERT_TRUE(fresh);
        for (int round = 0; round < 2; ++round) {
            same(small.shape(text), GlyphFont(fresh, 10).shape(text));
            same(large.shape(text), GlyphFont(fresh, 24).shape(text));
            same(large.reshapeEnd({}, {}, text), GlyphFont(fresh, 24).reshapeEnd({}, {}, text));
        }
    }
    same(small.shape("ffi+\xF0\x9D\x91\xA5"), first);
    // A short text grown at its end keeps its start and shapes only the rest.
    const std::string start20 = "x+y+z+a+b+c+d+e+f+g+";
    const std::string grown = start20 + "h+i";
    const ShapedRun whole = large.shape(grown);
    const auto fresh20 = GlyphFace::fromData(readFile(kLatinModern));
    same(large.reshapeEnd(large.shape(start20), start20, grown),
         GlyphFont(fresh20, 24).shape(grown));
    same(whole, GlyphFont(fresh20, 24).shape(grown));
    // A long text is shaped through as before, grown at its end or whole.
    const std::string longText(200, 'x');
    const auto fresh = GlyphFace::fromData(readFile(kLatinModern));
    const ShapedRun start = large.shape(longText);
    same(large.reshapeEnd(start, longText, longText + "+y"),
         GlyphFont(fresh, 24).shape(longText + "+y"));
}

TEST(GlyphFont, SuggestsLineBreaksAtWordsThenCharacters) {
    const GlyphFont font(latinModern(), 10);
    const double hello = font.shape("hello").width;
    const double helloWorld = font.shape("hello world").width;
    EXPECT_EQ(font.suggestLineBreak("hello world", helloWorld), 11u);
    // The space after "hello" hangs: the first line is "hello " even at exactly its word width.
    EXPECT_EQ(font.suggestLineBreak("hello world", hello), 6u);
    EXPECT_EQ(font.suggestLineBreak("hello world", helloWorld - 0.5), 6u);
    // A word wider than the line breaks between characters.
    const double hel = font.shape("hel").width;
    EXPECT_EQ(font.suggestLineBreak("hello", hel + 0.01), 3u);
    EXPECT_EQ(font.suggestLineBreak("hello", 0.1), 0u);
    EXPECT_EQ(font.suggestLineBreak("", 100), 0u);
    EXPECT_EQ(font.suggestLineBreak("abc", std::nan("")), 0u);
    // Offsets count UTF-16 units.
    EXPECT_EQ(font.suggestLineBreak("\xF0\x9D\x91\xA5 y", 1000), 4u);
}

TEST(GlyphFont, WidthBeforeEachCharacterOfAShapedText) {
    const auto glyph = [](std::size_t cluster, double advance) {
        ShapedRun::Glyph g;
        g.cluster = cluster;
        g.advance = advance;
        return g;
    };
    // Three characters at UTF-16 offsets 0, 1 and 3 (the second a surrogate pair), ending at 4.
    const std::vector<std::size_t> offsets{0, 1, 3, 4};
    const std::vector<double> expected{0, 1.5, 1.5 + 2.25 + 0.5, 1.5 + 2.25 + 0.5 + 4};
    // Two glyphs for the middle character (a base and its mark) both count for it.
    ShapedRun inOrder;
    inOrder.glyphs = {glyph(0, 1.5), glyph(1, 2.25), glyph(1, 0.5), glyph(3, 4)};
    EXPECT_EQ(advancesBeforeCharacters(inOrder, offsets), expected);
    // Right-to-left glyphs come last character first: each still counts for its own character.
    ShapedRun reversed;
    reversed.glyphs = {glyph(3, 4), glyph(1, 2.25), glyph(1, 0.5), glyph(0, 1.5)};
    EXPECT_EQ(advancesBeforeCharacters(reversed, offsets), expected);
    // A glyph whose cluster lies past the last character's start counts for that character.
    ShapedRun past;
    past.glyphs = {glyph(0, 1), glyph(7, 2)};
    EXPECT_EQ(advancesBeforeCharacters(past, std::vector<std::size_t>{0, 1}),
              (std::vector<double>{0, 3}));
    EXPECT_EQ(advancesBeforeCharacters(inOrder, {}), std::vector<double>{0});

    // Shaped for real, the widths before the characters grow to the run's width.
    const GlyphFont font(latinModern(), 10);
    const ShapedRun hello = font.shape("hello");
    const std::vector<double> before =
        advancesBeforeCharacters(hello, std::vector<std::size_t>{0, 1, 2, 3, 4, 5});
    ASSERT_EQ(before.size(), 6u);
    EXPECT_TRUE(std::is_sorted(before.begin(), before.end()));
    EXPECT_NEAR(before[5], hello.width, 1e-9);
    EXPECT_NEAR(before[2], font.shape("he").width, 1e-9);
}

Image render(bool flipped) {
    ImageSurface surface(60, 60);
    GraphicsContext context(surface);
    context.fill(Rect(0, 0, 60, 60), Color::white());
    const GlyphFont font(latinModern(), 40);
    const GlyphID a = 34;
    if (flipped) {
        // A y-up space whose baseline point lands on device (10, 50).
        context.translateBy(0, 60);
        context.scaleBy(1, -1);
        font.draw(context, std::span(&a, 1), std::array{Point{10, 10}}, Color::black());
    } else {
        font.draw(context, std::span(&a, 1), std::array{Point{10, 50}}, Color::black());
    }
    return surface.makeImage();
}

TEST(GlyphFont, DrawsUprightInBothOrientations) {
    const Image upright = render(false);
    // Ink of "A" (716 units high at 40 points) sits above the baseline at y = 50.
    int top = 60;
    int bottom = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (upright.pixel(x, y).red < 128) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    EXPECT_NEAR(top, 50 - 0.716 * 40, 1.5);
    EXPECT_NEAR(bottom, 49, 1);
    // Upright: the apex row is narrower than the feet.
    const auto inkWidth = [&upright](int y) {
        int n = 0;
        for (int x = 0; x < 60; ++x) {
            n += upright.pixel(x, y).red < 128 ? 1 : 0;
        }
        return n;
    };
    EXPECT_LT(inkWidth(top + 1), inkWidth(bottom - 1));

    const Image flipped = render(true);
    int differing = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            differing += std::abs(upright.pixel(x, y).red - flipped.pixel(x, y).red) > 40 ? 1 : 0;
        }
    }
    EXPECT_LE(differing, 4);
}

} // namespace
} // namespace platform

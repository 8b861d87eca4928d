#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayoutInternal.hpp"
#include "tests/platform/text/SamePixels.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

using text_internal::cutsWords;
using text_internal::isWordShaped;
using text_internal::layoutFromWordShapes;
using text_internal::layoutWithPango;

constexpr double kPosition = 0.01;

/// Paragraphs of the kind documents are made of: prose, punctuation, figures, quotes, accents,
/// hyphenated and slashed words, several spaces.
const std::vector<std::string>& corpus() {
    static const std::vector<std::string> paragraphs = {
        "The quick brown fox jumps over the lazy dog while the cat watches from the window.",
        "Paragraph 12: layout of the glyph, a text wrapping measures line width and font.",
        "Prices rose 3.5% in 2024 (from $1,200 to $1,242); see pages 10\u201312 for details.",
        "\u201cQuoted,\u201d she said \u2014 \u2018nested\u2019 too\u2026 and then: done!",
        "Cr\u00e8me br\u00fbl\u00e9e, na\u00efve fa\u00e7ade, \u00c5ngstr\u00f6m, Dvo\u0159\u00e1k "
        "and \u0141\u00f3d\u017a are spelled right.",
        "well-known state-of-the-art read/write input/output e-mail co-operate re-entry",
        "Code-like text: `descent` = max(0, -minY of the bounds), the format \"\\mkern%.1fmu\" "
        "and a.b.c/d?e=f&g=h.",
        "- A value that none of steps 1 to 6 accepts throws the error of step 7 (\"Unsupported "
        "JSON value\").",
        "| range (location, length; two signed machine integers) | (0, 0) | position |",
        "Two  spaces   between   words   here, and   a trailing one ",
        "Averyveryverylongwordthatstillfitsonaline and short ones after it.",
        "AV To Wa Ty ff fi fl office affluent kerning pairs and ligatures in a row.",
        "First paragraph.\nThe second one is longer than the first and wraps.\n\nAfter an empty "
        "line.",
        "Ends in a line feed\n",
        "AB 12\n\u2014 cd",
        "\n\nStarts with two.",
        "1234 5678, 90.12 \u2014 3/4 (100%) $5",
        "CAPITALS - DASHES \u2013 AND (BRACKETS) [12] {X} at 10:30 \u2014 A/B \u00abQ\u00bb @ "
        "3\u00d74",
    };
    return paragraphs;
}

/// The glyph slices of a line, in drawing order.
std::vector<TextLayout::RunSlice> slicesOf(const TextLayout::Line& line) {
    std::vector<TextLayout::RunSlice> slices;
    for (const TextLayout::Run& run : line.runs) {
        slices.insert(slices.end(), run.slices.begin(), run.slices.end());
    }
    return slices;
}

void expectSameLayout(const TextLayout& fast, const TextLayout& pango, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(fast.lines().size(), pango.lines().size());
    EXPECT_NEAR(fast.size().width, pango.size().width, kPosition);
    EXPECT_NEAR(fast.size().height, pango.size().height, kPosition);
    for (std::size_t l = 0; l < fast.lines().size(); ++l) {
        const TextLayout::Line& a = fast.lines()[l];
        const TextLayout::Line& b = pango.lines()[l];
        SCOPED_TRACE("line " + std::to_string(l));
        EXPECT_EQ(a.characterRange, b.characterRange);
        EXPECT_NEAR(a.typographicBounds.origin.x, b.typographicBounds.origin.x, kPosition);
        EXPECT_NEAR(a.typographicBounds.origin.y, b.typographicBounds.origin.y, kPosition);
        EXPECT_NEAR(a.typographicBounds.width, b.typographicBounds.width, kPosition);
        EXPECT_NEAR(a.typographicBounds.ascent, b.typographicBounds.ascent, kPosition);
        EXPECT_NEAR(a.typographicBounds.descent, b.typographicBounds.descent, kPosition);
        ASSERT_EQ(a.runs.size(), b.runs.size());
        for (std::size_t r = 0; r < a.runs.size(); ++r) {
            EXPECT_EQ(a.runs[r].sourceRun, b.runs[r].sourceRun);
            EXPECT_EQ(a.runs[r].layoutDirection, b.runs[r].layoutDirection);
            EXPECT_EQ(a.runs[r].isInlineBox, b.runs[r].isInlineBox);
            EXPECT_EQ(a.runs[r].characterRange, b.runs[r].characterRange);
            EXPECT_EQ(a.runs[r].fontFamily, b.runs[r].fontFamily);
            EXPECT_DOUBLE_EQ(a.runs[r].fontSize, b.runs[r].fontSize);
            EXPECT_NEAR(a.runs[r].typographicBounds.width, b.runs[r].typographicBounds.width,
                        kPosition);
        }
        const auto sa = slicesOf(a);
        const auto sb = slicesOf(b);
        ASSERT_EQ(sa.size(), sb.size());
        for (std::size_t s = 0; s < sa.size(); ++s) {
            EXPECT_EQ(sa[s].glyph, sb[s].glyph) << "slice " << s;
            EXPECT_EQ(sa[s].characterRange, sb[s].characterRange) << "slice " << s;
            EXPECT_NEAR(sa[s].typographicBounds.origin.x, sb[s].typographicBounds.origin.x,
                        kPosition)
                << "slice " << s;
            EXPECT_NEAR(sa[s].typographicBounds.width, sb[s].typographicBounds.width, kPosition)
                << "slice " << s;
            EXPECT_NEAR(sa[s].typographicBounds.origin.y, sb[s].typographicBounds.origin.y,
                        kPosition);
        }
    }
}

/// The same lines as Pango's, each as wide within the kerning of a glyph beside a cut.
void expectSameLines(const TextLayout& fast, const TextLayout& pango, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(fast.lines().size(), pango.lines().size());
    for (std::size_t l = 0; l < fast.lines().size(); ++l) {
        const TextLayout::Line& a = fast.lines()[l];
        const TextLayout::Line& b = pango.lines()[l];
        EXPECT_EQ(a.characterRange, b.characterRange) << "line " << l;
        EXPECT_NEAR(a.typographicBounds.origin.y, b.typographicBounds.origin.y, kPosition);
        EXPECT_NEAR(a.typographicBounds.width, b.typographicBounds.width, 2.5) << "line " << l;
    }
}

TEST(WordShaping, AgreesWithPangoOnPlainParagraphsAtEveryWidth) {
    const std::vector<std::optional<double>> widths = {std::nullopt, 600, 480,  333.3,
                                                       200,          150, 97.5, 80};
    int compared = 0;
    const std::pair<Font, TextAlignment> settings[] = {
        {Font::body(), TextAlignment::leading},
        {Font::title().bold(), TextAlignment::center},
        {Font::body().italic(), TextAlignment::trailing},
        {Font::body().monospaced(), TextAlignment::leading},
    };
    for (const auto& [font, alignment] : settings) {
        for (const std::string& paragraph : corpus()) {
            for (const std::optional<double>& width : widths) {
                const ParagraphStyle style{
                    .font = font, .alignment = alignment, .lineSpacing = 3, .width = width};
                const StyledText text(paragraph);
                const TextLayout fast(text, style);
                const std::string what =
                    paragraph + " at " + (width ? std::to_string(*width) : "no width");
                // Only a word wider than the line needs Pango's breaking between characters.
                if (!isWordShaped(fast)) {
                    EXPECT_TRUE(width && (*width < 200 || paragraph.starts_with("Avery"))) << what;
                    continue;
                }
                ++compared;
                if (cutsWords(fast)) {
                    // Where a word is cut, the glyphs beside the cut may take other forms than
                    // Pango gives them, but the lines break where Pango's do.
                    expectSameLines(fast, layoutWithPango(text, style), what);
                    continue;
                }
                expectSameLayout(fast, layoutWithPango(text, style), what);
            }
        }
    }
    EXPECT_GT(compared, 400);
}

TEST(WordShaping, AgreesWithPangoAcrossRunsOfDifferentFonts) {
    StyledText text;
    text.append("Plain words then ");
    text.append("bold words in the middle", {.font = Font::body().bold()});
    text.append(" and large\n\n", {.font = Font::title()});
    text.append(" coloured text at the end of it all, of", {.foregroundColor = Color(1, 0, 0)});
    text.append("fice 12 ", {.foregroundColor = Color(0, 1, 0)});
    // Dashes take their raised form beside figures, but not from another font's run.
    text.append("\u2014 a", {.font = Font::body().bold()});
    text.append(" b \u2014", {.foregroundColor = Color(0, 1, 0)});
    text.append(" 34", {.font = Font::body().bold()});
    text.append("ffluent", {.foregroundColor = Color(0, 0, 1)});
    for (const double width : {400.0, 180.0, 120.0}) {
        const ParagraphStyle style{.width = width};
        const TextLayout fast(text, style);
        ASSERT_TRUE(isWordShaped(fast));
        expectSameLayout(fast, layoutWithPango(text, style), std::to_string(width));
    }
}

TEST(WordShaping, PunctuatedWordsShapedOnTheirOwnAgreeWithPangoInEachFont) {
    // Faces whose lookups cannot see past a space shape a word with brackets or operators on its
    // own; Inter raises dashes and brackets between capitals across spaces, and keeps the words
    // around. Either way the lines are Pango's: code in the faces code is set in, prose in all.
    const std::vector<std::string> code = {
        "int main(int argc, char** argv) {\n    return argc > 1 ? 0 : -1; // (done)\n}\n",
        "  x = [1, 2, 3];\n\n    if (a && b) { f(x->y, \"A-B\"); }\n#define MAX(a, b) ((a) > (b))",
        "Ends with a bracket)\n(and starts with one; ends after a hyphen-\nTo the next line.",
        "a + b = c; d := e; f -> g; h => i; j != k; l <= m; @n #o $p %q ^r *s _t ~u |v|",
    };
    const std::vector<std::string> prose = {
        "THE (QUICK) [BROWN] FOX - 12 - 34 {X} \u2014 A/B \u00abQ\u00bb @ 3\u00d74 & \"Quoted\"",
        "well-Typed X-Ray re-Vamp T-Shirt A/V 1/4 and/or Y-axis \u201cTo\u201d (Wa) [Ty] Av.",
    };
    const std::pair<Font, bool> fonts[] = {{Font::custom("DejaVu Sans Mono", 13), true},
                                           {Font::custom("Noto Sans", 14), true},
                                           {Font::custom("DejaVu Sans", 12).bold(), true},
                                           {Font::body(), false}};
    const std::vector<std::optional<double>> widths = {std::nullopt, 420, 260, 170, 110};
    int compared = 0;
    for (const auto& [font, forCode] : fonts) {
        std::vector<std::string> paragraphs = prose;
        if (forCode) {
            paragraphs.insert(paragraphs.end(), code.begin(), code.end());
        }
        for (const std::string& paragraph : paragraphs) {
            for (const std::optional<double>& width : widths) {
                const ParagraphStyle style{.font = font, .width = width};
                const StyledText text(paragraph);
                const TextLayout fast(text, style);
                const std::string what = font.resolve()->family + ": " + paragraph + " at " +
                                         (width ? std::to_string(*width) : "no width");
                ASSERT_TRUE(isWordShaped(fast)) << what;
                if (cutsWords(fast)) {
                    continue;
                }
                ++compared;
                expectSameLayout(fast, layoutWithPango(text, style), what);
            }
        }
    }
    EXPECT_GT(compared, 80);
}

Image drawn(const TextLayout& layout) {
    ImageSurface surface = ImageSurface::ofSize({220, 120}, 2);
    GraphicsContext context(surface);
    context.fill(Rect(0, 0, 220, 120), Color::white());
    layout.draw(context, {6, 4}, Color::black());
    return surface.makeImage();
}

TEST(WordShaping, DrawsTheSamePixelsAsPango) {
    StyledText text;
    text.append("Drawn words, ");
    text.append("bold ones", {.font = Font::body().bold()});
    text.append(" on grey,", {.backgroundColor = Color(0.8, 0.8, 0.8)});
    text.append(" underlined", {.underline = TextLineStyle{}});
    text.append(" and struck through", {.strikethrough = TextLineStyle{Color(0, 0, 1)}});
    text.append(" in red, wrapping over lines.", {.foregroundColor = Color(0.9, 0.1, 0.1)});
    const ParagraphStyle style{.width = 200};
    const TextLayout fast(text, style);
    ASSERT_TRUE(isWordShaped(fast));
    const Image a = drawn(fast);
    const Image b = drawn(layoutWithPango(text, style));
    moss_test::expectSamePixelsWithInk(a, b, 2000);
}

TEST(WordShaping, CaretsAndWordsOfWordShapedLayouts) {
    const StyledText text(corpus()[0]);
    const ParagraphStyle style{.width = 150};
    const TextLayout fast(text, style);
    const TextLayout pango = layoutWithPango(text, style);
    ASSERT_TRUE(isWordShaped(fast));
    for (std::size_t i = 0; i <= fast.length(); i += 7) {
        EXPECT_EQ(fast.caretRect(i), pango.caretRect(i)) << i;
        EXPECT_EQ(fast.wordRange(i), pango.wordRange(i)) << i;
        EXPECT_EQ(fast.nextWordBoundary(i, true), pango.nextWordBoundary(i, true)) << i;
    }
}

/// Hebrew words (which the body font lacks), spaces and boxes, in runs of two fonts and colours.
StyledText hebrewWithBoxes(int repeats) {
    StyledText text;
    for (int k = 0; k < repeats; ++k) {
        text.append("\u05e9\u05dc\u05d5\u05dd  \u05e2\u05d5\u05dc\u05dd ");
        text.appendBox({{18, 12}, 0});
        text.append(" ");
        text.appendBox({{0, 0}, 0}); // a formula that did not parse
        text.append(" \u05d1\u05d5\u05e7\u05e8 ", {.font = Font::body().bold()});
        text.appendBox({{30, 20}, -6});
        text.append("\u05d8\u05d5\u05d1 ", {.foregroundColor = Color(1, 0, 0)});
        text.append("\u05dc\u05d9\u05dc\u05d4 \u05d8\u05d5\u05d1", {.font = Font::title()});
        text.append(" ");
    }
    return text;
}

TEST(WordShaping, RightToLeftParagraphsAgreeWithPango) {
    std::vector<StyledText> paragraphs = {
        StyledText("\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd"),
        StyledText("  \u05e9\u05dc\u05d5\u05dd   \u05e2\u05d5\u05dc\u05dd  "),
        hebrewWithBoxes(1),
        hebrewWithBoxes(4),
    };
    // A line of empty boxes after a Hebrew word, the spaces after them hanging past its end.
    StyledText emptyBoxes("\u05e9\u05dc\u05d5\u05dd ");
    for (int k = 0; k < 60; ++k) {
        emptyBoxes.appendBox({{0, 0}, 0});
        emptyBoxes.append(" ");
    }
    paragraphs.push_back(emptyBoxes);
    const std::vector<std::optional<double>> widths = {std::nullopt, 400, 230, 120, 70};
    int compared = 0;
    for (const TextAlignment alignment :
         {TextAlignment::leading, TextAlignment::center, TextAlignment::trailing}) {
        for (std::size_t i = 0; i < paragraphs.size(); ++i) {
            for (const std::optional<double>& width : widths) {
                const ParagraphStyle style{
                    .alignment = alignment, .lineSpacing = 2, .width = width};
                const TextLayout fast = layoutFromWordShapes(paragraphs[i], style);
                // A word wider than its line is left to Pango.
                if (!isWordShaped(fast)) {
                    EXPECT_TRUE(width && *width < 100) << i;
                    continue;
                }
                ++compared;
                const TextLayout pango = layoutWithPango(paragraphs[i], style);
                expectSameLayout(fast, pango,
                                 "paragraph " + std::to_string(i) + " at " +
                                     (width ? std::to_string(*width) : "no width"));
                EXPECT_EQ(fast.caretRect(3), pango.caretRect(3));
            }
        }
    }
    EXPECT_GT(compared, 60);
    // Only paragraphs of many boxes leave Pango by themselves (others stay as they were), and
    // only right-to-left ones of nothing but Hebrew letters, spaces and boxes.
    EXPECT_FALSE(isWordShaped(TextLayout(hebrewWithBoxes(4), ParagraphStyle{.width = 300})));
    StyledText many("\u05e9\u05dc\u05d5\u05dd ");
    for (int k = 0; k < 2100; ++k) {
        many.appendBox({{k % 3 == 0 ? 0.0 : 9.0, 8}, 0});
        many.append(" ");
    }
    const TextLayout manyBoxes(many, ParagraphStyle{.width = 300});
    EXPECT_TRUE(isWordShaped(manyBoxes));
    expectSameLayout(manyBoxes, layoutWithPango(many, ParagraphStyle{.width = 300}), "many boxes");
    for (const char* other : {"\u05e9\u05dc\u05d5\u05dd world", "\u05e9\u05dc\u05d5\u05dd 12",
                              "\u05e9\u05dc\u05d5\u05dd, \u05e2\u05d5\u05dc\u05dd",
                              "\u05e9\u05c1\u05dc\u05d5\u05dd", "\u05e9\u05dc\n\u05d5\u05dd"}) {
        EXPECT_FALSE(
            isWordShaped(layoutFromWordShapes(StyledText(other), ParagraphStyle{.width = 300})))
            << other;
    }
}

/// `piece` `count` times.
std::string repeat(const std::string& piece, int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        text += piece;
    }
    return text;
}

TEST(WordShaping, ParagraphsWithEmojiAgreeWithPango) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    const std::string man = "\U0001F468";
    StyledText runs("Smile \U0001F600 please \U0001F600\U0001F600 x" + family + family);
    runs.append(" bold " + man + "\u200D" + man, {.font = Font::body().bold()});
    runs.append("\u200D" + man + " end \U0001F44D\U0001F3FD ", {.foregroundColor = Color(1, 0, 0)});
    // DejaVu Sans draws some emoji itself, in black.
    runs.append(" \U0001F600 \U0001F44D\u200D\U0001F44D ",
                {.font = Font::custom("DejaVu Sans", 13)});
    const std::vector<StyledText> paragraphs = {
        runs,
        StyledText(" \U0001F600  leading spaces, then\nanother line " + family + "\n"),
        StyledText(repeat(family, 40)), // breaks between the families only
        // One cluster of joined people, long enough to be shaped in windows.
        StyledText(repeat(man + "\u200D", 120) + man),
        StyledText(repeat("\U0001F44D\u200D", 90) + "\U0001F44D " + repeat(family + "\u200D", 30) +
                   family + " tail"),
    };
    const std::vector<std::optional<double>> widths = {std::nullopt, 500, 230, 90};
    int compared = 0;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        for (const std::optional<double>& width : widths) {
            const ParagraphStyle style{.width = width};
            const TextLayout fast = layoutFromWordShapes(paragraphs[i], style);
            const std::string what = "paragraph " + std::to_string(i) + " at " +
                                     (width ? std::to_string(*width) : "no width");
            ASSERT_TRUE(isWordShaped(fast)) << what;
            ++compared;
            expectSameLayout(fast, layoutWithPango(paragraphs[i], style), what);
        }
    }
    EXPECT_EQ(compared, 20);
    // Colour glyphs are drawn as Pango draws them.
    const ParagraphStyle style{.width = 200};
    const TextLayout fast = layoutFromWordShapes(paragraphs[0], style);
    moss_test::expectSamePixelsWithInk(drawn(fast), drawn(layoutWithPango(paragraphs[0], style)),
                                       2000);
    // Long paragraphs with emoji leave Pango by themselves; a joiner between anything but two
    // emoji, or another symbol, sends the paragraph back to it.
    EXPECT_FALSE(isWordShaped(TextLayout(StyledText(repeat(family, 40)), style)));
    EXPECT_TRUE(isWordShaped(TextLayout(StyledText(repeat(family, 1400)), style)));
    for (const std::string& other :
         std::vector<std::string>{"a\u200D" + man, man + "\u200D", man + "\uFE0F", "\u2764\uFE0F",
                                  "\U0001F1EB\U0001F1F7"}) {
        EXPECT_FALSE(isWordShaped(layoutFromWordShapes(StyledText(other), style))) << other;
    }
}

TEST(WordShaping, EverythingElseGoesThroughPango) {
    const char* const complex[] = {
        "\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645", // Arabic
        "\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd",                         // Hebrew
        "\u0928\u092e\u0938\u094d\u0924\u0947 \u0926\u0941\u0928\u093f\u092f\u093e", // Devanagari
        "English then \u05e2\u05d1\u05e8\u05d9\u05ea then English",                  // mixed
        "Smile \U0001F600 please",                                                   // emoji
        "\u65e5\u672c\u8a9e\u306e\u6587\u7ae0\u3067\u3059",                          // CJK
        "e\u0301 combining accent",
        "carriage\r\nreturn",
        "line\u2028separator",
        "tab\tstop",
        "soft\u00adhyphen",
    };
    for (const char* text : complex) {
        EXPECT_FALSE(isWordShaped(TextLayout(StyledText(text), ParagraphStyle{.width = 300})))
            << text;
    }
    const StyledText plain(corpus()[0]);
    const auto shaped = [&](const ParagraphStyle& style, const TextAttributes& attributes = {}) {
        return isWordShaped(TextLayout(StyledText(corpus()[0], attributes), style));
    };
    EXPECT_TRUE(shaped({.width = 300}));
    EXPECT_FALSE(shaped({.alignment = TextAlignment::justified, .width = 300}));
    EXPECT_FALSE(shaped({.baseDirection = WritingDirection::rightToLeft, .width = 300}));
    EXPECT_FALSE(shaped({.lineLimit = 2, .width = 300}));
    EXPECT_FALSE(shaped({.width = 300}, {.tracking = 1}));
    EXPECT_FALSE(shaped({.width = 300}, {.baselineOffset = 2}));
    EXPECT_FALSE(shaped({.width = 300}, {.font = Font::body().smallCaps()}));
    EXPECT_FALSE(shaped({.width = 300}, {.font = Font::body().leading(Font::Leading::loose)}));
    // Boxes are set among the words without Pango, but not letter-spaced ones.
    StyledText withBox(corpus()[0]);
    withBox.appendBox({{10, 10}, 0});
    EXPECT_TRUE(isWordShaped(TextLayout(withBox, ParagraphStyle{.width = 300})));
    withBox.appendBox({{10, 10}, 0}, {.tracking = 1});
    EXPECT_FALSE(isWordShaped(TextLayout(withBox, ParagraphStyle{.width = 300})));
    // A word wider than the line is cut between characters without Pango.
    const TextLayout cut(StyledText("Unbreakablewordfarwiderthantheline"),
                         ParagraphStyle{.width = 60});
    EXPECT_TRUE(isWordShaped(cut));
    EXPECT_TRUE(cutsWords(cut));
    EXPECT_GT(cut.lines().size(), 1u);
}

/// `letters` letters without a break opportunity between them.
std::string longWord(std::size_t letters) {
    std::string word;
    for (std::size_t i = 0; i < letters; ++i) {
        word += static_cast<char>('a' + (i * 7 + i / 5) % 26);
    }
    return word;
}

/// Every line within `width`, the lines one after another over the whole text.
void expectLinesWithin(const TextLayout& layout, double width) {
    ASSERT_FALSE(layout.lines().empty());
    std::size_t next = 0;
    for (const TextLayout::Line& line : layout.lines()) {
        ASSERT_EQ(line.characterRange.lowerBound, next);
        ASSERT_LE(line.typographicBounds.width, width);
        ASSERT_LE(line.typographicBounds.rect().maxX(), width);
        next = line.characterRange.upperBound;
    }
    EXPECT_EQ(next, layout.length());
}

TEST(WordShaping, WordsWiderThanTheLineAreCutToFillEachLine) {
    // The word starts a line of its own, each of its lines is full (the next letter would not
    // fit), and the words after it follow its last letters on their line.
    const std::string word = longWord(3000);
    const StyledText text("Before the word " + word + " and after.");
    const TextLayout layout(text, ParagraphStyle{.width = 360});
    ASSERT_TRUE(isWordShaped(layout));
    ASSERT_TRUE(cutsWords(layout));
    expectLinesWithin(layout, 360);
    const auto lines = layout.lines();
    EXPECT_EQ(layout.substring(lines[0].characterRange), "Before the word ");
    EXPECT_EQ(layout.substring(lines.back().characterRange).find(" and after."),
              lines.back().characterRange.length() - 11);
    for (std::size_t l = 1; l + 1 < lines.size(); ++l) {
        const auto& slices = lines[l + 1].runs.front().slices;
        EXPECT_GT(lines[l].typographicBounds.width + slices.front().typographicBounds.width, 360)
            << "line " << l;
    }
    // Where Pango manages, its lines break at the same letters.
    const StyledText shorter("Before the word " + word.substr(0, 200) + " and after.");
    expectSameLines(TextLayout(shorter, ParagraphStyle{.width = 120}),
                    layoutWithPango(shorter, ParagraphStyle{.width = 120}), "200 letters");

    // A word across runs of different fonts is cut like one word, each run keeping its font.
    StyledText runs;
    runs.append(word.substr(0, 400));
    runs.append(word.substr(400, 400), {.font = Font::title().bold()});
    runs.append(word.substr(800, 400), {.font = Font::body().monospaced()});
    const TextLayout mixed(runs, ParagraphStyle{.width = 150});
    ASSERT_TRUE(cutsWords(mixed));
    expectLinesWithin(mixed, 150);
    for (const TextLayout::Line& line : mixed.lines()) {
        for (const TextLayout::Run& run : line.runs) {
            EXPECT_EQ(run.fontSize, run.sourceRun == 1 ? Font::title().bold().resolve()->size
                                                       : Font::body().resolve()->size);
        }
    }

    // Letters wider than the line take a line each.
    const TextLayout narrow(StyledText("mmmm"), ParagraphStyle{.width = 2});
    ASSERT_EQ(narrow.lines().size(), 4u);
    EXPECT_EQ(narrow.lines()[3].characterRange, (CharacterRange{3, 4}));
}

TEST(WordShaping, KeptShapesStayWithinTheirBudgetOnEveryThread) {
    // Paragraphs of words no other repeats, far more than the cache holds: it fills up to its
    // budget and no further.
    const auto paragraph = [](std::size_t first) {
        std::string text;
        for (std::size_t i = first; i < first + 1000; ++i) {
            for (std::size_t n = i + 1; n > 0; n /= 26) {
                text += static_cast<char>('a' + n % 26);
            }
            text += ' ';
        }
        return StyledText(text);
    };
    const ParagraphStyle style{.width = 300};
    std::size_t most = 0;
    // The cache may hold a shape more than its budget, and shapes kept by the cases run before
    // this one may be far larger than a word's (a long segment's): the bound holds for these
    // words once the cache has dropped an older half twice, and with it every earlier shape.
    int dropped = 0;
    std::size_t before = text_internal::shapeCacheBytes();
    std::size_t checked = 0;
    std::size_t last = 0;
    for (std::size_t first = 0; first < 400000 && checked < 40; first += 1000) {
        ASSERT_TRUE(isWordShaped(TextLayout(paragraph(first), style)));
        const std::size_t now = text_internal::shapeCacheBytes();
        dropped += now < before ? 1 : 0;
        before = now;
        last = first;
        if (dropped >= 2) {
            most = std::max(most, now);
            ASSERT_LE(now, text_internal::shapeCacheBudget() + 4096);
            ++checked;
        }
    }
    ASSERT_EQ(checked, 40u);
    EXPECT_GT(most, text_internal::shapeCacheBudget() / 2);
    // The words shaped last are kept: laying them out again shapes nothing.
    const std::size_t kept = text_internal::shapeCacheBytes();
    const TextLayout again(paragraph(last), style);
    EXPECT_EQ(text_internal::shapeCacheBytes(), kept);

    // Threads laying out at once, through the one shaper, agree with this one.
    std::vector<TextLayout> here;
    for (const std::string& p : corpus()) {
        here.emplace_back(StyledText(p), ParagraphStyle{.width = 180});
    }
    std::vector<std::vector<TextLayout>> there(4);
    std::vector<std::thread> threads;
    for (auto& layouts : there) {
        threads.emplace_back([&layouts] {
            for (int round = 0; round < 3; ++round) {
                layouts.clear();
                for (const std::string& p : corpus()) {
                    layouts.emplace_back(StyledText(p), ParagraphStyle{.width = 180});
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& layouts : there) {
        ASSERT_EQ(layouts.size(), here.size());
        for (std::size_t i = 0; i < here.size(); ++i) {
            expectSameLayout(layouts[i], here[i], corpus()[i]);
        }
    }
}

TEST(WordShaping, WordsShapedOnOneThreadAreNotShapedAgainOnAnother) {
    // A document's paragraphs are laid out on whichever thread runs their task: the words one
    // thread shaped serve the next, in every font, and lay out the same.
    std::string words;
    for (std::size_t i = 0; i < 400; ++i) {
        words += "zq";
        for (std::size_t n = i + 7; n > 0; n /= 26) {
            words += static_cast<char>('a' + n % 26);
        }
        words += i % 9 == 0 ? "; " : " ";
    }
    StyledText text(words);
    text.append(words, {.font = Font::body().bold()});
    text.append(words, {.font = Font::custom("DejaVu Sans Mono", 13)});
    const ParagraphStyle style{.width = 330};
    std::optional<TextLayout> first;
    std::thread([&] { first.emplace(text, style); }).join();
    ASSERT_TRUE(first && isWordShaped(*first));
    const std::size_t kept = text_internal::shapeCacheBytes();
    for (int thread = 0; thread < 2; ++thread) {
        std::optional<TextLayout> again;
        std::size_t keptThere = 0;
        std::thread([&] {
            again.emplace(text, style);
            keptThere = text_internal::shapeCacheBytes();
        }).join();
        EXPECT_EQ(keptThere, kept) << "thread " << thread;
        expectSameLayout(*again, *first, "thread " + std::to_string(thread));
    }
    const TextLayout here(text, style);
    EXPECT_EQ(text_internal::shapeCacheBytes(), kept);
    expectSameLayout(here, layoutWithPango(text, style), "here");
}

TEST(WordShaping, WordsThatMayNotBreakStandAloneOnTheirLines) {
    // At no width at all, each line holds the words that fit beside the longest one, none cut:
    // the layout is as wide as the longest word, by either path.
    const std::vector<std::string> words = {"Distance", "(km)",     "at",      "the",     "Ascent",
                                            "of",       "Stepping", "stones,", "slippery"};
    std::string joined;
    double longest = 0;
    for (const std::string& word : words) {
        joined += (joined.empty() ? "" : " ") + word;
        longest = std::max(longest, TextLayout(StyledText(word)).size().width);
    }
    const StyledText text(joined);
    const ParagraphStyle narrowest{.width = 0, .breaksWords = false};
    for (const TextLayout& layout :
         {TextLayout(text, narrowest), layoutWithPango(text, narrowest)}) {
        EXPECT_NEAR(layout.size().width, longest, kPosition);
        // Every line starts after a space.
        for (const TextLayout::Line& line : layout.lines().subspan(1)) {
            const std::size_t start = line.characterRange.lowerBound;
            EXPECT_EQ(layout.substring({start - 1, start}), " ") << start;
        }
    }
    EXPECT_TRUE(isWordShaped(TextLayout(text, narrowest)));
    expectSameLayout(TextLayout(text, narrowest), layoutWithPango(text, narrowest), "narrowest");
    // A word wider than a wider line overflows it alone; the words around keep their lines.
    const StyledText wide("a " + longWord(60) + " b");
    const TextLayout overflowing(wide, ParagraphStyle{.width = 100, .breaksWords = false});
    ASSERT_EQ(overflowing.lines().size(), 3u);
    EXPECT_GT(overflowing.lines()[1].typographicBounds.width, 100);
    EXPECT_FALSE(cutsWords(overflowing));
}

TEST(WordShaping, SpacesBeforeALineFeedTakeRoomOnTheirLine) {
    // Unlike the spaces a line wraps after, those that end a paragraph do not hang past the
    // line's end: where they would, the word before them moves on, or is cut before them.
    const char* const paragraphs[] = {"b wor \nand more", "worda \nafter", "worda  \nafter",
                                      "aa bb  \nc", "ends in spaces  "};
    for (const char* paragraph : paragraphs) {
        const StyledText text(paragraph);
        for (int width = 20; width <= 60; ++width) {
            for (const bool breaksWords : {true, false}) {
                const ParagraphStyle style{.width = width, .breaksWords = breaksWords};
                const TextLayout fast(text, style);
                ASSERT_TRUE(isWordShaped(fast));
                expectSameLines(fast, layoutWithPango(text, style),
                                std::string(paragraph) + " at " + std::to_string(width) +
                                    (breaksWords ? " cutting" : ""));
            }
        }
    }
}

TEST(WordShaping, AWordOfHundredsOfThousandsOfLettersStaysWrapped) {
    // Wider than 32-bit layout units reach: it still fits its lines.
    const TextLayout layout(StyledText(longWord(400000)), ParagraphStyle{.width = 360});
    ASSERT_TRUE(isWordShaped(layout));
    expectLinesWithin(layout, 360);
    EXPECT_GT(layout.lines().size(), 5000u);
}

TEST(WordShaping, ParagraphsTallerOrWiderThan32BitUnitsComeOutWhole) {
    // Pango units in 32 bits hold about 2.1 million points: 20,000 lines of 150-point type are
    // taller, a line of 15,000 such words wider. Both ways lay them out alike, with every line
    // where the lines above it put it, and the end of the long line draws where it ends.
    std::string words;
    for (int i = 0; i < 20000; ++i) {
        words += "ab ";
    }
    const Font large = Font::system(150);
    const ParagraphStyle narrow{.font = large, .width = 1, .breaksWords = false};
    const TextLayout tall(StyledText(words), narrow);
    const TextLayout tallByPango = layoutWithPango(StyledText(words), narrow);
    ASSERT_TRUE(isWordShaped(tall));
    ASSERT_EQ(tall.lines().size(), 20000u);
    ASSERT_EQ(tallByPango.lines().size(), tall.lines().size());
    EXPECT_EQ(tall.size(), tallByPango.size());
    const double lineHeight = tall.lines()[0].typographicBounds.rect().height();
    for (std::size_t l = 0; l < tall.lines().size(); l += 97) {
        EXPECT_EQ(tall.lines()[l].typographicBounds, tallByPango.lines()[l].typographicBounds);
        EXPECT_NEAR(tall.lines()[l].typographicBounds.rect().minY(), double(l) * lineHeight, 1e-3);
    }
    const double bottom = tall.lines().back().typographicBounds.rect().maxY();
    EXPECT_EQ(tall.size().height, bottom);
    EXPECT_GT(bottom, 2.2e6);

    std::string line;
    for (int i = 0; i < 15000; ++i) {
        line += "ab ";
    }
    const ParagraphStyle unbounded{.font = large};
    const TextLayout wide(StyledText(line), unbounded);
    const TextLayout wideByPango = layoutWithPango(StyledText(line), unbounded);
    ASSERT_TRUE(isWordShaped(wide));
    ASSERT_EQ(wide.lines().size(), 1u);
    ASSERT_EQ(wideByPango.lines().size(), 1u);
    EXPECT_EQ(wide.lines()[0].typographicBounds, wideByPango.lines()[0].typographicBounds);
    EXPECT_EQ(wide.size(), wideByPango.size());
    const TextLayout word(StyledText("ab "), unbounded);
    EXPECT_DOUBLE_EQ(wide.size().width, 15000 * word.size().width);
    EXPECT_GT(wide.size().width, 2.2e6);
    const TextLayout::Run& last = wideByPango.lines()[0].runs.back();
    EXPECT_EQ(last.typographicBounds.origin.x + last.typographicBounds.width, wide.size().width);

    for (const TextLayout* layout : {&wide, &wideByPango}) {
        ImageSurface surface = ImageSurface::ofSize({400, 200});
        {
            GraphicsContext context(surface);
            context.fill(Rect(0, 0, 400, 200), Color::gray(1));
            layout->draw(context, {400 - layout->size().width, 0});
        }
        const Image image = surface.makeImage();
        const auto inked = std::count_if(image.pixels().begin(), image.pixels().end(),
                                         [](std::uint32_t p) { return p != 0xFFFFFFFF; });
        EXPECT_GT(inked, 500);
    }
}

} // namespace
} // namespace platform

// Paragraphs with inline boxes (formulas set in the text) laid out from cached word shapes must
// come out as Pango lays them out: the same lines, extents, runs and glyph advances.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayoutInternal.hpp"
#include "tests/platform/text/SamePixels.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace platform {
namespace {

using text_internal::isWordShaped;
using text_internal::layoutWithPango;

void expectAsPango(const StyledText& text, const ParagraphStyle& style,
                   std::optional<bool> wordShaped, const std::string& what) {
    SCOPED_TRACE(what);
    const TextLayout fast(text, style);
    const TextLayout pango = layoutWithPango(text, style);
    if (wordShaped) {
        EXPECT_EQ(isWordShaped(fast), *wordShaped);
    }
    ASSERT_EQ(fast.lines().size(), pango.lines().size());
    EXPECT_EQ(fast.size(), pango.size());
    for (std::size_t l = 0; l < fast.lines().size(); ++l) {
        SCOPED_TRACE("line " + std::to_string(l));
        const TextLayout::Line& a = fast.lines()[l];
        const TextLayout::Line& b = pango.lines()[l];
        EXPECT_EQ(a.characterRange, b.characterRange);
        EXPECT_EQ(a.typographicBounds, b.typographicBounds);
        ASSERT_EQ(a.runs.size(), b.runs.size());
        for (std::size_t r = 0; r < a.runs.size(); ++r) {
            SCOPED_TRACE("run " + std::to_string(r));
            EXPECT_EQ(a.runs[r].isInlineBox, b.runs[r].isInlineBox);
            EXPECT_EQ(a.runs[r].sourceRun, b.runs[r].sourceRun);
            EXPECT_EQ(a.runs[r].characterRange, b.runs[r].characterRange);
            EXPECT_EQ(a.runs[r].fontFamily, b.runs[r].fontFamily);
            EXPECT_NEAR(a.runs[r].typographicBounds.origin.x, b.runs[r].typographicBounds.origin.x,
                        1e-9);
            EXPECT_EQ(a.runs[r].typographicBounds.origin.y, b.runs[r].typographicBounds.origin.y);
            EXPECT_EQ(a.runs[r].typographicBounds.ascent, b.runs[r].typographicBounds.ascent);
            EXPECT_EQ(a.runs[r].typographicBounds.descent, b.runs[r].typographicBounds.descent);
            const std::vector<TextLayout::RunSlice> fs(a.runs[r].slices.begin(),
                                                       a.runs[r].slices.end());
            const std::vector<TextLayout::RunSlice> ps(b.runs[r].slices.begin(),
                                                       b.runs[r].slices.end());
            ASSERT_EQ(fs.size(), ps.size());
            for (std::size_t s = 0; s < fs.size(); ++s) {
                EXPECT_EQ(fs[s].glyph, ps[s].glyph);
                EXPECT_EQ(fs[s].characterRange, ps[s].characterRange);
                EXPECT_NEAR(fs[s].typographicBounds.width, ps[s].typographicBounds.width, 1e-9);
            }
        }
    }
    for (std::size_t i = 0; i <= fast.length(); ++i) {
        EXPECT_EQ(fast.caretRect(i), pango.caretRect(i)) << "caret " << i;
    }
}

TEST(InlineBoxLayout, BoxesAmongWordsLayOutAsPangoLaysThemOut) {
    // Boxes taller and lower than the text, raised and sunk, wider than a line, alone, at either
    // end, side by side and between a word and its punctuation, at widths that wrap around them.
    const std::vector<InlineBox> boxes = {
        {{30, 12}, 0}, {{8.25, 30.5}, -7.75}, {{120, 4}, 3}, {{0, 0}, 0}, {{400, 20}, -2}};
    const auto paragraph = [&](int shape, const InlineBox& box) {
        StyledText text;
        const TextAttributes bold{.font = Font::body().bold()};
        switch (shape) {
        case 0:
            text.appendBox(box);
            break;
        case 1:
            text.append("The chapter's formula, ")
                .appendBox(box)
                .append(", is set inline; its "
                        "display form follows.");
            break;
        case 2:
            text.append("Sum ").appendBox(box).appendBox(box).append(" and ", bold).appendBox(box);
            break;
        default:
            text.appendBox(box).append(" starts\nand (").appendBox(box).append(") ends\n");
            break;
        }
        return text;
    };
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        for (int shape = 0; shape < 4; ++shape) {
            for (const double width : {60.0, 150.0, 800.0}) {
                for (const bool breaksWords : {true, false}) {
                    ParagraphStyle style{.width = width, .breaksWords = breaksWords};
                    style.alignment = shape == 2 ? TextAlignment::center : TextAlignment::leading;
                    // Pango lays out an empty box, and one cut across lines, its own way.
                    const double boxWidth = boxes[b].size.width;
                    expectAsPango(
                        paragraph(shape, boxes[b]), style, (boxWidth <= width || !breaksWords),
                        "box " + std::to_string(b) + " shape " + std::to_string(shape) + " width " +
                            std::to_string(width) + (breaksWords ? " cutting" : ""));
                }
            }
        }
    }
    // Boxes of different sizes and raises side by side, each set as its own.
    StyledText sizes;
    for (const InlineBox& box : boxes) {
        if (box.size.width > 0) {
            sizes.append(" x ").appendBox(box).appendBox(box);
        }
    }
    expectAsPango(sizes, {.width = 800}, true, "boxes of every size");
    // A box's font counts only for its leading, which Pango sets as a line height: a paragraph
    // with such a box is Pango's, wherever the box comes among boxes of other fonts.
    const TextAttributes loose{.font = Font::body().leading(Font::Leading::loose)};
    for (const bool looseFirst : {true, false}) {
        StyledText mixed;
        mixed.append("a ")
            .appendBox(boxes[0], looseFirst ? loose : TextAttributes{})
            .append(" b ")
            .appendBox(boxes[0], looseFirst ? TextAttributes{} : loose)
            .append(" c");
        expectAsPango(mixed, {.width = 150}, false, looseFirst ? "loose box first" : "loose last");
    }
}

TEST(InlineBoxLayout, EmptyBoxesAmongWordsLayOutAsPangoLaysThemOut) {
    // Empty boxes (formulas that did not parse) wherever a paragraph may hold them: between words
    // and spaces, against punctuation, in rows, at the ends of full and overfull lines and of
    // paragraphs; some with a height or a raise, which give a line its extent without a width.
    const std::vector<InlineBox> empty = {{{0, 0}, 0}, {{0, 14}, 0}, {{0, 6}, -9}};
    const std::vector<std::string> pieces = {"a", "word", "formulas", "Averyveryverylongword",
                                             " ", "  ",   "(",        ")",
                                             ",", ".",    "\n",       "x-y"};
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    int wordShaped = 0;
    int cases = 0;
    for (int paragraph = 0; paragraph < 80; ++paragraph) {
        StyledText text;
        const std::uint32_t tokens = 1 + next(14);
        // The words between two boxes are one run, as a paragraph's text of one style is.
        std::string words;
        for (std::uint32_t t = 0; t < tokens; ++t) {
            if (next(3) == 0) {
                if (!words.empty()) {
                    text.append(words);
                    words.clear();
                }
                text.appendBox(empty[next(std::uint32_t(empty.size()))]);
            } else {
                words += pieces[next(std::uint32_t(pieces.size()))];
            }
        }
        if (!words.empty()) {
            text.append(words);
        }
        for (const double width : {12.0, 18.0, 45.0, 90.0, 1000.0}) {
            for (const bool breaksWords : {true, false}) {
                for (const TextAlignment alignment :
                     {TextAlignment::leading, TextAlignment::trailing}) {
                    const ParagraphStyle style{
                        .alignment = alignment, .width = width, .breaksWords = breaksWords};
                    const std::string what = "paragraph " + std::to_string(paragraph) + " width " +
                                             std::to_string(width) +
                                             (breaksWords ? " cutting" : "");
                    expectAsPango(text, style, std::nullopt, what);
                    wordShaped += isWordShaped(TextLayout(text, style)) ? 1 : 0;
                    ++cases;
                }
            }
        }
    }
    EXPECT_GT(wordShaped, cases / 2);
}

TEST(InlineBoxLayout, EmptyBoxesDrawHitTestAndSelectAsPangoLaysThemOut) {
    // Formulas that failed to parse, each an empty box, among decorated words over several lines.
    StyledText text;
    text.append("Sums ", {.backgroundColor = Color(0.8, 0.8, 0.8)});
    for (int k = 0; k < 24; ++k) {
        text.appendBox({{0, k % 3 == 0 ? 14.0 : 0.0}, k % 3 == 1 ? -4.0 : 0.0});
        text.append(k % 5 == 0 ? " and " : " ", {.underline = TextLineStyle{}});
    }
    text.append("end.");
    const ParagraphStyle style{.width = 120};
    expectAsPango(text, style, true, "decorated");
    const TextLayout fast(text, style);
    const TextLayout pango = layoutWithPango(text, style);
    ASSERT_GT(fast.lines().size(), 1u);
    for (double y = -2; y < fast.size().height + 2; y += 3) {
        for (double x = -2; x < 124; x += 1.5) {
            EXPECT_EQ(fast.slice({x, y}), pango.slice({x, y})) << x << ", " << y;
        }
    }
    for (std::size_t i = 0; i <= fast.length(); ++i) {
        EXPECT_EQ(fast.wordRange(i), pango.wordRange(i)) << i;
        EXPECT_EQ(fast.nextWordBoundary(i, true), pango.nextWordBoundary(i, true)) << i;
        EXPECT_EQ(fast.nextWordBoundary(i, false), pango.nextWordBoundary(i, false)) << i;
    }
    const auto drawn = [](const TextLayout& layout) {
        ImageSurface surface = ImageSurface::ofSize({140, 160}, 2);
        GraphicsContext context(surface);
        context.fill(Rect(0, 0, 140, 160), Color::white());
        layout.draw(context, {6, 4}, Color::black());
        return surface.makeImage();
    };
    const Image a = drawn(fast);
    const Image b = drawn(pango);
    moss_test::expectSamePixelsWithInk(a, b, 1000);
}

TEST(InlineBoxLayout, ALongLineOfEmptyBoxesIsSetFromWordShapes) {
    // Thousands of formulas that failed to parse, one line of them (Pango lets empty boxes and
    // the spaces after them overhang the line without end): each box a run of one empty glyph
    // where its character is, a caret stop before and after it.
    constexpr std::size_t boxes = 5000;
    StyledText text;
    for (std::size_t k = 0; k < boxes; ++k) {
        text.appendBox({}).append(" ");
    }
    const TextLayout layout(text, ParagraphStyle{.width = 300});
    ASSERT_TRUE(isWordShaped(layout));
    ASSERT_EQ(layout.lines().size(), 1u);
    const TextLayout::Line& line = layout.lines()[0];
    EXPECT_EQ(line.characterRange, (CharacterRange{0, 2 * boxes}));
    std::size_t seen = 0;
    for (const TextLayout::Run& run : line.runs) {
        if (!run.isInlineBox) {
            continue;
        }
        const std::size_t at = 2 * seen;
        ASSERT_EQ(run.characterRange, (CharacterRange{at, at + 1}));
        ASSERT_EQ(run.slices.size(), 1u);
        EXPECT_EQ(run.slices[0].characterRange, run.characterRange);
        EXPECT_EQ(run.typographicBounds.width, 0);
        if (seen % 97 == 0) {
            EXPECT_EQ(layout.caretRect(at).minX(), run.typographicBounds.origin.x);
            EXPECT_EQ(layout.caretRect(at + 1).minX(), run.typographicBounds.origin.x);
        }
        ++seen;
    }
    EXPECT_EQ(seen, boxes);
    // Each space after a box moves the next box on by its advance.
    EXPECT_GT(layout.caretRect(2 * boxes - 2).minX(), layout.caretRect(2).minX());
}

TEST(InlineBoxLayout, ManyBoxesAmongRightToLeftWordsLayOutAsPangoLaysThemOutWhole) {
    // Thousands of formulas among Hebrew and Latin words, which Pango lays out (in pieces of
    // a few lines, so many boxes being slow for it): a right-to-left paragraph, then after a
    // line feed a left-to-right one, each aligned to its leading or trailing side as its
    // direction makes it, at widths that wrap them over many lines, with space between them.
    const std::vector<InlineBox> boxes = {{{8, 10}, -2}, {{0, 0}, 0}, {{21.5, 14}, -4}};
    const std::vector<std::string> words = {"\u05E9\u05DC\u05D5\u05DD",  "and",   "(x)", "12",
                                            "\u05E2\u05D5\u05DC\u05DD,", "\u2014"};
    StyledText text;
    text.append("\u05E9\u05DC\u05D5\u05DD ");
    for (std::size_t k = 0; k < 6000; ++k) {
        text.appendBox(boxes[k % boxes.size()]);
        text.append(k == 3500    ? "\nLatin "
                    : k % 7 == 3 ? " " + words[k % words.size()] + " "
                                 : " ");
    }
    for (const auto& [width, alignment] :
         {std::pair{250.0, TextAlignment::leading}, std::pair{400.0, TextAlignment::trailing}}) {
        const ParagraphStyle style{.alignment = alignment, .lineSpacing = 2, .width = width};
        ASSERT_GT(TextLayout(text, style).lines().size(), 50u);
        expectAsPango(text, style, false,
                      "width " + std::to_string(width) + " alignment " +
                          std::to_string(int(alignment)));
    }
}

} // namespace
} // namespace platform

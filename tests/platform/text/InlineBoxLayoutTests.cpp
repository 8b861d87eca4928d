// Paragraphs with inline boxes (formulas set in the text) laid out from cached word shapes must
// come out as Pango lays them out: the same lines, extents, runs and glyph advances.

#include "platform/text/TextLayoutInternal.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace platform {
namespace {

using text_internal::isWordShaped;
using text_internal::layoutWithPango;

void expectAsPango(const StyledText& text, const ParagraphStyle& style, bool wordShaped,
                   const std::string& what) {
    SCOPED_TRACE(what);
    const TextLayout fast(text, style);
    const TextLayout pango = layoutWithPango(text, style);
    EXPECT_EQ(isWordShaped(fast), wordShaped);
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
                    expectAsPango(paragraph(shape, boxes[b]), style,
                                  boxWidth > 0 && (boxWidth <= width || !breaksWords),
                                  "box " + std::to_string(b) + " shape " + std::to_string(shape) +
                                      " width " + std::to_string(width) +
                                      (breaksWords ? " cutting" : ""));
                }
            }
        }
    }
}

} // namespace
} // namespace platform

#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"
#include "tests/Vellum/selection/TextLayoutTestSupport.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

using namespace vellum;
using vellum::test::fragment;
using vellum::test::kAdvance;
using vellum::test::LaidOutTexts;
using Affinity = TextPosition::Affinity;
using platform::Rect;

namespace {

TextPosition down(IndexPath p) {
    return {p, Affinity::downstream};
}
TextPosition up(IndexPath p) {
    return {p, Affinity::upstream};
}

// A line's box in collection space.
Rect lineRect(const TextLayoutCollection& c, std::size_t layout, std::size_t line) {
    const auto o = c.layout(layout).origin();
    return c.layout(layout).line(line).typographicBounds().offsetBy(o.x, o.y);
}

void expectRect(const TextSelectionRect& r, double x, double y, double width, double height) {
    EXPECT_NEAR(r.rect.minX(), x, 0.01) << r.description();
    EXPECT_NEAR(r.rect.minY(), y, 0.01) << r.description();
    EXPECT_NEAR(r.rect.width(), width, 0.01) << r.description();
    EXPECT_NEAR(r.rect.height(), height, 0.01) << r.description();
}

} // namespace

TEST(TextSelectionRect, PrintsItsRectAndDirectionAndComparesAllFields) {
    const TextSelectionRect ltr{{0, 2, 40.5, 17}, LayoutDirection::leftToRight, false, false};
    const TextSelectionRect rtl{{0, 2, 40.5, 17}, LayoutDirection::rightToLeft, true, false};
    EXPECT_EQ(ltr.description(), "((0.0, 2.0, 40.5, 17.0), LTR)");
    EXPECT_EQ(rtl.description(), "((0.0, 2.0, 40.5, 17.0), RTL)");
    EXPECT_NE(ltr, rtl);
    auto flagged = ltr;
    flagged.containsEnd = true;
    EXPECT_NE(ltr, flagged);
    // A rectangle of negative width is the same area as its standardized form; negative zero is
    // zero.
    const TextSelectionRect flipped{
        {40.5, 2, -40.5, 17}, LayoutDirection::leftToRight, false, false};
    EXPECT_EQ(flipped, ltr);
    EXPECT_EQ(std::hash<TextSelectionRect>()(flipped), std::hash<TextSelectionRect>()(ltr));
    const TextSelectionRect negativeZero{
        {-0.0, 2, 40.5, 17}, LayoutDirection::leftToRight, false, false};
    EXPECT_EQ(std::hash<TextSelectionRect>()(negativeZero), std::hash<TextSelectionRect>()(ltr));
    EXPECT_EQ((std::unordered_set<TextSelectionRect>{ltr, rtl, flipped}.size()), 2u);
}

TEST(SelectionRects, AnEmptyRangeDrawsNothing) {
    const LaidOutTexts texts({fragment("abcdef")});
    const auto& c = texts.collection();
    EXPECT_TRUE(buildSelectionRects(c, {down({0, 0, 0, 2}), down({0, 0, 0, 2})}).empty());
    // The same caret place spelt two ways: after slice 1 and before slice 2.
    EXPECT_TRUE(buildSelectionRects(c, {up({0, 0, 0, 1}), down({0, 0, 0, 2})}).empty());
    EXPECT_TRUE(
        buildSelectionRects(EmptyTextLayoutCollection(), {down({0, 0, 0, 0}), up({0, 0, 0, 0})})
            .empty());
    // Ends that name no slice.
    EXPECT_TRUE(buildSelectionRects(c, {down({0, 0, 0, 2}), up({0, 0, 0, 40})}).empty());
}

TEST(SelectionRects, ARangeInOneLineRunsFromCaretToCaret) {
    const LaidOutTexts texts({fragment("abcdef")});
    const auto& c = texts.collection();
    const Rect line = lineRect(c, 0, 0);
    const auto rects = buildSelectionRects(c, {down({0, 0, 0, 1}), up({0, 0, 0, 3})});
    ASSERT_EQ(rects.size(), 1u);
    expectRect(rects[0], line.minX() + kAdvance, line.minY(), 3 * kAdvance, line.height());
    EXPECT_TRUE(rects[0].containsStart);
    EXPECT_TRUE(rects[0].containsEnd);
    // The same stretch spelt from the other sides of its ends.
    EXPECT_EQ(buildSelectionRects(c, {up({0, 0, 0, 0}), down({0, 0, 0, 4})}), rects);
}

TEST(SelectionRects, LinesOfOneTextTouch) {
    const LaidOutTexts texts({fragment("abc\ndef\nghi").lineSpacing(6)});
    const auto& c = texts.collection();
    const Rect l0 = lineRect(c, 0, 0);
    const Rect l1 = lineRect(c, 0, 1);
    const Rect l2 = lineRect(c, 0, 2);
    ASSERT_GT(l1.minY(), l0.maxY());
    const auto rects = buildSelectionRects(c, {down({0, 0, 0, 1}), up({0, 2, 0, 1})});
    ASSERT_EQ(rects.size(), 3u);
    // Selected whole, the text's lines touch just the same.
    const auto whole = buildSelectionRects(c, {down({0, 0, 0, 0}), up({0, 2, 0, 2})});
    ASSERT_EQ(whole.size(), 3u);
    expectRect(whole[0], l0.minX(), l0.minY(), 3 * kAdvance, l0.height());
    expectRect(whole[1], l1.minX(), l0.maxY(), 3 * kAdvance, l1.maxY() - l0.maxY());
    expectRect(whole[2], l2.minX(), l1.maxY(), 3 * kAdvance, l2.maxY() - l1.maxY());
    expectRect(rects[0], l0.minX() + kAdvance, l0.minY(), 2 * kAdvance, l0.height());
    // The second and third reach up to the line above.
    expectRect(rects[1], l1.minX(), l0.maxY(), 3 * kAdvance, l1.maxY() - l0.maxY());
    expectRect(rects[2], l2.minX(), l1.maxY(), 2 * kAdvance, l2.maxY() - l1.maxY());
    EXPECT_TRUE(rects[0].containsStart);
    EXPECT_FALSE(rects[0].containsEnd || rects[1].containsStart || rects[1].containsEnd);
    EXPECT_TRUE(rects[2].containsEnd);
}

TEST(SelectionRects, AStartAfterALinesLastSliceBeginsOnTheNextLine) {
    const LaidOutTexts texts({fragment("abc\ndef")});
    const auto& c = texts.collection();
    const Rect l1 = lineRect(c, 0, 1);
    const auto rects = buildSelectionRects(c, {up({0, 0, 0, 2}), up({0, 1, 0, 1})});
    ASSERT_EQ(rects.size(), 1u);
    expectRect(rects[0], l1.minX(), l1.minY(), 2 * kAdvance, l1.height());
}

TEST(SelectionRects, DirectionsSplitALineIntoStretches) {
    // "ab " then Hebrew then " cd": left-to-right, right-to-left, left-to-right.
    const LaidOutTexts texts({fragment("ab \u05e9\u05dc\u05d5\u05dd cd")});
    const auto& c = texts.collection();
    SCOPED_TRACE(texts.dump());
    const TextLine& line = c.layout(0).line(0);
    // The space after the Hebrew word may take a run of its own; runs of one direction merge.
    ASSERT_GE(line.runCount(), 3u);
    ASSERT_EQ(line.run(1).layoutDirection(), LayoutDirection::rightToLeft);
    const auto o = c.layout(0).origin();
    const auto last = lastSlicePath(c, 0);
    ASSERT_TRUE(last);
    const auto rects = buildSelectionRects(c, {down({0, 0, 0, 1}), up(*last)});
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].layoutDirection, LayoutDirection::leftToRight);
    EXPECT_EQ(rects[1].layoutDirection, LayoutDirection::rightToLeft);
    EXPECT_EQ(rects[2].layoutDirection, LayoutDirection::leftToRight);
    const Rect hebrew = line.run(1).typographicBounds().offsetBy(o.x, o.y);
    EXPECT_NEAR(rects[0].rect.minX(), o.x + kAdvance, 0.01);
    EXPECT_NEAR(rects[0].rect.maxX(), hebrew.minX(), 0.01);
    EXPECT_NEAR(rects[1].rect.minX(), hebrew.minX(), 0.01);
    EXPECT_NEAR(rects[1].rect.maxX(), hebrew.maxX(), 0.01);
    EXPECT_NEAR(rects[2].rect.maxX(), o.x + line.typographicBounds().maxX(), 0.01);
    // The whole text selected: the same stretches, the first one from the line's start.
    const auto whole = buildSelectionRects(c, {down({0, 0, 0, 0}), up(*last)});
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_NEAR(whole[0].rect.minX(), o.x, 0.01);
    EXPECT_EQ(whole[1].rect, rects[1].rect);
    EXPECT_EQ(whole[2].rect, rects[2].rect);
    EXPECT_EQ(whole[1].layoutDirection, LayoutDirection::rightToLeft);

    // A range that ends inside the Hebrew word, after its second letter (the end's caret on the
    // left edge of that letter's glyph): the word's first two letters are selected, and they
    // stand at its right end.
    const TextRun& rtl = line.run(1);
    ASSERT_EQ(rtl.sliceCount(), 4u);
    const Rect endSlice = rtl.slice(2).typographicBounds().offsetBy(o.x, o.y);
    const auto cut = buildSelectionRects(c, {down({0, 0, 0, 1}), up({0, 0, 1, 2})});
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[1].layoutDirection, LayoutDirection::rightToLeft);
    EXPECT_NEAR(cut[1].rect.minX(), endSlice.minX(), 0.01);
    EXPECT_NEAR(cut[1].rect.maxX(), hebrew.maxX(), 0.01);
    EXPECT_NEAR(cut[0].rect.maxX(), hebrew.minX(), 0.01);
}

TEST(SelectionRects, SeveralTextsFlagTheWholeRangeOrEachPiece) {
    const LaidOutTexts texts({fragment("abc"), fragment("def"), fragment("ghi")});
    const auto& c = texts.collection();
    const TextRange range{down({0, 0, 0, 1}), up({2, 0, 0, 0})};
    const auto all = buildSelectionRects(c, range);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(all[0].containsStart && !all[0].containsEnd);
    EXPECT_TRUE(!all[1].containsStart && !all[1].containsEnd);
    EXPECT_TRUE(!all[2].containsStart && all[2].containsEnd);
    // Between texts the gap stays: only lines of one text are stretched.
    EXPECT_NEAR(all[1].rect.minY(), lineRect(c, 1, 0).minY(), 1e-9);

    const auto middle = selectionRectsInLayout(c, range, texts.anchored()[1].layout);
    ASSERT_EQ(middle.size(), 1u);
    EXPECT_TRUE(middle[0].containsStart && middle[0].containsEnd);
    // In the text's own space.
    expectRect(middle[0], 0, c.layout(1).line(0).typographicBounds().minY(), 3 * kAdvance,
               c.layout(1).line(0).typographicBounds().height());
    const auto first = selectionRectsInLayout(c, range, texts.anchored()[0].layout);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NEAR(first[0].rect.minX(), kAdvance, 0.01);
    EXPECT_NEAR(first[0].rect.width(), 2 * kAdvance, 0.01);
    // A range that does not touch a text draws nothing there.
    EXPECT_TRUE(selectionRectsInLayout(c, {down({0, 0, 0, 0}), up({0, 0, 0, 2})},
                                       texts.anchored()[2].layout)
                    .empty());
    EXPECT_TRUE(selectionRectsInLayout(c, {down({1, 0, 0, 0}), up({1, 0, 0, 2})},
                                       texts.anchored()[0].layout)
                    .empty());
    // A text outside the collection.
    const LaidOutTexts other({fragment("abc")});
    EXPECT_TRUE(selectionRectsInLayout(c, range, other.anchored()[0].layout).empty());
}

TEST(SelectionRects, AnAttachmentSelectsLikeACharacterOfItsWidth) {
    const auto box = platform::ui::Text::box({30, 40}).customAttribute(TextFragmentAttribute{});
    const LaidOutTexts texts({fragment("ab") + box + fragment("cd")});
    const auto& c = texts.collection();
    SCOPED_TRACE(texts.dump());
    const TextLine& line = c.layout(0).line(0);
    ASSERT_EQ(line.runCount(), 3u);
    ASSERT_EQ(line.run(1).sliceCount(), 1u);
    EXPECT_EQ(line.run(1).slice(0).characterRange(), (CharacterRange{2, 3}));
    EXPECT_NEAR(line.run(1).slice(0).typographicBounds().width(), 30, 0.01);
    const Rect l0 = lineRect(c, 0, 0);
    // The box is taller than the letters: the line, and so the highlight, grows to hold it.
    EXPECT_GE(l0.height(), 40);
    const auto rects = buildSelectionRects(c, {down({0, 0, 0, 1}), up({0, 0, 2, 0})});
    ASSERT_EQ(rects.size(), 1u);
    expectRect(rects[0], l0.minX() + kAdvance, l0.minY(), 2 * kAdvance + 30, l0.height());
    // Only the box.
    const auto only = buildSelectionRects(c, {down({0, 0, 1, 0}), up({0, 0, 1, 0})});
    ASSERT_EQ(only.size(), 1u);
    expectRect(only[0], l0.minX() + 2 * kAdvance, l0.minY(), 30, l0.height());
}

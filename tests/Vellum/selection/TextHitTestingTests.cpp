#include "Vellum/selection/TextHitTesting.hpp"
#include "tests/Vellum/selection/TextLayoutTestSupport.hpp"

#include <gtest/gtest.h>

using namespace vellum;
using vellum::test::fragment;
using vellum::test::kAdvance;
using vellum::test::LaidOutTexts;
using Affinity = TextPosition::Affinity;
using platform::Point;
using platform::Rect;

namespace {

TextPosition down(IndexPath p) {
    return {p, Affinity::downstream};
}
TextPosition up(IndexPath p) {
    return {p, Affinity::upstream};
}

// The middle of line `line` of layout `layout`, in collection space, at local x.
Point at(const TextLayoutCollection& c, std::size_t layout, std::size_t line, double x) {
    const auto& l = c.layout(layout);
    return {l.origin().x + x, l.origin().y + l.line(line).typographicBounds().midY()};
}

} // namespace

TEST(HitTesting, AnEmptyCollectionHasNoPositionsButAStartAndEnd) {
    const EmptyTextLayoutCollection empty;
    EXPECT_EQ(closestPosition(empty, {3, 3}), std::nullopt);
    EXPECT_EQ(startPosition(empty), up({0, 0, 0, 0}));
    EXPECT_EQ(endPosition(empty), up({0, 0, 0, 0}));
    EXPECT_EQ(characterCount(empty), 0u);
    EXPECT_EQ(positionFromOffset(empty, startPosition(empty), 1), std::nullopt);
    EXPECT_TRUE(caretRect(empty, startPosition(empty)).isNull());
}

TEST(HitTesting, PointsMapToTheNearestSliceAndSide) {
    const LaidOutTexts texts({fragment("abcdef\nghi"), fragment("jkl")});
    const auto& c = texts.collection();
    // A quarter into "c" stands before it, three quarters in after it, the middle before it.
    EXPECT_EQ(closestPosition(c, at(c, 0, 0, 2.25 * kAdvance)), down({0, 0, 0, 2}));
    EXPECT_EQ(closestPosition(c, at(c, 0, 0, 2.75 * kAdvance)), up({0, 0, 0, 2}));
    EXPECT_EQ(closestPosition(c, at(c, 0, 0, 2.5 * kAdvance)), down({0, 0, 0, 2}));
    // Right of a line's end and left of its start.
    EXPECT_EQ(closestPosition(c, at(c, 0, 1, 300)), up({0, 1, 0, 2}));
    EXPECT_EQ(closestPosition(c, at(c, 0, 1, -20)), down({0, 1, 0, 0}));
    // Above everything: the first line; below everything: the last text's line.
    EXPECT_EQ(closestPosition(c, {1.25 * kAdvance, -50}), down({0, 0, 0, 1}));
    EXPECT_EQ(closestPosition(c, {1.75 * kAdvance, 900}), up({1, 0, 0, 1}));
}

TEST(HitTesting, APointBetweenTwoLinesGoesToTheNearerOneAndTheUpperOnATie) {
    const LaidOutTexts texts({fragment("ab"), fragment("cd")}, 400, 10);
    const auto& c = texts.collection();
    const double bottom = c.layout(0).origin().y + c.layout(0).line(0).typographicBounds().maxY();
    const double top = c.layout(1).origin().y + c.layout(1).line(0).typographicBounds().minY();
    ASSERT_GT(top, bottom);
    const double middle = (top + bottom) / 2;
    EXPECT_EQ(closestPosition(c, {1, middle})->indexPath.layout, 0u);
    EXPECT_EQ(closestPosition(c, {1, middle + 1})->indexPath.layout, 1u);
    EXPECT_EQ(closestPosition(c, {1, middle - 1})->indexPath.layout, 0u);

    // The same between two lines of one text.
    const LaidOutTexts spaced({fragment("ab\ncd").lineSpacing(6)});
    const auto& s = spaced.collection();
    const Rect upper = s.layout(0).line(0).typographicBounds();
    const Rect lower = s.layout(0).line(1).typographicBounds();
    ASSERT_GT(lower.minY(), upper.maxY());
    const double between = s.layout(0).origin().y + (upper.maxY() + lower.minY()) / 2;
    EXPECT_EQ(closestPosition(s, {1, between})->indexPath.line, 0u);
    EXPECT_EQ(closestPosition(s, {1, between + 1})->indexPath.line, 1u);
}

// A text is only as wide as its longest line: beside a short line the point stays in the text
// whose lines span its height, however far a text a few lines off reaches; above the first text
// (beyond its end) it goes to that text. Between texts, a shorter one beside the nearest (cells of
// one row) takes the point under it.
TEST(HitTesting, APointsHeightCountsBeforeItsSide) {
    const LaidOutTexts texts(
        {fragment("Ti"), fragment("a paragraph reaching far"), fragment("short"),
         platform::ui::AnyView(platform::ui::HStack(platform::ui::VerticalAlignment::top(), 10,
                                                    {platform::ui::AnyView(fragment("a\nb\nc")),
                                                     platform::ui::AnyView(fragment("beside"))})),
         fragment("next")});
    const auto& c = texts.collection();
    ASSERT_EQ(c.layoutCount(), 6u);
    EXPECT_EQ(closestPosition(c, at(c, 2, 0, 20 * kAdvance)), up({2, 0, 0, 4}));
    EXPECT_EQ(closestPosition(c, {15 * kAdvance, c.layout(0).origin().y - 4}), up({0, 0, 0, 1}));
    // Just below the tall text, under the one beside it.
    const Rect tall = c.layoutFrames()[3];
    const Rect beside = c.layoutFrames()[4];
    ASSERT_LT(beside.maxY(), tall.maxY());
    EXPECT_EQ(closestPosition(c, {beside.midX(), tall.maxY() + 1})->indexPath.layout, 4u);
}

TEST(HitTesting, AnEmptyLineTakesTheCaretOnItsOneSlice) {
    const LaidOutTexts texts({fragment("ab\n\ncd")});
    const auto& c = texts.collection();
    EXPECT_EQ(closestPosition(c, at(c, 0, 1, 40)), down({0, 1, 0, 0}));
    EXPECT_EQ(characterIndex(c, down({0, 1, 0, 0})), 3u);
}

TEST(HitTesting, CaretsStandOnTheSliceEdgeOfTheirSide) {
    const LaidOutTexts texts({fragment("ab"), fragment("cdef")});
    const auto& c = texts.collection();
    const auto& second = c.layout(1);
    const auto line = second.line(0).typographicBounds();
    const auto caret = caretRect(c, down({1, 0, 0, 2}));
    EXPECT_NEAR(caret.minX(), second.origin().x + 2 * kAdvance, 0.01);
    EXPECT_NEAR(caret.minY(), second.origin().y + line.minY(), 1e-9);
    EXPECT_EQ(caret.width(), 1);
    EXPECT_NEAR(caret.height(), line.height(), 1e-9);
    EXPECT_NEAR(caretRect(c, up({1, 0, 0, 2})).minX(), second.origin().x + 3 * kAdvance, 0.01);
    EXPECT_TRUE(caretRect(c, down({2, 0, 0, 0})).isNull());
    EXPECT_TRUE(caretRect(c, down({1, 0, 0, 9})).isNull());
}

TEST(HitTesting, RightToLeftRunsSwapTheSides) {
    // Hebrew "שלום" laid out right to left: its first character's glyph is the rightmost.
    const LaidOutTexts texts({fragment("\u05e9\u05dc\u05d5\u05dd")});
    const auto& c = texts.collection();
    const TextRun& run = c.layout(0).line(0).run(0);
    SCOPED_TRACE(texts.dump());
    ASSERT_EQ(run.layoutDirection(), LayoutDirection::rightToLeft);
    ASSERT_EQ(run.sliceCount(), 4u);
    const auto s0 = run.slice(0).typographicBounds();
    // A point near a slice's left edge is after it in reading order.
    const auto leftSide = closestPosition(c, at(c, 0, 0, s0.minX() + 0.2 * s0.width()));
    ASSERT_TRUE(leftSide);
    EXPECT_EQ(leftSide->indexPath, (IndexPath{0, 0, 0, 0}));
    EXPECT_EQ(leftSide->affinity, Affinity::upstream);
    EXPECT_EQ(closestPosition(c, at(c, 0, 0, s0.maxX() - 0.2 * s0.width()))->affinity,
              Affinity::downstream);
    // Before a right-to-left glyph is its right edge.
    const double x = c.layout(0).origin().x;
    EXPECT_NEAR(caretRect(c, down({0, 0, 0, 0})).minX(), x + s0.maxX(), 1e-9);
    EXPECT_NEAR(caretRect(c, up({0, 0, 0, 0})).minX(), x + s0.minX(), 1e-9);
}

TEST(CaretNavigation, CharacterStepsCrossTextsAtTheirEnds) {
    const LaidOutTexts texts({fragment("ab"), fragment("cd")});
    const auto& c = texts.collection();
    EXPECT_EQ(characterCount(c), 4u);
    EXPECT_EQ(positionFromOffset(c, down({0, 0, 0, 0}), 1), up({0, 0, 0, 0}));
    // From the end of the first text one step right lands after the next text's first character.
    EXPECT_EQ(positionFromOffset(c, up({0, 0, 0, 1}), 1), up({1, 0, 0, 0}));
    EXPECT_EQ(positionFromOffset(c, up({1, 0, 0, 0}), -1), up({0, 0, 0, 1}));
    EXPECT_EQ(positionFromOffset(c, down({0, 0, 0, 0}), -1), std::nullopt);
    EXPECT_EQ(positionFromOffset(c, up({1, 0, 0, 1}), 1), std::nullopt);
    EXPECT_EQ(positionFromOffset(c, up({1, 0, 0, 0}), 1), up({1, 0, 0, 1}));
    EXPECT_EQ(positionFromOffset(c, down({7, 0, 0, 0}), 1), std::nullopt);
}

TEST(CaretNavigation, CharacterIndexesResolveToTheEarlierSliceOnABoundary) {
    const LaidOutTexts texts({fragment("ab\ncd")});
    const auto& c = texts.collection();
    EXPECT_EQ(positionForCharacterIndex(c, 0, -3), down({0, 0, 0, 0}));
    EXPECT_EQ(positionForCharacterIndex(c, 0, 1), up({0, 0, 0, 0}));
    // Index 3 starts the second line; the line break (index 2) has no glyph, so 2 is after "b".
    EXPECT_EQ(positionForCharacterIndex(c, 0, 2), up({0, 0, 0, 1}));
    EXPECT_EQ(positionForCharacterIndex(c, 0, 3), down({0, 1, 0, 0}));
    EXPECT_EQ(positionForCharacterIndex(c, 0, 99), up({0, 1, 0, 1}));
    EXPECT_EQ(positionForCharacterIndex(c, 1, 0), std::nullopt);
}

TEST(CaretNavigation, LineMovesKeepTheGoalsColumn) {
    const LaidOutTexts texts({fragment("abcdef\nab\nabcdef"), fragment("xyzxyz")});
    const auto& c = texts.collection();
    const TextPosition goal = down({0, 0, 0, 4});
    // Down from the goal's column: the short line's end, then back out to column 4.
    const auto below = positionBelow(c, goal, goal);
    EXPECT_EQ(below, up({0, 1, 0, 1}));
    EXPECT_EQ(positionBelow(c, *below, goal), down({0, 2, 0, 4}));
    // The middle of the goal's slice decides: at 4.5 advances the tie goes before the slice.
    EXPECT_EQ(positionBelow(c, down({0, 2, 0, 0}), goal), down({1, 0, 0, 4}));
    EXPECT_EQ(positionAbove(c, down({1, 0, 0, 0}), goal), down({0, 2, 0, 4}));
    EXPECT_EQ(positionAbove(c, goal, goal), startPosition(c));
    EXPECT_EQ(positionBelow(c, down({1, 0, 0, 2}), goal), endPosition(c));
    EXPECT_EQ(endPosition(c), up({1, 0, 0, 5}));
}

TEST(CaretNavigation, WordMovesJumpBetweenTexts) {
    const LaidOutTexts texts({fragment("one two"), fragment("three four")});
    const auto& c = texts.collection();
    SCOPED_TRACE(texts.dump());
    // Inside "one": to its end.
    EXPECT_EQ(nextWordPosition(c, down({0, 0, 0, 1})), up({0, 0, 0, 2}));
    // Inside the last word of a text: straight to the start of the next text.
    EXPECT_EQ(nextWordPosition(c, down({0, 0, 0, 5})), down({1, 0, 0, 0}));
    EXPECT_EQ(nextWordPosition(c, down({1, 0, 0, 7})), endPosition(c));
    // A word start is a boundary between two glyphs: it resolves to after the earlier one.
    EXPECT_EQ(previousWordPosition(c, up({1, 0, 0, 8})), up({1, 0, 0, 5}));
    // At the start of a text: the last word start of the previous text.
    EXPECT_EQ(previousWordPosition(c, down({1, 0, 0, 0})), up({0, 0, 0, 3}));
    EXPECT_EQ(previousWordPosition(c, down({0, 0, 0, 0})), startPosition(c));
    EXPECT_EQ(nextWordPosition(c, down({4, 0, 0, 0})), std::nullopt);
}

TEST(CaretNavigation, ParagraphMovesGoToTextStartsAndEnds) {
    const LaidOutTexts texts({fragment("one"), fragment("two\nlines"), fragment("x")});
    const auto& c = texts.collection();
    EXPECT_EQ(paragraphStartPosition(c, up({1, 1, 0, 2})), down({1, 0, 0, 0}));
    EXPECT_EQ(paragraphStartPosition(c, down({1, 0, 0, 0})), down({0, 0, 0, 0}));
    EXPECT_EQ(paragraphStartPosition(c, down({0, 0, 0, 0})), down({0, 0, 0, 0}));
    EXPECT_EQ(paragraphEndPosition(c, down({1, 0, 0, 1})), up({1, 1, 0, 4}));
    EXPECT_EQ(paragraphEndPosition(c, up({1, 1, 0, 4})), up({2, 0, 0, 0}));
    EXPECT_EQ(paragraphEndPosition(c, up({2, 0, 0, 0})), up({2, 0, 0, 0}));
    EXPECT_EQ(paragraphEndPosition(c, up({3, 0, 0, 0})), std::nullopt);
}

TEST(CaretNavigation, ClicksSelectWordsAndWholeTexts) {
    const LaidOutTexts texts({fragment("one two"), fragment("x")});
    const auto& c = texts.collection();
    EXPECT_EQ(wordRange(c, down({0, 0, 0, 5})), (TextRange{up({0, 0, 0, 3}), up({0, 0, 0, 6})}));
    EXPECT_EQ(wordRange(c, down({0, 0, 0, 0})), (TextRange{down({0, 0, 0, 0}), up({0, 0, 0, 2})}));
    // At the end of a text there is no word.
    EXPECT_EQ(wordRange(c, up({0, 0, 0, 6})), std::nullopt);
    EXPECT_EQ(layoutRange(c, down({0, 0, 0, 3})),
              (TextRange{down({0, 0, 0, 0}), up({0, 0, 0, 6})}));
    EXPECT_EQ(layoutRange(c, down({2, 0, 0, 0})), std::nullopt);
}

TEST(CaretNavigation, SelectedTextJoinsTextsWithNothingBetween) {
    const LaidOutTexts texts({fragment("one two"), fragment("three")});
    const auto& c = texts.collection();
    EXPECT_EQ(attributedText(c, {down({0, 0, 0, 4}), up({1, 0, 0, 1})}).string(), "twoth");
    EXPECT_EQ(attributedText(c, {down({0, 0, 0, 1}), up({0, 0, 0, 2})}).string(), "ne");
    EXPECT_EQ(attributedText(c, {down({0, 0, 0, 1}), down({0, 0, 0, 1})}).string(), "");
    EXPECT_EQ(attributedText(c, {down({0, 0, 0, 0}), up({1, 0, 0, 4})}).string(), "one twothree");
}

TEST(CaretNavigation, RangesCarryOverToANewLayoutByCharacter) {
    const LaidOutTexts before({fragment("abcdef"), fragment("x")});
    const LaidOutTexts after({fragment("abc\ndef"), fragment("x")}, 400);
    const LaidOutTexts fewer({fragment("abcdef")});
    const TextRange range{down({0, 0, 0, 4}), up({1, 0, 0, 0})};
    EXPECT_EQ(translatedRange(after.collection(), range, before.collection()),
              (TextRange{down({0, 1, 0, 0}), up({1, 0, 0, 0})}));
    EXPECT_EQ(translatedRange(fewer.collection(), range, before.collection()), std::nullopt);
}

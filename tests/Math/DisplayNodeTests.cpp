// Geometry of display nodes: how lists measure their children and how composite
// nodes move their parts.

#include "Math/DisplayNode.hpp"
#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <gtest/gtest.h>

using namespace Math;

namespace {

// A glyph box of the given extents.
std::shared_ptr<DisplayGlyph> box(double ascent, double descent, double width, Point at = {}) {
    auto glyph = std::make_shared<DisplayGlyph>(1, Font(Font::Name::latinModern, 10));
    glyph->setAscent(ascent);
    glyph->setDescent(descent);
    glyph->setWidth(width);
    glyph->setPosition(at);
    return glyph;
}

std::shared_ptr<DisplayList> listOf(double ascent, double descent, double width) {
    return std::make_shared<DisplayList>(
        std::vector<std::shared_ptr<DisplayNode>>{box(ascent, descent, width)}, IndexRange{0, 1});
}

} // namespace

TEST(DisplayList, MeasuresItsChildrenWhereTheyStand) {
    const DisplayList empty({}, {0, 0});
    EXPECT_EQ(empty.ascent(), 0);
    EXPECT_EQ(empty.descent(), 0);
    EXPECT_EQ(empty.width(), 0);
    EXPECT_EQ(empty.index, notFound);
    EXPECT_EQ(empty.linePosition, DisplayList::LinePosition::regular);

    // A child pushed below the baseline gives no ascent at all and a deeper
    // descent.
    const DisplayList lowered({box(5, 2, 4, {0, -10})}, {0, 1});
    EXPECT_EQ(lowered.ascent(), 0);
    EXPECT_EQ(lowered.descent(), 12);
    EXPECT_EQ(lowered.width(), 4);

    const DisplayList row({box(7, 1, 3), box(4, 3, 5, {6, 2})}, {0, 2});
    EXPECT_EQ(row.ascent(), 7);
    EXPECT_EQ(row.descent(), 1);
    EXPECT_EQ(row.width(), 11);

    const DisplayList withGap({box(2, 1, 3), nullptr}, {0, 1});
    EXPECT_EQ(withGap.children.size(), 1U);

    EXPECT_EQ(DisplayList::linePositionFromRawValue(2), DisplayList::LinePosition::superscript);
    EXPECT_FALSE(DisplayList::linePositionFromRawValue(3));
}

TEST(DisplayGlyph, ShiftMovesExtentsFromAscentToDescent) {
    const auto glyph = box(10, 3, 6);
    glyph->shiftDown = 2;
    EXPECT_EQ(glyph->ascent(), 8);
    EXPECT_EQ(glyph->descent(), 5);
    EXPECT_EQ(glyph->width(), 6);

    const DisplayGlyphRun run({1, 2, 3}, {0, 4}, Font(Font::Name::latinModern, 10));
    EXPECT_EQ(run.offsets.size(), 3U); // one offset per glyph, always
}

TEST(DisplayFraction, MeasuresFromItsPartsAndCentresThemWhenMoved) {
    DisplayFraction bare;
    bare.numeratorUp = 6;
    bare.denominatorDown = 4;
    EXPECT_EQ(bare.ascent(), 6);
    EXPECT_EQ(bare.descent(), 4);
    EXPECT_EQ(bare.width(), 0);

    DisplayFraction fraction;
    fraction.numerator = listOf(5, 1, 20);
    fraction.denominator = listOf(4, 2, 8);
    fraction.numeratorUp = 6;
    fraction.denominatorDown = 7;
    EXPECT_EQ(fraction.ascent(), 11);
    EXPECT_EQ(fraction.descent(), 9);
    EXPECT_EQ(fraction.width(), 20);

    fraction.setPosition({3, 1});
    EXPECT_EQ(fraction.numerator->position(), (Point{3, 7}));
    EXPECT_EQ(fraction.denominator->position(), (Point{9, -6}));
    fraction.setPosition({13, 1});
    EXPECT_EQ(fraction.numerator->position(), (Point{13, 7}));
    EXPECT_EQ(fraction.denominator->position(), (Point{19, -6}));
}

TEST(DisplayRadical, DegreeSitsInTheCrookAndTravelsWithTheRadical) {
    DisplayRadical radical;
    radical.radicand = listOf(6, 1, 12);
    radical.radicalGlyph = box(8, 2, 5);
    radical.setAscent(10);
    radical.setDescent(2);
    radical.setWidth(17);
    radical.setPosition({1, 0});
    EXPECT_EQ(radical.radicand->position(), (Point{6, 0}));

    radical.setDegree(listOf(3, 0, 4), 2, -1, 0.5);
    EXPECT_EQ(radical.radicalShift, 5); // 2 + 4 - 1
    EXPECT_EQ(radical.width(), 22);     // shift + sign + radicand
    EXPECT_EQ(radical.radicand->position(), (Point{11, 0}));
    EXPECT_EQ(radical.degree->position(), (Point{3, 4})); // raised by half of 10 - 2

    radical.setPosition({11, -20});
    EXPECT_EQ(radical.radicand->position(), (Point{21, -20}));
    EXPECT_EQ(radical.degree->position(), (Point{13, -16}));

    // No degree: nothing changes.
    DisplayRadical plain;
    plain.setWidth(3);
    plain.setDegree(nullptr, 2, 2, 0.6);
    EXPECT_EQ(plain.radicalShift, 0);
    EXPECT_EQ(plain.width(), 3);
}

TEST(DisplayLargeOperator, StacksLimitsAroundTheNucleus) {
    DisplayLargeOperator empty;
    empty.upperLimit = listOf(3, 1, 4);
    empty.setPosition({5, 5});
    EXPECT_EQ(empty.ascent(), 0);
    EXPECT_EQ(empty.descent(), 0);
    EXPECT_EQ(empty.upperLimit->position(), (Point{})); // nothing moves without a nucleus

    DisplayLargeOperator op;
    op.nucleus = box(8, 4, 10);
    op.upperLimit = listOf(3, 1, 4);
    op.lowerLimit = listOf(2, 1, 16);
    op.upperLimitGap = 2;
    op.lowerLimitGap = 3;
    op.extraPadding = 1;
    op.limitShift = 1;
    op.setWidth(16);
    EXPECT_EQ(op.ascent(), 8 + 1 + 3 + 2 + 1);
    EXPECT_EQ(op.descent(), 4 + 1 + 3 + 2 + 1);
    op.setPosition({10, 0});
    EXPECT_EQ(op.nucleus->position(), (Point{13, 0}));
    EXPECT_EQ(op.upperLimit->position(), (Point{10 + 1 + 6, 8 + 2 + 1}));
    EXPECT_EQ(op.lowerLimit->position(), (Point{10 - 1 + 0, -4 - 3 - 2}));
}

TEST(DisplayAccentAndLine, MoveTheirContentWithThem) {
    auto accentGlyph = box(3, 0, 4, {1, 2});
    DisplayAccent accent(accentGlyph, listOf(5, 0, 6), {2, 1});
    accent.setPosition({7, -3});
    EXPECT_EQ(accent.accentee->position(), (Point{7, -3}));
    EXPECT_EQ(accent.accent->position(), (Point{1, 2})); // relative to the accent node
    EXPECT_EQ(accent.range, (IndexRange{2, 1}));

    DisplayLine line(listOf(5, 0, 6), {4, 4}, {0, 3});
    EXPECT_EQ(line.inner->position(), (Point{4, 4}));
    line.setPosition({0, 1});
    EXPECT_EQ(line.inner->position(), (Point{0, 1}));
}

TEST(AttributedLine, KernsAndColoursAreKeptInUtf16Offsets) {
    AttributedLine line;
    line.setKernAfterLastCharacter(2); // nothing to kern yet
    EXPECT_TRUE(line.kerns().empty());

    line.append("\U0001D465"); // one character, two UTF-16 units
    line.append("+");
    EXPECT_EQ(line.utf16Length(), 3U);
    line.setKernAfterLastCharacter(2);
    line.setKernAfterLastCharacter(3); // replaces, does not add
    ASSERT_EQ(line.kerns().size(), 1U);
    EXPECT_EQ(line.kerns()[0].utf16Offset, 2U);
    EXPECT_EQ(line.kerns()[0].points, 3);

    // A base letter and its combining mark are one character: the kern goes after
    // both.
    line.append("e\u0301");
    line.setKernAfterLastCharacter(1);
    EXPECT_EQ(line.kerns().back().utf16Offset, 3U);

    line.append("\u25A1", platform::Color(0, 0, 1));
    ASSERT_EQ(line.colors().size(), 1U);
    EXPECT_EQ(line.colors()[0].utf16Offset, 5U);
    EXPECT_EQ(line.colors()[0].utf16Length, 1U);
}

TEST(AttributedLine, SlicesKeepTheirKernsColoursAndLastCharacter) {
    AttributedLine line("\U0001D44E+"); // 2 + 1 UTF-16 units, 5 bytes
    line.setKernAfterLastCharacter(2);
    line.append("\u25A1", platform::Color(0, 0, 1)); // at 3, 3 bytes
    line.append("e");
    line.append("\u0301"); // joins the e: the kern goes after both
    EXPECT_EQ(line.lastCharacter(), "e\u0301");
    line.setKernAfterLastCharacter(4);
    line.append("b");
    ASSERT_EQ(line.kerns().size(), 2U);
    EXPECT_EQ(line.kerns()[1].utf16Offset, 4U);

    // From the square on: offsets count from the slice's start.
    const AttributedLine middle = line.slice(5, 3, 11);
    EXPECT_EQ(middle.text(), "\u25A1e\u0301");
    EXPECT_EQ(middle.utf16Length(), 3U);
    ASSERT_EQ(middle.kerns().size(), 1U);
    EXPECT_EQ(middle.kerns()[0].utf16Offset, 1U);
    EXPECT_EQ(middle.kerns()[0].points, 4);
    ASSERT_EQ(middle.colors().size(), 1U);
    EXPECT_EQ(middle.colors()[0].utf16Offset, 0U);
    EXPECT_EQ(middle.lastCharacter(), "e\u0301");
    // A slice can be kerned further at its own end.
    AttributedLine head = line.slice(0, 0, 5);
    head.setKernAfterLastCharacter(1);
    ASSERT_EQ(head.kerns().size(), 1U);
    EXPECT_EQ(head.kerns()[0].utf16Offset, 2U);
    EXPECT_EQ(head.kerns()[0].points, 1);
    // The same text as prefix and suffix give.
    EXPECT_EQ(line.slice(5, 3, line.text().size()).kerns().size(), line.suffix(5).kerns().size());
    EXPECT_EQ(line.prefix(5).text(), "\U0001D44E+");
}

// The quick way to a formula's characters must find exactly what a character iterator finds, in
// whole texts, in windows cut at any byte, and in a line built symbol by symbol.
TEST(AttributedLine, FindsCharactersAsTheCharacterIteratorDoes) {
    const std::vector<std::string> texts = {
        "a+b=\xF0\x9D\x91\x8E+\xF0\x9D\x91\x8F=\xE2\x84\x8E\xCE\xB1\xE2\x88\x91", // 𝑎 𝑏 ℎ α ∑
        "x\xCC\x81y\xE2\x80\xB2\xCC\x88",                                         // x́ y′̈
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9 \xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", // ZWJ,
                                                                                         // flag
        "1\r\n2\xE1\x84\x80\xE1\x85\xA1\xE2\x84\xA2\xEF\xB8\x8F", // CR LF, jamo, ™️
        "\xD8\x80"
        "1a", // prepended mark
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        for (std::size_t end = 0; end <= text.size(); ++end) {
            const std::string_view window = std::string_view(text).substr(0, end);
            EXPECT_EQ(textCharacters(window), platform::unicode::graphemeClusters(window)) << end;
        }
        AttributedLine line;
        std::string written;
        for (const std::string_view piece : platform::unicode::graphemeClusters(text)) {
            for (const char32_t scalar : platform::unicode::scalars(piece)) {
                line.append(platform::unicode::utf8(scalar));
                written += platform::unicode::utf8(scalar);
                EXPECT_EQ(line.lastCharacter(),
                          platform::unicode::graphemeClusters(written).back());
            }
        }
    }
}

// Symbols that stand alone are appended in one pass that also checks the text is valid: any
// text that is not (an overlong form, a stray or missing continuation byte, a lead past U+10FFFF)
// is repaired as before, and the line's length and last character follow the repaired text.
TEST(AttributedLine, AppendsSymbolsAtOnceAndRepairsWhatIsNotValid) {
    std::size_t units = 0;
    std::size_t lastStart = 0;
    std::size_t lastUnits = 0;
    ASSERT_TRUE(standAloneScalars("a\xF0\x9D\x91\x8E", units, lastStart, lastUnits)); // a𝑎
    EXPECT_EQ(units, 3U);
    EXPECT_EQ(lastStart, 1U);
    EXPECT_EQ(lastUnits, 2U);
    EXPECT_FALSE(standAloneScalars("", units, lastStart, lastUnits));
    EXPECT_FALSE(standAloneScalars("e\xCC\x81", units, lastStart, lastUnits)); // a combining mark

    const std::vector<std::string> invalid = {
        "\xC1\xA1",         // 'a', overlong
        "\xE0\x81\xA1",     // 'a', overlong in three bytes
        "\x8E\x91",         // continuation bytes only, that would read as Α
        "\xCE\x41",         // a lead without its continuation
        "\xF0\x9D\x91",     // cut short
        "\xF8\x9D\x91\x8E", // no lead of five bytes
    };
    for (const std::string& bytes : invalid) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_FALSE(standAloneScalars(bytes, units, lastStart, lastUnits));
        AttributedLine line("+");
        line.append(bytes);
        const std::string expected = "+" + platform::unicode::makeValidUtf8(bytes);
        EXPECT_EQ(line.text(), expected);
        EXPECT_EQ(line.utf16Length(), platform::unicode::utf16Length(expected));
        EXPECT_EQ(line.lastCharacter(), platform::unicode::graphemeClusters(expected).back());
    }
}

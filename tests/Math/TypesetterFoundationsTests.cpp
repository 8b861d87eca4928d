// Spacing between atoms by type and style, and the math alphabets of numbers and variables.

#include "Math/TypesetterAlphabets.hpp"
#include "Math/TypesetterSpacing.hpp"
#include "platform/foundation/Unicode.hpp"

#include <gtest/gtest.h>

using namespace Math;

namespace {

using Level = Style::Level;

// One mu of 1 pt makes the results read directly in mu.
double mus(AtomType left, AtomType right, Level level = Level::text) {
    return interElementSpace(left, right, level, 1.0);
}

std::u32string scalarsOf(const std::string& text) {
    return platform::unicode::scalars(text);
}

} // namespace

TEST(InterElementSpace, TextStyleSpacesFollowTeXsTable) {
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::ordinary), 0);
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::largeOperator), 3);
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::binaryOperator), 4);
    EXPECT_EQ(mus(AtomType::binaryOperator, AtomType::ordinary), 4);
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::relation), 5);
    EXPECT_EQ(mus(AtomType::relation, AtomType::open), 5);
    EXPECT_EQ(mus(AtomType::relation, AtomType::relation), 0);
    EXPECT_EQ(mus(AtomType::largeOperator, AtomType::largeOperator), 3);
    EXPECT_EQ(mus(AtomType::close, AtomType::largeOperator), 3);
    EXPECT_EQ(mus(AtomType::open, AtomType::ordinary), 0);
    EXPECT_EQ(mus(AtomType::punctuation, AtomType::ordinary), 3);
    EXPECT_EQ(mus(AtomType::punctuation, AtomType::close), 3);
    EXPECT_EQ(mus(AtomType::inner, AtomType::ordinary), 3);
    EXPECT_EQ(mus(AtomType::fraction, AtomType::close), 0);
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::fraction), 3);
}

TEST(InterElementSpace, OtherTypesCountAsOrdinaryAndRadicalsOnlyOnTheLeft) {
    // Variables, placeholders, tables ... sit in the ordinary row and column.
    EXPECT_EQ(mus(AtomType::variable, AtomType::binaryOperator), 4);
    EXPECT_EQ(mus(AtomType::table, AtomType::relation), 5);
    EXPECT_EQ(mus(AtomType::relation, AtomType::placeholder), 5);
    // As the right atom a radical reads the ordinary column; as the left one it has its own row.
    EXPECT_EQ(mus(AtomType::largeOperator, AtomType::radical), 3);
    EXPECT_EQ(mus(AtomType::radical, AtomType::ordinary), 4);
    EXPECT_EQ(mus(AtomType::radical, AtomType::largeOperator), 3);
    EXPECT_EQ(mus(AtomType::radical, AtomType::open), 0);
}

TEST(InterElementSpace, ScriptStylesKeepOnlyThinSpaces) {
    for (const Level level : {Level::script, Level::scriptOfScript}) {
        EXPECT_EQ(mus(AtomType::ordinary, AtomType::binaryOperator, level), 0);
        EXPECT_EQ(mus(AtomType::ordinary, AtomType::relation, level), 0);
        EXPECT_EQ(mus(AtomType::punctuation, AtomType::ordinary, level), 0);
        EXPECT_EQ(mus(AtomType::largeOperator, AtomType::ordinary, level), 3);
        EXPECT_EQ(mus(AtomType::ordinary, AtomType::largeOperator, level), 3);
    }
    EXPECT_EQ(mus(AtomType::ordinary, AtomType::binaryOperator, Level::display), 4);
    // Points scale with mu.
    EXPECT_DOUBLE_EQ(interElementSpace(AtomType::ordinary, AtomType::relation, Level::text, 0.5),
                     2.5);
}

TEST(InterElementSpace, PairsAFinalizedListNeverHasMeasureNothing) {
    EXPECT_EQ(interElementSpaceType(AtomType::binaryOperator, AtomType::binaryOperator),
              InterElementSpaceType::invalid);
    EXPECT_EQ(mus(AtomType::binaryOperator, AtomType::binaryOperator), 0);
    EXPECT_EQ(mus(AtomType::open, AtomType::binaryOperator), 0);
    EXPECT_EQ(interElementSpaceTypeFromRawValue(-1), InterElementSpaceType::invalid);
    EXPECT_EQ(interElementSpaceTypeFromRawValue(4), InterElementSpaceType::nsThick);
    EXPECT_FALSE(interElementSpaceTypeFromRawValue(5));
    EXPECT_FALSE(interElementSpaceTypeFromRawValue(-2));
}

TEST(MathAlphabets, DefaultStyleSlantsLatinAndSmallGreekOnly) {
    EXPECT_EQ(defaultStyleCharacter("x"), 0x1D465U);
    EXPECT_EQ(defaultStyleCharacter("A"), 0x1D434U);
    EXPECT_EQ(defaultStyleCharacter("h"), 0x210EU); // the italic h is not in the math block
    EXPECT_EQ(italicCharacter("g"), 0x1D454U);
    EXPECT_EQ(defaultStyleCharacter("\u0393"), 0x0393U); // capital gamma stays upright
    EXPECT_EQ(defaultStyleCharacter("\u03B1"), 0x1D6FCU);
    EXPECT_EQ(defaultStyleCharacter("\u03C9"), 0x1D714U);
    EXPECT_EQ(defaultStyleCharacter("\u03D5"), 0x1D719U); // phi symbol
    EXPECT_EQ(defaultStyleCharacter("7"), U'7');
    EXPECT_EQ(defaultStyleCharacter("."), U'.');
}

TEST(MathAlphabets, UnexpectedCharactersAreKeptInsteadOfStopping) {
    EXPECT_EQ(defaultStyleCharacter("+"), U'+');
    EXPECT_EQ(styleCharacters("\u2202x", Atom::FontStyle::default_), "\u2202\U0001D465");
    // A character of several scalars is written as it came.
    EXPECT_EQ(styleCharacters("e\u0301", Atom::FontStyle::bold), "e\u0301");
}

TEST(MathAlphabets, SingleLetterExceptionsWinOverTheRanges) {
    EXPECT_EQ(caligraphicCharacter("e"), 0x212FU);
    EXPECT_EQ(caligraphicCharacter("B"), 0x212CU);
    EXPECT_EQ(caligraphicCharacter("A"), 0x1D49CU);
    EXPECT_EQ(caligraphicCharacter("a"), 0x1D44EU); // small letters fall back to italic
    EXPECT_EQ(frakturCharacter("C"), 0x212DU);
    EXPECT_EQ(frakturCharacter("D"), 0x1D507U);
    EXPECT_EQ(frakturCharacter("7"), U'7');
    EXPECT_EQ(blackboardCharacter("R"), 0x211DU);
    EXPECT_EQ(blackboardCharacter("A"), 0x1D538U);
    EXPECT_EQ(blackboardCharacter("1"), 0x1D7D9U);
}

TEST(MathAlphabets, BoldAndOtherAlphabetsMapEveryRange) {
    EXPECT_EQ(boldCharacter("A"), 0x1D400U);
    EXPECT_EQ(boldCharacter("z"), 0x1D433U);
    EXPECT_EQ(boldCharacter("\u0391"), 0x1D6A8U);
    EXPECT_EQ(boldCharacter("\u03B2"), 0x1D6C3U);
    EXPECT_EQ(boldCharacter("\u03D6"), 0x1D6E1U);
    EXPECT_EQ(boldCharacter("0"), 0x1D7CEU);
    EXPECT_EQ(boldItalicCharacter("7"), 0x1D7D5U); // bold digits: there are no slanted ones
    EXPECT_EQ(boldItalicCharacter("a"), 0x1D482U);
    EXPECT_EQ(boldItalicCharacter("\u0394"), 0x1D71FU);
    EXPECT_EQ(typewriterCharacter("b"), 0x1D68BU);
    EXPECT_EQ(typewriterCharacter("9"), 0x1D7FFU);
    EXPECT_EQ(typewriterCharacter("\u03B1"), 0x1D6FCU);
    EXPECT_EQ(sansSerifCharacter("C"), 0x1D5A2U);
    EXPECT_EQ(sansSerifCharacter("2"), 0x1D7E4U);
    EXPECT_EQ(italicCharacter("\u0398"), 0x1D6E9U);
    EXPECT_EQ(italicCharacter("\u03F5"), 0x1D716U);
}

TEST(MathAlphabets, StyleCharactersMapsEachCharacterOfANucleus) {
    EXPECT_EQ(scalarsOf(styleCharacters("x2", Atom::FontStyle::default_)),
              (std::u32string{0x1D465, U'2'}));
    EXPECT_EQ(styleCharacters("ab1", Atom::FontStyle::roman), "ab1");
    EXPECT_EQ(styleCharacters("", Atom::FontStyle::bold), "");
    EXPECT_EQ(scalarsOf(styleCharacters("Rx", Atom::FontStyle::blackboard)),
              (std::u32string{0x211D, 0x1D569}));
    EXPECT_EQ(scalarsOf(styleCharacters("3.5", Atom::FontStyle::bold)),
              (std::u32string{0x1D7D1, U'.', 0x1D7D3}));
}

TEST(MathAlphabets, GreekHelpers) {
    EXPECT_TRUE(isUpperGreek("\u0391"));
    EXPECT_TRUE(isUpperGreek("\u03A9"));
    EXPECT_FALSE(isUpperGreek("\u03B1"));
    EXPECT_TRUE(isLowerGreek("\u03C9"));
    EXPECT_FALSE(isLowerGreek("\u03CA"));
    EXPECT_EQ(greekSymbolOrder("\u03F5"), 0);
    EXPECT_EQ(greekSymbolOrder("\u03D6"), 5);
    EXPECT_FALSE(greekSymbolOrder("\u03C0"));
    EXPECT_EQ(unicodeScalarArray("a\u00E9"), (std::vector<std::uint32_t>{U'a', 0xE9}));
}

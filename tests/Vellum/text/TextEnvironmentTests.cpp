// The text environment snapshot: what it reads from a view environment, the library's own entries
// and their defaults, and equality and hashing that agree with each other.

#include "Vellum/text/TextEnvironmentValues.hpp"

#include <functional>
#include <gtest/gtest.h>

namespace {

using platform::ColorScheme;
using platform::ColorSchemeContrast;
using platform::Font;
using platform::ui::EnvironmentValues;
using vellum::EmojiProperties;
using vellum::FontScaled;
using vellum::MathProperties;
using vellum::TextEnvironmentValues;

std::size_t hashOf(const TextEnvironmentValues& values) {
    return std::hash<TextEnvironmentValues>{}(values);
}

TEST(TextEnvironmentTest, UnsetEntriesReadAsTheLibraryDefaults) {
    const EnvironmentValues empty;
    const TextEnvironmentValues snapshot(empty);
    EXPECT_FALSE(snapshot.font.has_value());
    EXPECT_FALSE(snapshot.legibilityWeight.has_value());
    EXPECT_EQ(snapshot.dynamicTypeSize, platform::ui::DynamicTypeSize::large);
    EXPECT_EQ(snapshot.colorScheme, ColorScheme::light);
    EXPECT_EQ(snapshot.colorSchemeContrast, ColorSchemeContrast::standard);

    EXPECT_EQ(snapshot.emojiProperties.size.value, (platform::Size{1.0, 1.0}));
    EXPECT_EQ(snapshot.emojiProperties.baselineOffset.value, -0.1);
    EXPECT_EQ(snapshot.mathProperties.fontName.rawValue(), "latinmodern-math");
    EXPECT_EQ(snapshot.mathProperties.fontScale, 1.2);
    EXPECT_EQ(snapshot.mathProperties.textAlignment, platform::ui::TextAlignment::center);
}

TEST(TextEnvironmentTest, SnapshotTakesEveryWrittenValue) {
    EnvironmentValues env;
    env.setFont(Font::title());
    env.set<platform::ui::DynamicTypeSizeKey>(platform::ui::DynamicTypeSize::xxLarge);
    env.set<platform::ui::LegibilityWeightKey>(platform::ui::LegibilityWeight::bold);
    env.set<platform::ui::ColorSchemeKey>(ColorScheme::dark);
    env.set<platform::ui::ColorSchemeContrastKey>(ColorSchemeContrast::increased);
    const EmojiProperties emoji(FontScaled<platform::Size>::fontScaled(2, 1.5),
                                FontScaled<double>(0.25));
    env.set<vellum::EmojiPropertiesKey>(emoji);
    const MathProperties math(MathProperties::FontName::termes(), 0.9,
                              platform::ui::TextAlignment::leading);
    env.set<vellum::MathPropertiesKey>(math);

    const TextEnvironmentValues snapshot = vellum::textEnvironment(env);
    EXPECT_EQ(snapshot.font, Font::title());
    EXPECT_EQ(snapshot.dynamicTypeSize, platform::ui::DynamicTypeSize::xxLarge);
    EXPECT_EQ(snapshot.legibilityWeight, platform::ui::LegibilityWeight::bold);
    EXPECT_EQ(snapshot.colorScheme, ColorScheme::dark);
    EXPECT_EQ(snapshot.colorSchemeContrast, ColorSchemeContrast::increased);
    EXPECT_EQ(snapshot.emojiProperties, emoji);
    EXPECT_EQ(snapshot.mathProperties, math);

    const vellum::ColorEnvironmentValues colors = snapshot.colorEnvironment();
    EXPECT_EQ(colors, vellum::colorEnvironment(env));
    EXPECT_EQ(colors.colorScheme, ColorScheme::dark);
    EXPECT_EQ(colors.colorSchemeContrast, ColorSchemeContrast::increased);
}

TEST(TextEnvironmentTest, EqualSnapshotsHashEqualAndEveryFieldCounts) {
    const TextEnvironmentValues base;
    TextEnvironmentValues same;
    EXPECT_EQ(base, same);
    EXPECT_EQ(hashOf(base), hashOf(same));

    // A zero baseline offset of either sign is the same placement.
    TextEnvironmentValues positiveZero;
    positiveZero.emojiProperties.baselineOffset = FontScaled<double>(0.0);
    TextEnvironmentValues negativeZero;
    negativeZero.emojiProperties.baselineOffset = FontScaled<double>(-0.0);
    EXPECT_EQ(positiveZero, negativeZero);
    EXPECT_EQ(hashOf(positiveZero), hashOf(negativeZero));
    const std::hash<FontScaled<platform::Size>> sizeHash;
    EXPECT_EQ(sizeHash(FontScaled<platform::Size>::fontScaled(0.0, 1)),
              sizeHash(FontScaled<platform::Size>::fontScaled(-0.0, 1)));

    TextEnvironmentValues withFont;
    withFont.font = Font::body();
    EXPECT_NE(base, withFont); // an absent font is not the body font
    EXPECT_NE(hashOf(base), hashOf(withFont));

    TextEnvironmentValues scaledMath;
    scaledMath.mathProperties.fontScale = 1.0;
    EXPECT_NE(base, scaledMath);
    EXPECT_NE(hashOf(base), hashOf(scaledMath));

    TextEnvironmentValues dark;
    dark.colorScheme = ColorScheme::dark;
    EXPECT_NE(base, dark);
    EXPECT_NE(hashOf(base), hashOf(dark));
}

TEST(TextEnvironmentTest, MathFontNamesMatchTheMathLibraryExactly) {
    const MathProperties::FontName literal = "latinmodern-math";
    EXPECT_EQ(literal, MathProperties::FontName::latinModern());
    EXPECT_NE(MathProperties::FontName("LatinModern-Math"),
              MathProperties::FontName::latinModern());
    EXPECT_EQ(MathProperties::FontName::notoSans().mathFontName(), Math::Font::Name::notoSans);

    // Copies are equal; assigning another name to one leaves the other as it was.
    MathProperties::FontName copy = literal;
    EXPECT_EQ(copy, literal);
    copy = MathProperties::FontName::termes();
    EXPECT_EQ(literal.rawValue(), "latinmodern-math");
    EXPECT_EQ(copy, MathProperties::FontName(Math::Font::Name::termes));
    EXPECT_NE(copy, literal);
}

} // namespace

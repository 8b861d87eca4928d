// Dynamic colours: the most specific fitting variant wins, ties go to the earlier one, and a colour
// without a fitting variant resolves to nothing (clear as a fill).

#include "Vellum/text/DynamicColor.hpp"

#include <gtest/gtest.h>

namespace {

using platform::Color;
using platform::ColorScheme;
using platform::ColorSchemeContrast;
using vellum::ColorEnvironmentValues;
using vellum::DynamicColor;

const Color red = Color(1, 0, 0);
const Color blue = Color(0, 0, 1);
const Color green = Color(0, 1, 0);
const Color black = Color::black();

const ColorEnvironmentValues lightStandard(ColorScheme::light, ColorSchemeContrast::standard);
const ColorEnvironmentValues darkStandard(ColorScheme::dark, ColorSchemeContrast::standard);
const ColorEnvironmentValues lightIncreased(ColorScheme::light, ColorSchemeContrast::increased);
const ColorEnvironmentValues darkIncreased(ColorScheme::dark, ColorSchemeContrast::increased);

TEST(DynamicColorTest, FourColoursPickByBothSchemeAndContrast) {
    const DynamicColor color(red, blue, green, black);
    EXPECT_EQ(color.resolve(lightStandard), red);
    EXPECT_EQ(color.resolve(darkStandard), blue);
    EXPECT_EQ(color.resolve(lightIncreased), green);
    EXPECT_EQ(color.resolve(darkIncreased), black);

    // Without increased-contrast colours those environments take the plain ones.
    const DynamicColor plain(red, blue);
    EXPECT_EQ(plain.variants().size(), 2U);
    EXPECT_EQ(plain.resolve(lightIncreased), red);
    EXPECT_EQ(plain.resolve(darkIncreased), blue);

    const DynamicColor single(green);
    for (const auto& env : {lightStandard, darkStandard, lightIncreased, darkIncreased}) {
        EXPECT_EQ(single.resolve(env), green);
    }
}

TEST(DynamicColorTest, SpecificityDecidesAndTiesKeepTheEarlierVariant) {
    using Variant = DynamicColor::Variant;
    const DynamicColor anyThenLight(std::vector<Variant>{
        {std::nullopt, std::nullopt, red},
        {ColorScheme::light, std::nullopt, blue},
    });
    EXPECT_EQ(anyThenLight.resolve(lightStandard), blue);
    EXPECT_EQ(anyThenLight.resolve(darkStandard), red);

    const DynamicColor tie(std::vector<Variant>{
        {ColorScheme::light, std::nullopt, red},
        {std::nullopt, ColorSchemeContrast::standard, blue},
    });
    EXPECT_EQ(tie.resolve(lightStandard), red);

    // The more specific variant wins even when it comes first.
    const DynamicColor specificFirst(std::vector<Variant>{
        {ColorScheme::dark, ColorSchemeContrast::increased, green},
        {ColorScheme::dark, std::nullopt, blue},
    });
    EXPECT_EQ(specificFirst.resolve(darkIncreased), green);
    EXPECT_EQ(specificFirst.resolve(darkStandard), blue);
}

TEST(DynamicColorTest, NoFittingVariantIsNothingAndClearAsAFill) {
    const DynamicColor empty(std::vector<DynamicColor::Variant>{});
    EXPECT_EQ(empty.resolve(lightStandard), std::nullopt);
    EXPECT_EQ(empty.resolve(platform::ui::EnvironmentValues()), Color::clear());

    const DynamicColor darkOnly(std::vector<DynamicColor::Variant>{
        {ColorScheme::dark, std::nullopt, blue},
    });
    EXPECT_EQ(darkOnly.resolve(lightStandard), std::nullopt);

    platform::ui::EnvironmentValues darkEnvironment;
    darkEnvironment.set<platform::ui::ColorSchemeKey>(ColorScheme::dark);
    EXPECT_EQ(darkOnly.resolve(darkEnvironment), blue);
}

TEST(DynamicColorTest, OrderOfVariantsIsPartOfEquality) {
    const DynamicColor a(red, blue);
    const DynamicColor b(red, blue);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());

    std::vector<DynamicColor::Variant> reversed = a.variants();
    std::swap(reversed[0], reversed[1]);
    EXPECT_NE(a, DynamicColor(reversed));
    EXPECT_NE(a, DynamicColor(red, blue, green));
    EXPECT_NE(a.hash(), DynamicColor(red, blue, green).hash());
    // A plain colour is not a light/dark pair of the same colour.
    EXPECT_NE(DynamicColor(red), DynamicColor(red, red));
    EXPECT_NE(DynamicColor(red).hash(), DynamicColor(red, red).hash());
}

} // namespace

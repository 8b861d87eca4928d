#include "Vellum/style/DefaultTheme.hpp"
#include "Vellum/style/GitHubTheme.hpp"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace {

using platform::ColorScheme;
using platform::ColorSchemeContrast;
using vellum::ColorEnvironmentValues;
using vellum::DynamicColor;

struct Expected {
    std::string name;
    const DynamicColor& color;
    std::array<int, 3> light;
    std::array<int, 3> dark;
};

// Checks the colour in all four environments: an increased-contrast environment has no variant
// of its own and must fall back to the plain colour of its scheme, never to nothing.
void expectPalette(const Expected& expected) {
    for (const ColorSchemeContrast contrast :
         {ColorSchemeContrast::standard, ColorSchemeContrast::increased}) {
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            const auto& bytes = scheme == ColorScheme::light ? expected.light : expected.dark;
            const auto resolved = expected.color.resolve(ColorEnvironmentValues(scheme, contrast));
            ASSERT_TRUE(resolved.has_value()) << expected.name;
            EXPECT_EQ(*resolved,
                      platform::Color(bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0))
                << expected.name << (scheme == ColorScheme::light ? " light" : " dark")
                << (contrast == ColorSchemeContrast::increased ? " increased contrast" : "");
        }
    }
}

TEST(StylePalette, DefaultColoursInEveryScheme) {
    for (const Expected& e : {
             Expected{"separator", vellum::defaultSeparator(), {210, 210, 215}, {66, 66, 69}},
             Expected{"quote background",
                      vellum::defaultQuoteBackground(),
                      {245, 245, 245},
                      {34, 34, 34}},
             Expected{
                 "quote border", vellum::defaultQuoteBorder(), {102, 102, 102}, {176, 176, 176}},
             Expected{"table border", vellum::defaultTableBorder(), {240, 240, 240}, {66, 66, 66}},
         }) {
        expectPalette(e);
    }
}

TEST(StylePalette, GitHubColoursInEveryScheme) {
    for (const Expected& e : {
             Expected{"quote text", vellum::gitHubQuoteText(), {107, 110, 123}, {146, 148, 160}},
             Expected{
                 "muted heading", vellum::gitHubMutedHeading(), {107, 110, 123}, {109, 112, 125}},
             Expected{"secondary background",
                      vellum::gitHubSecondaryBackground(),
                      {247, 247, 249},
                      {37, 38, 42}},
             Expected{"border", vellum::gitHubBorder(), {228, 228, 232}, {66, 68, 78}},
             Expected{
                 "heading divider", vellum::gitHubHeadingDivider(), {208, 208, 211}, {51, 52, 56}},
         }) {
        expectPalette(e);
    }
}

} // namespace

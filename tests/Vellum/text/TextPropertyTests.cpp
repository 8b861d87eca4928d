// Text properties applied to attribute containers: font properties build on the run's font, else
// the environment's, else the body font; colours resolve for the environment or go; erased and
// composite properties apply what they hold, once and in order.

#include "Vellum/text/AnyTextProperty.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

namespace {

using platform::AttributeContainer;
using platform::Color;
using platform::Font;
using vellum::AnyTextProperty;
using vellum::DynamicColor;
using vellum::TextEnvironmentValues;
using Attributes = vellum::TextAttributeScope;
namespace property = vellum::textProperty;

std::optional<Font> fontOf(const AttributeContainer& container) {
    if (const Font* font = container.get<Attributes::FontAttribute>()) {
        return *font;
    }
    return std::nullopt;
}

template <class P>
AttributeContainer applied(const P& p, AttributeContainer container = {},
                           const TextEnvironmentValues& env = {}) {
    p.apply(container, env);
    return container;
}

TEST(TextPropertyTest, FontPropertiesStartFromRunThenEnvironmentThenBody) {
    EXPECT_EQ(fontOf(applied(property::bold)), Font::body().bold());

    TextEnvironmentValues titled;
    titled.font = Font::title();
    EXPECT_EQ(fontOf(applied(property::italic, {}, titled)), Font::title().italic());

    AttributeContainer monospaced;
    monospaced.set<Attributes::FontAttribute>(Font::body().monospaced());
    EXPECT_EQ(fontOf(applied(property::bold, monospaced, titled)),
              Font::body().monospaced().bold());

    // Each font property writes its own modifier.
    EXPECT_EQ(fontOf(applied(property::monospaced)), Font::body().monospaced());
    EXPECT_EQ(fontOf(applied(property::monospacedDigit)), Font::body().monospacedDigit());
    EXPECT_EQ(fontOf(applied(property::smallCaps)), Font::body().smallCaps());
    EXPECT_EQ(fontOf(applied(property::lowercaseSmallCaps)), Font::body().lowercaseSmallCaps());
    EXPECT_EQ(fontOf(applied(property::uppercaseSmallCaps)), Font::body().uppercaseSmallCaps());
    EXPECT_EQ(fontOf(applied(property::fontWeight(Font::Weight::light()))),
              Font::body().weight(Font::Weight::light()));
    EXPECT_EQ(fontOf(applied(property::fontWidth(Font::Width::expanded()))),
              Font::body().width(Font::Width::expanded()));
    EXPECT_EQ(fontOf(applied(property::fontLeading(Font::Leading::loose))),
              Font::body().leading(Font::Leading::loose));
}

TEST(TextPropertyTest, FontScaleScalesTheBaseFontAndCompounds) {
    TextEnvironmentValues twenty;
    twenty.font = Font::system(20.0);
    const AttributeContainer once = applied(property::fontScale(0.85), {}, twenty);
    ASSERT_TRUE(fontOf(once));
    EXPECT_DOUBLE_EQ(fontOf(once)->pointSize(), 17);
    const AttributeContainer twice = applied(property::fontScale(0.5), once, twenty);
    EXPECT_DOUBLE_EQ(fontOf(twice)->pointSize(), 8.5);
    // The scaled font is still the bold monospaced one it started from.
    AttributeContainer code;
    code.set<Attributes::FontAttribute>(Font::body().monospaced().bold());
    EXPECT_EQ(fontOf(applied(property::fontScale(2), code)),
              Font::body().monospaced().bold().scaled(2));
}

TEST(TextPropertyTest, FontPropertySetsOrRemovesTheFont) {
    AttributeContainer bold = applied(property::bold);
    EXPECT_EQ(fontOf(applied(property::font(Font::caption()), bold)), Font::caption());
    EXPECT_FALSE(fontOf(applied(property::font(std::nullopt), bold)));
}

TEST(TextPropertyTest, ColoursResolveForTheEnvironmentOrGo) {
    const DynamicColor color(Color(1, 0, 0), Color(0, 0, 1));
    TextEnvironmentValues dark;
    dark.colorScheme = platform::ColorScheme::dark;
    const AttributeContainer foreground = applied(property::foregroundColor(color), {}, dark);
    ASSERT_NE(foreground.get<Attributes::ForegroundColorAttribute>(), nullptr);
    EXPECT_EQ(*foreground.get<Attributes::ForegroundColorAttribute>(), Color(0, 0, 1));
    const AttributeContainer background = applied(property::backgroundColor(Color(0, 1, 0)));
    ASSERT_NE(background.get<Attributes::BackgroundColorAttribute>(), nullptr);
    EXPECT_EQ(*background.get<Attributes::BackgroundColorAttribute>(), Color(0, 1, 0));

    // Nothing fits a light environment: the colour is removed, not painted clear.
    const DynamicColor darkOnly(std::vector<DynamicColor::Variant>{
        {platform::ColorScheme::dark, std::nullopt, Color(0, 0, 1)}});
    EXPECT_FALSE(applied(property::foregroundColor(darkOnly), foreground)
                     .contains<Attributes::ForegroundColorAttribute>());
    EXPECT_FALSE(applied(property::backgroundColor(darkOnly), background)
                     .contains<Attributes::BackgroundColorAttribute>());
}

TEST(TextPropertyTest, LinesAndOffsetsAreSetInPoints) {
    TextEnvironmentValues large;
    large.font = Font::system(40.0);
    const platform::TextLineStyle red{Color(1, 0, 0)};
    const AttributeContainer c =
        applied(AnyTextProperty(property::underlineStyle(red), property::strikethroughStyle({}),
                                property::baselineOffset(-2), property::kerning(0.5),
                                property::tracking(1.5)),
                {}, large);
    EXPECT_EQ(*c.get<Attributes::UnderlineStyleAttribute>(), red);
    EXPECT_EQ(*c.get<Attributes::StrikethroughStyleAttribute>(), platform::TextLineStyle{});
    EXPECT_EQ(*c.get<Attributes::BaselineOffsetAttribute>(), -2);
    EXPECT_EQ(*c.get<Attributes::KerningAttribute>(), 0.5);
    EXPECT_EQ(*c.get<Attributes::TrackingAttribute>(), 1.5);
    EXPECT_FALSE(c.contains<Attributes::FontAttribute>());
}

TEST(TextPropertyTest, TuplesApplyInOrderOnOneContainer) {
    // A later font replaces a bold one; bold after a font emboldens it.
    EXPECT_EQ(fontOf(applied(AnyTextProperty(property::bold, property::font(Font::caption())))),
              Font::caption());
    EXPECT_EQ(fontOf(applied(AnyTextProperty(property::font(Font::caption()), property::bold))),
              Font::caption().bold());
    EXPECT_FALSE(fontOf(applied(AnyTextProperty(property::fontWeight(Font::Weight::bold()),
                                                property::font(std::nullopt)))));
    EXPECT_EQ(fontOf(applied(AnyTextProperty(property::bold, property::italic))),
              Font::body().bold().italic());
}

TEST(TextPropertyTest, ErasedPropertiesDoNotNestAndCompareByTypeAndValue) {
    // Wrapping an erased scale applies the scale once, not twice.
    const AnyTextProperty scale(property::fontScale(0.5));
    const AnyTextProperty again(scale);
    TextEnvironmentValues twenty;
    twenty.font = Font::system(20.0);
    EXPECT_DOUBLE_EQ(fontOf(applied(again, {}, twenty))->pointSize(), 10);
    ASSERT_NE(again.as<vellum::FontScaleProperty>(), nullptr);

    EXPECT_EQ(AnyTextProperty(property::bold), AnyTextProperty(property::bold));
    EXPECT_NE(AnyTextProperty(property::bold), AnyTextProperty(property::italic));
    EXPECT_NE(AnyTextProperty(property::kerning(1)), AnyTextProperty(property::tracking(1)));
    EXPECT_NE(AnyTextProperty(property::kerning(1)), AnyTextProperty(property::kerning(2)));
    EXPECT_EQ(AnyTextProperty(property::kerning(0.0)), AnyTextProperty(property::kerning(-0.0)));
    EXPECT_EQ(AnyTextProperty(property::kerning(0.0)).hash(),
              AnyTextProperty(property::kerning(-0.0)).hash());

    const AnyTextProperty boldItalic(property::bold, property::italic);
    EXPECT_EQ(boldItalic, AnyTextProperty(property::bold, property::italic));
    EXPECT_NE(boldItalic, AnyTextProperty(property::italic, property::bold));
    EXPECT_EQ(vellum::TupleTextProperty(), vellum::TupleTextProperty());

    // Distinct properties spread over a hash set.
    const std::unordered_set<AnyTextProperty> set{AnyTextProperty(property::bold),
                                                  AnyTextProperty(property::italic),
                                                  AnyTextProperty(property::monospaced),
                                                  AnyTextProperty(property::bold),
                                                  AnyTextProperty(property::fontScale(2)),
                                                  AnyTextProperty(property::fontScale(2)),
                                                  boldItalic};
    EXPECT_EQ(set.size(), 5U);
}

} // namespace

// The inline style over the runs of parsed text: which field reaches which run and in what order,
// what the builders keep and drop, and the look of the two ready-made styles in light and dark.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

#include <gtest/gtest.h>

namespace {

using platform::AttributeContainer;
using platform::AttributedString;
using platform::Color;
using platform::Font;
using platform::InlinePresentationIntent;
using vellum::InlineStyle;
using vellum::TextEnvironmentValues;
using Attributes = vellum::TextAttributeScope;
using Intent = platform::AttributeScopes::FoundationAttributes::InlinePresentationIntentAttribute;
using Link = platform::AttributeScopes::FoundationAttributes::LinkAttribute;
namespace property = vellum::textProperty;

AttributeContainer intent(InlinePresentationIntent value) {
    AttributeContainer container;
    container.set<Intent>(value);
    return container;
}

AttributeContainer link(AttributeContainer container = {}) {
    container.set<Link>(platform::URL::fromString("https://example.com/").value());
    return container;
}

// The attributes of the one run covering `text` after styling.
AttributeContainer styled(const InlineStyle& style, const AttributeContainer& attributes,
                          const TextEnvironmentValues& environment = {}) {
    AttributedString text("word", attributes);
    style.apply(text, environment);
    EXPECT_EQ(text.runs().size(), 1U);
    return text.runs()[0].attributes;
}

std::optional<Font> fontOf(const AttributeContainer& container) {
    if (const Font* font = container.get<Attributes::FontAttribute>()) {
        return *font;
    }
    return std::nullopt;
}

std::optional<Color> colorOf(const AttributeContainer& container) {
    if (const Color* color = container.get<Attributes::ForegroundColorAttribute>()) {
        return *color;
    }
    return std::nullopt;
}

// Distinct colours that show which field ran last.
InlineStyle tracer() {
    return InlineStyle()
        .withCode(property::foregroundColor(Color(1, 0, 0)))
        .withEmphasis(property::foregroundColor(Color(0, 1, 0)), property::italic)
        .withStrong(property::foregroundColor(Color(0, 0, 1)), property::bold)
        .withStrikethrough(property::foregroundColor(Color(1, 1, 0)))
        .withLink(property::foregroundColor(Color(0, 1, 1)));
}

TEST(InlineStyleTest, EachFieldStylesItsOwnKindOfRun) {
    const InlineStyle style;
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::code()))),
              Font::body().monospaced());
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::emphasized()))),
              Font::body().italic());
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::stronglyEmphasized()))),
              Font::body().bold());
    const AttributeContainer struck =
        styled(style, intent(InlinePresentationIntent::strikethrough()));
    ASSERT_NE(struck.get<Attributes::StrikethroughStyleAttribute>(), nullptr);
    EXPECT_EQ(*struck.get<Attributes::StrikethroughStyleAttribute>(), platform::TextLineStyle{});
    EXPECT_EQ(colorOf(styled(style, link())), Color::accentColor());

    // Line breaks and HTML select no field.
    const AttributeContainer breaks =
        intent(InlinePresentationIntent::softBreak() | InlinePresentationIntent::lineBreak() |
               InlinePresentationIntent::inlineHTML());
    EXPECT_EQ(styled(style, breaks), breaks);
}

TEST(InlineStyleTest, FieldsRunInAFixedOrderAndSeeEachOther) {
    // Strong after emphasis, whatever the bits: the italic survives into the bold font.
    const AttributeContainer both =
        styled(tracer(), intent(InlinePresentationIntent::stronglyEmphasized() |
                                InlinePresentationIntent::emphasized()));
    EXPECT_EQ(fontOf(both), Font::body().italic().bold());
    EXPECT_EQ(colorOf(both), Color(0, 0, 1));

    // Code before emphasis, strikethrough after strong, link last of all.
    EXPECT_EQ(colorOf(styled(tracer(), intent(InlinePresentationIntent::code() |
                                              InlinePresentationIntent::emphasized()))),
              Color(0, 1, 0));
    EXPECT_EQ(colorOf(styled(tracer(), intent(InlinePresentationIntent::stronglyEmphasized() |
                                              InlinePresentationIntent::strikethrough()))),
              Color(1, 1, 0));
    EXPECT_EQ(colorOf(styled(tracer(), link(intent(InlinePresentationIntent::code() |
                                                   InlinePresentationIntent::strikethrough())))),
              Color(0, 1, 1));
}

TEST(InlineStyleTest, StyleOverridesTheRunAndLeavesPlainRunsAlone) {
    AttributeContainer red = link();
    red.set<Attributes::ForegroundColorAttribute>(Color(1, 0, 0));
    red.set<Attributes::KerningAttribute>(2.0);
    const AttributeContainer result = styled(tracer(), red);
    EXPECT_EQ(colorOf(result), Color(0, 1, 1));
    ASSERT_NE(result.get<Attributes::KerningAttribute>(), nullptr);
    EXPECT_EQ(*result.get<Attributes::KerningAttribute>(), 2.0);

    AttributedString text("plain *em* plain", {});
    text.setAttribute<Intent>({{6}, {8}}, InlinePresentationIntent::emphasized());
    const AttributedString before = text;
    tracer().apply(text, {});
    ASSERT_EQ(text.runs().size(), 3U);
    EXPECT_EQ(text.runs()[0].attributes, before.runs()[0].attributes);
    EXPECT_EQ(text.runs()[2].attributes, before.runs()[2].attributes);
    EXPECT_EQ(colorOf(text.runs()[1].attributes), Color(0, 1, 0));
}

TEST(InlineStyleTest, BuildersReplaceOneFieldWithATuple) {
    const InlineStyle plain;
    // Even a single property is wrapped, so it is not the bare default any more.
    EXPECT_NE(plain.withCode(property::monospaced), plain);
    EXPECT_EQ(plain.withCode(property::monospaced), plain.withCode(property::monospaced));

    const InlineStyle twice = plain.withStrong(property::italic).withStrong(property::monospaced);
    EXPECT_EQ(twice, plain.withStrong(property::monospaced));
    EXPECT_EQ(fontOf(styled(twice, intent(InlinePresentationIntent::stronglyEmphasized()))),
              Font::body().monospaced());
    // The receiver and the other fields are untouched.
    EXPECT_EQ(twice.code, plain.code);
    EXPECT_EQ(twice.link, plain.link);
    EXPECT_EQ(plain.strong, InlineStyle().strong);

    // No properties at all: strong text keeps its weight.
    const AttributeContainer none =
        styled(plain.withStrong(), intent(InlinePresentationIntent::stronglyEmphasized()));
    EXPECT_EQ(fontOf(none), std::nullopt);
}

TEST(InlineStyleTest, EqualStylesHashAlike) {
    EXPECT_EQ(InlineStyle::gitHub(), InlineStyle::gitHub());
    EXPECT_EQ(std::hash<InlineStyle>{}(InlineStyle::gitHub()),
              std::hash<InlineStyle>{}(InlineStyle::gitHub()));
    EXPECT_NE(InlineStyle::gitHub(), InlineStyle::defaultStyle());
    // Swapping two fields makes a different style.
    InlineStyle swapped;
    std::swap(swapped.emphasis, swapped.strong);
    EXPECT_NE(swapped, InlineStyle());
    EXPECT_NE(std::hash<InlineStyle>{}(swapped), std::hash<InlineStyle>{}(InlineStyle()));
}

TEST(InlineStyleTest, DefaultPresetInLightAndDark) {
    const InlineStyle style = InlineStyle::defaultStyle();
    TextEnvironmentValues light;
    light.font = Font::system(20.0);
    TextEnvironmentValues dark = light;
    dark.colorScheme = platform::ColorScheme::dark;

    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::code()), light)),
              Font::system(20.0).monospaced().scaled(0.94));
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::stronglyEmphasized()), light)),
              Font::system(20.0).weight(Font::Weight::semibold()));
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::emphasized()), light)),
              Font::system(20.0).italic());
    EXPECT_EQ(colorOf(styled(style, link(), light)), Color(0.2, 0.4, 1.0));
    EXPECT_EQ(colorOf(styled(style, link(), dark)), Color(0.0, 0.6, 1.0));
    EXPECT_NE(styled(style, intent(InlinePresentationIntent::strikethrough()), light)
                  .get<Attributes::StrikethroughStyleAttribute>(),
              nullptr);

    // Unwritten, the environment holds this style.
    EXPECT_EQ(vellum::structured::inlineStyle(platform::ui::EnvironmentValues()), style);
}

TEST(InlineStyleTest, GitHubPresetInLightAndDark) {
    const InlineStyle style = InlineStyle::gitHub();
    TextEnvironmentValues light;
    light.font = Font::system(20.0);
    TextEnvironmentValues dark = light;
    dark.colorScheme = platform::ColorScheme::dark;

    const AttributeContainer code = styled(style, intent(InlinePresentationIntent::code()), light);
    EXPECT_EQ(fontOf(code), Font::system(20.0).monospaced().scaled(0.85));
    ASSERT_NE(code.get<Attributes::BackgroundColorAttribute>(), nullptr);
    EXPECT_EQ(*code.get<Attributes::BackgroundColorAttribute>(),
              Color(247 / 255.0, 247 / 255.0, 249 / 255.0));
    EXPECT_EQ(*styled(style, intent(InlinePresentationIntent::code()), dark)
                   .get<Attributes::BackgroundColorAttribute>(),
              Color(37 / 255.0, 38 / 255.0, 42 / 255.0));
    EXPECT_EQ(fontOf(styled(style, intent(InlinePresentationIntent::stronglyEmphasized()), light)),
              Font::system(20.0).weight(Font::Weight::semibold()));
    EXPECT_EQ(colorOf(styled(style, link(), light)), Color(44 / 255.0, 101 / 255.0, 207 / 255.0));
    EXPECT_EQ(colorOf(styled(style, link(), dark)), Color(76 / 255.0, 142 / 255.0, 248 / 255.0));
}

TEST(InlineStyleTest, StylesParsedMarkdown) {
    const auto parser = vellum::AttributedStringMarkdownParser::inlineMarkdown();
    AttributedString text = parser.attributedString("a `b` ***c*** [d](https://e.org) ~~f~~");
    InlineStyle::gitHub().apply(text, {});
    std::size_t monospaced = 0;
    std::size_t linked = 0;
    for (const auto& run : text.runs()) {
        const std::string_view chars =
            text.characters().substr(run.range.lowerBound.offset, run.range.length());
        if (chars == "b") {
            monospaced += fontOf(run.attributes) == Font::body().monospaced().scaled(0.85) ? 1 : 0;
        } else if (chars == "c") {
            EXPECT_EQ(fontOf(run.attributes),
                      Font::body().italic().weight(Font::Weight::semibold()));
        } else if (chars == "d") {
            linked += colorOf(run.attributes) == Color(44 / 255.0, 101 / 255.0, 207 / 255.0);
        } else if (chars == "f") {
            EXPECT_NE(run.attributes.get<Attributes::StrikethroughStyleAttribute>(), nullptr);
        }
    }
    EXPECT_EQ(monospaced, 1U);
    EXPECT_EQ(linked, 1U);
}

} // namespace

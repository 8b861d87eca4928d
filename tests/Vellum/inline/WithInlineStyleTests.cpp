#include "Vellum/inline/WithInlineStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/DynamicColor.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;
using platform::AttributeContainer;
using platform::AttributedString;
using platform::Color;
using Foundation = platform::AttributeScopes::FoundationAttributes;

const Color lightBlue(0, 0, 1), darkBlue(0, 0, 0.5), green(0, 1, 0);

vellum::InlineStyle linkStyle(Color light, Color dark) {
    return vellum::InlineStyle().withLink(
        vellum::ForegroundColorProperty{vellum::DynamicColor(light, dark)});
}

AttributedString linked(const char* text) {
    AttributeContainer link;
    link.set<Foundation::LinkAttribute>(*platform::URL::fromString("https://example.com"));
    AttributedString result("go ", {});
    result.append(text, link);
    return result;
}

// Every text the content was handed, in order.
using Seen = std::shared_ptr<std::vector<AttributedString>>;

ui::AnyView view(const AttributedString& input, const vellum::InlineStyle& style,
                 platform::ColorScheme scheme, const Seen& seen) {
    return ui::AnyView(vellum::WithInlineStyle(input,
                                               [seen](const AttributedString& styled) {
                                                   seen->push_back(styled);
                                                   return ui::AnyView(ui::Text(styled.string()));
                                               }))
        .environment<vellum::structured::InlineStyleKey>(style)
        .environment<ui::ColorSchemeKey>(scheme);
}

// The foreground colour of the run holding `text`'s last character.
std::optional<Color> lastColor(const AttributedString& text) {
    std::optional<Color> color;
    for (const auto& run : text.runs()) {
        const auto* c = run.get<vellum::TextAttributeScope::ForegroundColorAttribute>();
        color = c != nullptr ? std::optional(*c) : std::nullopt;
    }
    return color;
}

} // namespace

TEST(WithInlineStyle, StylesOnFirstShowingAndAgainOnEveryChangeOfItsThreeInputs) {
    const Seen seen = std::make_shared<std::vector<AttributedString>>();
    ui::OffscreenHost host(
        view(linked("here"), linkStyle(lightBlue, darkBlue), platform::ColorScheme::light, seen));
    host.runUntilIdle();
    ASSERT_FALSE(seen->empty());
    EXPECT_EQ(seen->back().string(), "go here");
    EXPECT_EQ(lastColor(seen->back()), lightBlue);
    // The parsed attributes the style does not set stay on the runs.
    bool linkKept = false;
    for (const auto& run : seen->back().runs()) {
        linkKept = linkKept || run.get<Foundation::LinkAttribute>() != nullptr;
    }
    EXPECT_TRUE(linkKept);

    // Only the colour scheme changes: the same text and style resolve anew.
    host.setRootView(
        view(linked("here"), linkStyle(lightBlue, darkBlue), platform::ColorScheme::dark, seen));
    host.runUntilIdle();
    EXPECT_EQ(lastColor(seen->back()), darkBlue);

    // Only the style changes.
    host.setRootView(
        view(linked("here"), linkStyle(green, green), platform::ColorScheme::dark, seen));
    host.runUntilIdle();
    EXPECT_EQ(lastColor(seen->back()), green);

    // A new text replaces the result wholesale: nothing of the earlier one is kept.
    host.setRootView(view(AttributedString("plain", {}), linkStyle(green, green),
                          platform::ColorScheme::dark, seen));
    host.runUntilIdle();
    EXPECT_EQ(seen->back().string(), "plain");
    EXPECT_EQ(lastColor(seen->back()), std::nullopt);
}

namespace {

// What a styled fragment laid out, after each layout pass: its text and the colour of its last run.
struct Laid {
    std::string text;
    std::optional<Color> lastColour;
};

ui::AnyView fragment(const AttributedString& input, const vellum::InlineStyle& style,
                     const std::shared_ptr<Laid>& laid) {
    return ui::AnyView(vellum::StyledTextFragment(input))
        .onPreferenceChange<ui::Text::LayoutKey>([laid](const ui::Text::LayoutKey::Value& layouts) {
            *laid = Laid{};
            for (const ui::Text::AnchoredLayout& anchored : layouts) {
                laid->text += anchored.layout.base().string();
                for (const auto& line : anchored.layout.lines()) {
                    for (const auto& run : line.runs) {
                        const ui::Text::Run* source = anchored.layout.sourceRun(run);
                        laid->lastColour =
                            source != nullptr ? source->attributes->foregroundColor : std::nullopt;
                    }
                }
            }
        })
        .environment<vellum::structured::InlineStyleKey>(style);
}

} // namespace

// The fragment styles and lays out its text in its own body: a new text or a new style shows in
// the update that brought it, never the text it was first made with.
TEST(StyledTextFragment, LaysOutEachNewTextAndStyleInTheUpdateThatBringsIt) {
    const auto laid = std::make_shared<Laid>();
    ui::OffscreenHost host(fragment(linked("here"), linkStyle(lightBlue, lightBlue), laid),
                           {300, std::nullopt});
    host.graph().update();
    EXPECT_EQ(laid->text, "go here");
    EXPECT_EQ(laid->lastColour, lightBlue);

    host.setRootView(fragment(linked("there"), linkStyle(lightBlue, lightBlue), laid));
    host.graph().update();
    EXPECT_EQ(laid->text, "go there");

    host.setRootView(fragment(linked("there"), linkStyle(green, green), laid));
    host.graph().update();
    EXPECT_EQ(laid->text, "go there");
    EXPECT_EQ(laid->lastColour, green);

    host.setRootView(fragment(AttributedString("plain", {}), linkStyle(green, green), laid));
    host.graph().update();
    EXPECT_EQ(laid->text, "plain");
    EXPECT_EQ(laid->lastColour, std::nullopt);
}

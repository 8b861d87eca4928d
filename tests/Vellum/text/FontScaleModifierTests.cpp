// The font scale modifier in a live view tree: the font inside is the font outside scaled (the
// body font when none is set), nested modifiers compound, and text laid out inside grows and
// shrinks with it.

#include "Vellum/text/FontScaleModifier.hpp"
#include "Vellum/text/FontScaled.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <memory>

namespace {

using platform::Font;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::Text;
using platform::ui::ViewContext;
using vellum::FontScaleModifier;

// Records the font its environment holds.
struct FontProbe {
    std::shared_ptr<std::optional<Font>> seen;
    AnyView body(ViewContext& context) const {
        *seen = vellum::TextEnvironmentValues(context.environment()).font;
        return AnyView(Text("Hg"));
    }
};

std::optional<Font> probe(const std::function<AnyView(AnyView)>& wrap) {
    auto seen = std::make_shared<std::optional<Font>>();
    OffscreenHost host(wrap(AnyView(FontProbe{seen})));
    (void)host.size();
    return *seen;
}

TEST(FontScaleModifierTest, ScalesTheSurroundingFontOrTheBodyFont) {
    const std::optional<Font> inTwenty = probe(
        [](AnyView v) { return v.modifier(FontScaleModifier{0.85}).font(Font::system(20.0)); });
    ASSERT_TRUE(inTwenty);
    EXPECT_DOUBLE_EQ(inTwenty->pointSize(), 17);
    EXPECT_EQ(*inTwenty, Font::system(20.0).scaled(0.85));

    const std::optional<Font> noFont =
        probe([](AnyView v) { return v.modifier(FontScaleModifier{2}); });
    ASSERT_TRUE(noFont);
    EXPECT_DOUBLE_EQ(noFont->pointSize(), 2 * Font::pointSize(Font::TextStyle::body));

    // One leaves the font as it was.
    EXPECT_EQ(probe([](AnyView v) {
                  return v.modifier(FontScaleModifier{1}).font(Font::title().bold());
              }),
              Font::title().bold());
    EXPECT_EQ(probe([](AnyView v) { return v.modifier(FontScaleModifier{1}); }), Font::body());
}

TEST(FontScaleModifierTest, NestedModifiersCompound) {
    const std::optional<Font> quarter = probe([](AnyView v) {
        return v.modifier(FontScaleModifier{0.5})
            .modifier(FontScaleModifier{0.5})
            .font(Font::system(32.0));
    });
    ASSERT_TRUE(quarter);
    EXPECT_DOUBLE_EQ(quarter->pointSize(), 8);

    // Em-based values inside follow the scaled font.
    vellum::TextEnvironmentValues inside;
    inside.font = quarter;
    EXPECT_DOUBLE_EQ(vellum::FontScaled<double>(1.5).resolve(inside), 12);
}

TEST(FontScaleModifierTest, TextInsideIsLaidOutAtTheScaledSize) {
    const auto text = [] { return AnyView(Text("Scaled text")); };
    OffscreenHost plain(text().font(Font::system(16.0)));
    OffscreenHost doubled(text().modifier(FontScaleModifier{2}).font(Font::system(16.0)));
    const platform::Size small = plain.size();
    const platform::Size large = doubled.size();
    ASSERT_GT(small.width, 0);
    EXPECT_NEAR(large.width, 2 * small.width, 2);
    EXPECT_NEAR(large.height, 2 * small.height, 2);
}

} // namespace

// Em-based values resolved against real font sizes: the environment's font (the body font when it
// has none) scales every kind of value, absent dimensions stay absent, an unreadable font leaves
// values at their raw magnitude, and the coded form is an object with one "value".

#include "Vellum/text/FontScaled.hpp"
#include "Vellum/text/FontScaledView.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/foundation/DecodingError.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

using platform::Font;
using platform::Size;
using vellum::FontScaled;
using vellum::TextEnvironmentValues;

TextEnvironmentValues withFont(std::optional<Font> font) {
    TextEnvironmentValues env;
    env.font = std::move(font);
    return env;
}

TEST(FontScaledTest, ValuesScaleByThePointSizeOfTheEnvironmentsFont) {
    const double body = Font::pointSize(Font::TextStyle::body);
    // No font is the body font, not a size of one point.
    EXPECT_EQ(FontScaled<double>(1.0).resolve(withFont(std::nullopt)), body);
    EXPECT_EQ(FontScaled<double>(1.0).resolve(withFont(Font::body())), body);

    const TextEnvironmentValues seventeen = withFont(Font::system(17.0));
    EXPECT_EQ(FontScaled<Size>::fontScaled(1, 1).resolve(seventeen), (Size{17, 17}));
    EXPECT_DOUBLE_EQ(vellum::EmojiProperties::defaultValue().baselineOffset.resolve(seventeen),
                     -1.7);
    EXPECT_EQ(FontScaled<platform::EdgeInsets>::fontScaled(1, 0.5, 2, 0).resolve(seventeen),
              (platform::EdgeInsets{17, 8.5, 34, 0}));
    EXPECT_EQ(FontScaled<float>(2.0F).resolve(seventeen), 34.0F);

    // Modifiers that change the size count: a title scaled by a half.
    const TextEnvironmentValues halfTitle = withFont(Font::title().bold().scaled(0.5));
    EXPECT_DOUBLE_EQ(FontScaled<double>(2).resolve(halfTitle),
                     Font::pointSize(Font::TextStyle::title));
}

TEST(FontScaledTest, AbsentProposalDimensionsStayAbsent) {
    const FontScaled<platform::ui::ProposedViewSize> proposal(
        platform::ui::ProposedViewSize(std::nullopt, 2.0));
    const platform::ui::ProposedViewSize resolved = proposal.resolve(withFont(Font::system(10.0)));
    EXPECT_FALSE(resolved.width.has_value());
    EXPECT_EQ(resolved.height, 20.0);
}

TEST(FontScaledTest, AnUnreadableFontLeavesTheRawMagnitude) {
    const TextEnvironmentValues broken =
        withFont(Font::system(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(FontScaled<double>(0.25).resolve(broken), 0.25);
    EXPECT_EQ(FontScaled<Size>::fontScaled(1, 2).resolve(broken), (Size{1, 2}));
}

TEST(FontScaledTest, CodedFormHasTheSingleMemberValue) {
    const std::string json = platform::JSONEncoder().encode(FontScaled<double>(0.5));
    EXPECT_EQ(json, R"({"value":0.5})");
    EXPECT_EQ(platform::JSONDecoder().decode<FontScaled<double>>(json), FontScaled<double>(0.5));
    try {
        (void)platform::JSONDecoder().decode<FontScaled<double>>(R"({"size":0.5})");
        FAIL() << "a missing value decoded";
    } catch (const platform::DecodingError& error) {
        EXPECT_EQ(error.kind(), platform::DecodingError::Kind::keyNotFound);
    }
}

// The content draws a bar as wide as the value it was handed.
TEST(FontScaledViewTest, ContentGetsTheValueResolvedForItsFont) {
    auto seen = std::make_shared<std::vector<double>>();
    const auto probe = [seen](double width) {
        seen->push_back(width);
        return platform::ui::AnyView(platform::ui::Rectangle().frame(width, 4));
    };
    const platform::ui::AnyView view =
        platform::ui::AnyView(vellum::WithFontScaledValue<double>(FontScaled<double>(2), probe))
            .font(Font::system(15.0));
    platform::ui::OffscreenHost host(view);
    EXPECT_EQ(host.size().width, 30);
    ASSERT_FALSE(seen->empty());
    EXPECT_EQ(seen->back(), 30);

    // A new font above re-evaluates the value.
    host.setRootView(
        platform::ui::AnyView(vellum::WithFontScaledValue<double>(FontScaled<double>(2), probe))
            .font(Font::system(11.0)));
    host.runUntilIdle();
    EXPECT_EQ(seen->back(), 22);
    EXPECT_EQ(host.size().width, 22);
}

} // namespace

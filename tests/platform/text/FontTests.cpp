#include "platform/text/Font.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

namespace platform {
namespace {

struct StyleCase {
    Font font;
    double size;
    double weight;
};

TEST(FontResolution, EachTextStyleResolvesToInterAtItsSize) {
    const std::vector<StyleCase> cases = {
        {Font::largeTitle(), 26, 400}, {Font::title(), 22, 400},    {Font::title2(), 17, 400},
        {Font::title3(), 15, 400},     {Font::headline(), 13, 600}, {Font::subheadline(), 11, 400},
        {Font::body(), 13, 400},       {Font::callout(), 12, 400},  {Font::footnote(), 10, 400},
        {Font::caption(), 10, 400},    {Font::caption2(), 10, 400},
    };
    for (const StyleCase& c : cases) {
        const std::optional<ResolvedFont> resolved = c.font.resolve();
        ASSERT_TRUE(resolved);
        EXPECT_EQ(resolved->family, "Inter");
        EXPECT_DOUBLE_EQ(resolved->size, c.size);
        EXPECT_DOUBLE_EQ(resolved->weight, c.weight);
        EXPECT_DOUBLE_EQ(c.font.pointSize(), c.size);
        EXPECT_NE(resolved->file.find("Inter"), std::string::npos) << resolved->file;
    }
    // Headline's own weight is semibold: the face is Inter's semibold file.
    EXPECT_NE(Font::headline().resolve()->postScriptName.find("SemiBold"), std::string::npos);
}

TEST(FontResolution, ModifiersPickTheMatchingFace) {
    const ResolvedFont bold = *Font::body().bold().resolve();
    EXPECT_EQ(bold.family, "Inter");
    EXPECT_DOUBLE_EQ(bold.weight, 700);
    EXPECT_EQ(bold.postScriptName, "Inter-Bold");

    const ResolvedFont boldItalic = *Font::body().bold().italic().resolve();
    EXPECT_TRUE(boldItalic.italic);
    EXPECT_EQ(boldItalic.postScriptName, "Inter-BoldItalic");

    const ResolvedFont mono = *Font::callout().monospaced().resolve();
    EXPECT_EQ(mono.family, "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(mono.size, 12);
    EXPECT_EQ(Font::system(14, std::nullopt, Font::Design::monospaced).resolve()->family,
              "DejaVu Sans Mono");

    EXPECT_EQ(Font::system(Font::TextStyle::body, Font::Design::serif).resolve()->family,
              "Noto Serif");
    EXPECT_EQ(Font::system(Font::TextStyle::body, Font::Design::rounded).resolve()->family,
              "Inter");

    const ResolvedFont scaled = *Font::title().scaled(1.5).scaled(2).resolve();
    EXPECT_DOUBLE_EQ(scaled.size, 66);

    const ResolvedFont features = *Font::body().monospacedDigit().smallCaps().resolve();
    EXPECT_TRUE(features.hasFeature("tnum"));
    EXPECT_TRUE(features.hasFeature("smcp"));
    EXPECT_TRUE(features.hasFeature("c2sc"));

    EXPECT_EQ(Font::body().leading(Font::Leading::tight).resolve()->leading, FontLeading::tight);
}

TEST(FontResolution, NamedAndWrappedFonts) {
    const ResolvedFont named = *Font::custom("DejaVu Sans Mono", 20).resolve();
    EXPECT_EQ(named.family, "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(named.size, 20);

    // A wrapped face keeps its identity unless a modifier asks for another face.
    const Font wrapped(named);
    EXPECT_EQ(*wrapped.resolve(), named);
    EXPECT_DOUBLE_EQ(wrapped.scaled(0.5).resolve()->size, 10);
    EXPECT_EQ(wrapped.bold().resolve()->postScriptName, "DejaVuSansMono-Bold");

    // An unknown family still resolves to some installed face rather than failing.
    const std::optional<ResolvedFont> unknown = Font::custom("No Such Family 1234", 12).resolve();
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->file.empty());
}

TEST(FontResolution, FallbackForMissingCharacters) {
    const ResolvedFont body = *Font::body().resolve();
    EXPECT_TRUE(body.covers(U'a'));
    EXPECT_EQ(body.fallback(U'a')->family, "Inter");

    const std::optional<ResolvedFont> emoji = body.fallback(U'\U0001F600');
    ASSERT_TRUE(emoji);
    EXPECT_EQ(emoji->family, "Noto Color Emoji");
    EXPECT_DOUBLE_EQ(emoji->size, 13);

    const std::optional<ResolvedFont> hebrew = body.fallback(U'\u05D0');
    ASSERT_TRUE(hebrew);
    EXPECT_TRUE(hebrew->covers(U'\u05D0'));
    EXPECT_NE(hebrew->family, "Inter");

    // A private-use code point nobody draws has no fallback.
    EXPECT_FALSE(body.fallback(U'\U000E0FF0'));
}

TEST(FontDescription, TreeEqualityAndHashing) {
    EXPECT_EQ(Font::body(), Font());
    EXPECT_EQ(Font::body().bold().italic(), Font::body().bold().italic());
    EXPECT_NE(Font::body().bold().italic(), Font::body().italic().bold());
    EXPECT_EQ(Font::body().bold().hash(), Font::body().bold().hash());
    EXPECT_EQ(Font::system(0.0), Font::system(-0.0));
    EXPECT_EQ(Font::system(0.0).hash(), Font::system(-0.0).hash());
    EXPECT_NE(Font::custom("A", 12), Font::custom("A", 12, Font::TextStyle::body));

    std::unordered_set<Font> set{Font::body(), Font::body(), Font::title().bold(),
                                 Font::title().weight(Font::Weight::bold())};
    EXPECT_EQ(set.size(), 3u);

    // The tree reads back outermost modifier first.
    const Font font = Font::headline().bold().italic();
    const auto& outer = std::get<Font::ModifierProvider>(font.provider());
    EXPECT_TRUE(std::holds_alternative<Font::ItalicModifier>(outer.modifier));
    const auto& inner = std::get<Font::ModifierProvider>(outer.base.provider());
    EXPECT_TRUE(std::holds_alternative<Font::BoldModifier>(inner.modifier));
    EXPECT_EQ(std::get<Font::TextStyleProvider>(inner.base.provider()).style,
              Font::TextStyle::headline);

    const Font upper = Font::body().uppercaseSmallCaps();
    const auto& caps = std::get<Font::ModifierProvider>(upper.provider());
    EXPECT_EQ(std::get<Font::FeatureSettingModifier>(caps.modifier),
              (Font::FeatureSettingModifier{38, 1}));
}

TEST(FontDescription, PlainStylesAndRepeatedVariantsAreWhatWasAskedFor) {
    for (const Font::TextStyle style :
         {Font::TextStyle::largeTitle, Font::TextStyle::title, Font::TextStyle::title2,
          Font::TextStyle::title3, Font::TextStyle::headline, Font::TextStyle::subheadline,
          Font::TextStyle::body, Font::TextStyle::callout, Font::TextStyle::footnote,
          Font::TextStyle::caption, Font::TextStyle::caption2}) {
        const Font font = Font::system(style);
        const auto& provider = std::get<Font::TextStyleProvider>(font.provider());
        EXPECT_EQ(provider.style, style);
        EXPECT_FALSE(provider.design || provider.weight);
        EXPECT_EQ(font, Font::system(style, std::nullopt, std::nullopt));
        EXPECT_NE(font, Font::system(style, Font::Design::serif));
        EXPECT_NE(font, Font::system(style, std::nullopt, Font::Weight::bold()));
        EXPECT_DOUBLE_EQ(font.bold().pointSize(), Font::pointSize(style));
    }
    EXPECT_EQ(std::get<Font::TextStyleProvider>(Font().provider()).style, Font::TextStyle::body);

    // Variants asked for again and again, of more kinds and bases than are kept at once, each
    // come out as asked, over the font they were asked of.
    const Font base = Font::system(15);
    for (int round = 0; round < 3; ++round) {
        for (const double weight : {-0.8, -0.6, -0.4, 0.0, 0.23, 0.3, 0.4, 0.56, 0.62, 0.7}) {
            const Font font = base.weight(Font::Weight{weight});
            const auto& outer = std::get<Font::ModifierProvider>(font.provider());
            EXPECT_EQ(std::get<Font::WeightModifier>(outer.modifier).weight.value, weight);
            EXPECT_EQ(outer.base, base);
        }
        const Font other = Font::system(16);
        EXPECT_EQ(std::get<Font::ModifierProvider>(other.bold().provider()).base, other);
        EXPECT_EQ(std::get<Font::ModifierProvider>(base.bold().provider()).base, base);
        EXPECT_DOUBLE_EQ(other.bold().pointSize(), 16);
        EXPECT_DOUBLE_EQ(base.italic().pointSize(), 15);
        EXPECT_TRUE(std::holds_alternative<Font::ItalicModifier>(
            std::get<Font::ModifierProvider>(base.italic().provider()).modifier));
    }
}

TEST(FontDescription, WeightScale) {
    EXPECT_DOUBLE_EQ(Font::Weight::regular().openTypeWeight(), 400);
    EXPECT_DOUBLE_EQ(Font::Weight::semibold().openTypeWeight(), 600);
    EXPECT_DOUBLE_EQ(Font::Weight::black().openTypeWeight(), 900);
    EXPECT_DOUBLE_EQ(Font::Weight{-5}.openTypeWeight(), 100);
    EXPECT_DOUBLE_EQ(Font::Weight{0.2}.openTypeWeight(), 400 + 0.2 / 0.23 * 100);
}

} // namespace
} // namespace platform

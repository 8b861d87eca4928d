// Font providers derived from real font descriptions: each kind of font and modifier becomes the
// matching provider, sizes and rebuilt fonts follow the provider's scale, unreadable fonts yield
// nothing, and the shared cache keeps what it derived, bounded, from any thread.

#include "Vellum/text/FontProviderCache.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <thread>
#include <vector>

namespace {

using platform::Font;
using vellum::AnyFontProvider;
using vellum::FontProviderCache;
using vellum::TextEnvironmentValues;

const TextEnvironmentValues environment;

AnyFontProvider providerOf(const Font& font) {
    std::optional<AnyFontProvider> provider = vellum::reflectFontProvider(font);
    EXPECT_TRUE(provider.has_value());
    return provider.value_or(AnyFontProvider(vellum::SystemFontProvider{}));
}

template <class M>
using Static = vellum::StaticFontModifierProvider<AnyFontProvider, M>;
template <class M>
using Modified = vellum::FontModifierProvider<AnyFontProvider, M>;

TEST(FontProviderTest, BaseFontsBecomeTheirLeafProvidersAtScaleOne) {
    const AnyFontProvider style =
        providerOf(Font::system(Font::TextStyle::title, Font::Design::serif, Font::Weight::bold()));
    ASSERT_NE(style.as<vellum::TextStyleFontProvider>(), nullptr);
    EXPECT_EQ(*style.as<vellum::TextStyleFontProvider>(),
              (vellum::TextStyleFontProvider{Font::TextStyle::title, Font::Design::serif,
                                             Font::Weight::bold(), 1.0}));

    const AnyFontProvider system = providerOf(Font::system(20.0));
    EXPECT_EQ(system,
              AnyFontProvider(vellum::SystemFontProvider{20, std::nullopt, std::nullopt, 1.0}));

    const AnyFontProvider named = providerOf(Font::custom("Inter", 15));
    EXPECT_EQ(named, AnyFontProvider(vellum::NamedFontProvider{"Inter", 15, std::nullopt, 1.0}));
    const AnyFontProvider relative = providerOf(Font::custom("Inter", 15, Font::TextStyle::body));
    EXPECT_EQ(relative,
              AnyFontProvider(vellum::NamedFontProvider{"Inter", 15, Font::TextStyle::body, 1.0}));

    const std::optional<platform::ResolvedFont> face = Font::system(16.0).resolve();
    ASSERT_TRUE(face.has_value());
    const AnyFontProvider platformFace = providerOf(Font(*face));
    EXPECT_EQ(platformFace, AnyFontProvider(vellum::PlatformFontProvider{*face, 1.0}));
    EXPECT_EQ(platformFace.pointSize(environment), 16);
}

TEST(FontProviderTest, ModifiersWrapTheirBaseOutermostOutermost) {
    const AnyFontProvider styleLeaf(vellum::TextStyleFontProvider{});
    const AnyFontProvider italicBold = providerOf(Font::body().bold().italic());
    EXPECT_EQ(italicBold, AnyFontProvider(Static<vellum::ItalicFontModifier>{
                              AnyFontProvider(Static<vellum::BoldFontModifier>{styleLeaf})}));
    EXPECT_NE(italicBold, providerOf(Font::body().italic().bold()));

    EXPECT_EQ(providerOf(Font::body().monospaced()),
              AnyFontProvider(Static<vellum::MonospacedFontModifier>{styleLeaf}));
    EXPECT_EQ(providerOf(Font::body().monospacedDigit()),
              AnyFontProvider(Static<vellum::MonospacedDigitFontModifier>{styleLeaf}));
    EXPECT_EQ(providerOf(Font::body().weight(Font::Weight::heavy())),
              AnyFontProvider(Modified<vellum::WeightFontModifier>{
                  styleLeaf, vellum::WeightFontModifier{Font::Weight::heavy()}}));
    EXPECT_EQ(providerOf(Font::body().width(Font::Width::condensed())),
              AnyFontProvider(Modified<vellum::WidthFontModifier>{
                  styleLeaf, vellum::WidthFontModifier{Font::Width::condensed()}}));
    EXPECT_EQ(providerOf(Font::body().leading(Font::Leading::tight)),
              AnyFontProvider(Modified<vellum::LeadingFontModifier>{
                  styleLeaf, vellum::LeadingFontModifier{Font::Leading::tight}}));
    EXPECT_EQ(providerOf(Font::body().scaled(0.5)),
              AnyFontProvider(
                  Modified<vellum::ScaleFontModifier>{styleLeaf, vellum::ScaleFontModifier{0.5}}));
}

TEST(FontProviderTest, SmallCapsFeaturesBecomeModifiersAndOtherFeaturesAreDropped) {
    const AnyFontProvider styleLeaf(vellum::TextStyleFontProvider{});
    EXPECT_EQ(providerOf(Font::body().lowercaseSmallCaps()),
              AnyFontProvider(Static<vellum::LowercaseSmallCapsFontModifier>{styleLeaf}));
    EXPECT_EQ(providerOf(Font::body().uppercaseSmallCaps()),
              AnyFontProvider(Static<vellum::UppercaseSmallCapsFontModifier>{styleLeaf}));
    EXPECT_EQ(providerOf(Font::body().modified(Font::FeatureSettingModifier{37, 2})), styleLeaf);
    EXPECT_EQ(providerOf(Font::body().modified(Font::FeatureSettingModifier{1, 1}).bold()),
              AnyFontProvider(Static<vellum::BoldFontModifier>{styleLeaf}));
}

TEST(FontProviderTest, UnreadablePartsMakeTheWholeFontUnreadable) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(vellum::reflectFontProvider(Font::system(nan)));
    EXPECT_FALSE(vellum::reflectFontProvider(Font::system(-4.0)));
    EXPECT_FALSE(vellum::reflectFontProvider(Font::custom("Inter", infinity)));
    EXPECT_FALSE(vellum::reflectFontProvider(Font::body().scaled(infinity)));
    EXPECT_FALSE(vellum::reflectFontProvider(Font::body().weight(Font::Weight{nan})));
    // A readable modifier over an unreadable base is unreadable too.
    EXPECT_FALSE(vellum::reflectFontProvider(Font::system(nan).bold().italic()));

    // No font nests this deep; the walk gives up instead of running the stack out.
    Font deep = Font::body();
    for (int i = 0; i < 300; ++i) {
        deep = deep.bold();
    }
    EXPECT_FALSE(vellum::reflectFontProvider(deep));
}

TEST(FontProviderTest, PointSizesFollowStyleSizeAndScale) {
    const double largeTitle = Font::pointSize(Font::TextStyle::largeTitle);
    vellum::TextStyleFontProvider plain{Font::TextStyle::largeTitle};
    const vellum::TextStyleFontProvider bold{Font::TextStyle::largeTitle, Font::Design::serif,
                                             Font::Weight::bold()};
    EXPECT_EQ(plain.pointSize(environment), largeTitle);
    EXPECT_EQ(bold.pointSize(environment), largeTitle); // weight and design keep the size
    plain.setScale(1.5);
    EXPECT_EQ(plain.pointSize(environment), largeTitle * 1.5);

    // The scale factor of a font counts; a weight does not.
    AnyFontProvider scaled = providerOf(Font::system(20.0).scaled(0.85));
    EXPECT_DOUBLE_EQ(scaled.pointSize(environment), 17);
    EXPECT_EQ(providerOf(Font::system(20.0).weight(Font::Weight::light())).pointSize(environment),
              20);

    // Rescaling a wrapper reaches its base, and copies keep their own scale.
    const AnyFontProvider original = scaled;
    scaled.setScale(2);
    EXPECT_DOUBLE_EQ(scaled.pointSize(environment), 34);
    EXPECT_EQ(scaled.scale(), 2);
    EXPECT_DOUBLE_EQ(original.pointSize(environment), 17);
    EXPECT_EQ(original.scale(), 1);
}

TEST(FontProviderTest, RebuiltFontsHaveTheScaledSizeAndKeepTheirKind) {
    // At scale one a text style stays a text style, so it keeps following the style.
    const vellum::TextStyleFontProvider body{};
    EXPECT_EQ(body.font(environment), Font::system(Font::TextStyle::body));

    vellum::TextStyleFontProvider bodyTwice{Font::TextStyle::body, Font::Design::serif,
                                            Font::Weight::bold(), 2.0};
    const Font big = bodyTwice.font(environment);
    EXPECT_DOUBLE_EQ(big.pointSize(), 2 * Font::pointSize(Font::TextStyle::body));
    const std::optional<platform::ResolvedFont> bigFace = big.resolve();
    const std::optional<platform::ResolvedFont> styleFace =
        Font::system(Font::TextStyle::body, Font::Design::serif, Font::Weight::bold()).resolve();
    ASSERT_TRUE(bigFace && styleFace);
    EXPECT_EQ(bigFace->family, styleFace->family);
    EXPECT_EQ(bigFace->weight, styleFace->weight);

    vellum::SystemFontProvider system{20, Font::Weight::semibold(), Font::Design::rounded, 0.85};
    EXPECT_EQ(system.font(environment),
              Font::system(17.0, Font::Weight::semibold(), Font::Design::rounded));

    const vellum::NamedFontProvider fixed{"DejaVu Sans", 10, std::nullopt, 1.5};
    EXPECT_EQ(fixed.font(environment), Font::custom("DejaVu Sans", 15));
    const vellum::NamedFontProvider relative{"DejaVu Sans", 10, Font::TextStyle::title, 1.5};
    EXPECT_EQ(relative.font(environment), Font::custom("DejaVu Sans", 15, Font::TextStyle::title));

    const std::optional<platform::ResolvedFont> face = Font::system(16.0).resolve();
    ASSERT_TRUE(face.has_value());
    vellum::PlatformFontProvider platformFace{*face, 1.0};
    EXPECT_EQ(platformFace.font(environment), Font(*face)); // the very same face
    platformFace.setScale(0.5);
    EXPECT_EQ(platformFace.font(environment).pointSize(), 8);

    // A bold wrapper rescaled through its base builds the bold font at the new size.
    AnyFontProvider bold = providerOf(Font::system(12.0).bold());
    bold.setScale(2);
    EXPECT_EQ(bold.font(environment), Font::system(24.0).bold());
    AnyFontProvider halved = providerOf(Font::system(20.0).scaled(0.5));
    halved.setScale(2);
    EXPECT_EQ(halved.font(environment), Font::system(40.0).scaled(0.5));
}

TEST(FontProviderTest, ErasedProvidersCompareByTypeAndValue) {
    const AnyFontProvider a(vellum::SystemFontProvider{12});
    const AnyFontProvider b(vellum::SystemFontProvider{12});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_NE(a, AnyFontProvider(vellum::SystemFontProvider{12, Font::Weight::bold()}));
    EXPECT_NE(a.hash(),
              AnyFontProvider(vellum::SystemFontProvider{12, Font::Weight::bold()}).hash());
    // Same fields, other kind of font.
    EXPECT_NE(a, AnyFontProvider(vellum::NamedFontProvider{"", 12}));
    EXPECT_NE(AnyFontProvider(vellum::SystemFontProvider{12}),
              AnyFontProvider(vellum::SystemFontProvider{12, std::nullopt, std::nullopt, 2}));
    // Wrapping an erased provider again does not nest it.
    const AnyFontProvider again(a);
    EXPECT_NE(again.as<vellum::SystemFontProvider>(), nullptr);
}

TEST(FontProviderCacheTest, EqualFontsShareAnEntryAndUnreadableFontsAreNotKept) {
    FontProviderCache cache(10);
    const std::optional<AnyFontProvider> first = cache.provider(Font::system(14.0).bold());
    const std::optional<AnyFontProvider> second = cache.provider(Font::system(14.0).bold());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_EQ(cache.count(), 1U);

    const Font unreadable = Font::system(std::numeric_limits<double>::quiet_NaN()).bold();
    EXPECT_FALSE(cache.provider(unreadable));
    EXPECT_FALSE(cache.contains(unreadable));
    EXPECT_FALSE(cache.provider(unreadable));
    EXPECT_EQ(cache.count(), 1U);

    // Providers handed out are copies: rescaling one leaves the cached entry at scale one.
    std::optional<AnyFontProvider> copy = cache.provider(Font::system(14.0).bold());
    copy->setScale(3);
    EXPECT_EQ(cache.provider(Font::system(14.0).bold())->scale(), 1);
}

TEST(FontProviderCacheTest, TheCountLimitEvictsTheLeastRecentlyUsedFont) {
    FontProviderCache cache(100);
    for (int size = 1; size <= 100; ++size) {
        ASSERT_TRUE(cache.provider(Font::system(static_cast<double>(size))));
    }
    EXPECT_EQ(cache.count(), 100U);
    ASSERT_TRUE(cache.provider(Font::system(1.0))); // used again: the oldest is now size 2
    ASSERT_TRUE(cache.provider(Font::system(101.0)));
    EXPECT_EQ(cache.count(), 100U);
    EXPECT_TRUE(cache.contains(Font::system(1.0)));
    EXPECT_FALSE(cache.contains(Font::system(2.0)));

    // The evicted font is derived again, equal to what it was.
    EXPECT_EQ(cache.provider(Font::system(2.0)), AnyFontProvider(vellum::SystemFontProvider{2.0}));
}

TEST(FontProviderCacheTest, LookupsFromManyThreadsAgree) {
    FontProviderCache cache(16);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, &mismatches, t] {
            for (int i = 0; i < 500; ++i) {
                const double size = 8 + (i + t) % 24;
                const std::optional<AnyFontProvider> p =
                    cache.provider(Font::system(size).italic());
                if (!p || p->pointSize(environment) != size) {
                    ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    EXPECT_LE(cache.count(), 16U);
}

} // namespace

// Fontconfig keeps parts of its parsed configuration for the life of the process; it is not ours
// to free. (The library's tests are the first of this program to resolve real faces.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

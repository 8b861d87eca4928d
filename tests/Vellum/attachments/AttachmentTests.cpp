#include "Math/MathView.hpp"
#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/text/Resources.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>
#include <unordered_set>

namespace {

using platform::Size;
using platform::ui::ProposedViewSize;
using vellum::AnyAttachment;
using vellum::AttachmentSelectionStyle;
using vellum::EmojiAttachment;
using vellum::Image;
using vellum::ImageAttachment;
using vellum::MathAttachment;
using vellum::TextEnvironmentValues;

Image fixtureImage(const std::string& name) {
    std::ifstream in(std::string(MOSS_VELLUM_FIXTURES) + "/../images/loader/" + name,
                     std::ios::binary);
    const platform::Data bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    auto image = Image::fromData(bytes);
    EXPECT_TRUE(image) << name;
    return image.value_or(Image{});
}

// A picture of the given canvas without pixels: sizing reads only the canvas.
Image canvas(double width, double height) {
    Image image;
    image.size = {width, height};
    return image;
}

TextEnvironmentValues environmentWithFont(double pointSize) {
    TextEnvironmentValues environment;
    environment.font = platform::Font::system(pointSize);
    return environment;
}

const MathAttachment inlineFormula("x^2_i", MathAttachment::DisplayStyle::inline_);
const MathAttachment blockFormula("x^2_i", MathAttachment::DisplayStyle::block);

TEST(AttachmentIdentityTest, WrappingAnAnyAttachmentKeepsItsEqualityAndHash) {
    const AnyAttachment once(inlineFormula);
    const AnyAttachment twice(once);
    EXPECT_EQ(twice, once);
    EXPECT_EQ(std::hash<AnyAttachment>()(twice), std::hash<AnyAttachment>()(once));
    EXPECT_NE(twice.as<MathAttachment>(), nullptr);
}

TEST(AttachmentIdentityTest, KindsAndStylesKeepAttachmentsApart) {
    const Image image = fixtureImage("still.png");
    EXPECT_NE(AnyAttachment(ImageAttachment(image, "a")),
              AnyAttachment(EmojiAttachment(image, "a")));
    EXPECT_NE(AnyAttachment(EmojiAttachment(image, "a")),
              AnyAttachment(ImageAttachment(image, "a")));
    EXPECT_NE(AnyAttachment(inlineFormula), AnyAttachment(blockFormula));
    EXPECT_EQ(AnyAttachment(ImageAttachment(image, "a")),
              AnyAttachment(ImageAttachment(image, "a")));
    EXPECT_NE(AnyAttachment(ImageAttachment(image, "a")),
              AnyAttachment(ImageAttachment(image, "b")));

    // Equal attachments in different runs collapse in a set; distinct ones stay.
    const std::unordered_set<AnyAttachment> set = {
        AnyAttachment(EmojiAttachment(image, "a")), AnyAttachment(EmojiAttachment(image, "a")),
        AnyAttachment(inlineFormula), AnyAttachment(blockFormula)};
    EXPECT_EQ(set.size(), 3U);
}

TEST(AttachmentIdentityTest, TypeErasureForwardsEveryAnswer) {
    const Image image = fixtureImage("still.png");
    const AnyAttachment picture(ImageAttachment(image, "A cat"));
    const AnyAttachment emoji(EmojiAttachment(image, "cat"));
    const AnyAttachment formula(blockFormula);
    EXPECT_EQ(picture.selectionStyle(), AttachmentSelectionStyle::object);
    EXPECT_EQ(emoji.selectionStyle(), AttachmentSelectionStyle::text);
    EXPECT_EQ(formula.selectionStyle(), AttachmentSelectionStyle::text);
    EXPECT_EQ(picture.description(), "A cat");
    EXPECT_EQ(emoji.description(), ":cat:");
    EXPECT_EQ(formula.description(), "$$x^2_i$$");
    EXPECT_EQ(AnyAttachment(inlineFormula).description(), "$x^2_i$");
    EXPECT_EQ(formula.pngData(), std::nullopt);
    const TextEnvironmentValues environment = environmentWithFont(20);
    EXPECT_EQ(picture.sizeThatFits(ProposedViewSize(100, 10), environment),
              image.size.width > 100 ? Size(100, 100 * image.size.height / image.size.width)
                                     : image.size);
    EXPECT_EQ(emoji.baselineOffset(environment), -2);
}

TEST(ImageAttachmentTest, ShrinksToTheOfferedWidthAndNeverGrows) {
    const ImageAttachment image(canvas(400, 200), "wide");
    const TextEnvironmentValues environment;
    EXPECT_EQ(image.sizeThatFits(ProposedViewSize(100, 10), environment), Size(100, 50));
    EXPECT_EQ(image.sizeThatFits(ProposedViewSize(), environment), Size(400, 200));
    EXPECT_EQ(image.sizeThatFits(ProposedViewSize(1000, std::nullopt), environment),
              Size(400, 200));
    EXPECT_EQ(image.sizeThatFits(ProposedViewSize::infinityProposal(), environment),
              Size(400, 200));
    EXPECT_EQ(image.baselineOffset(environment), 0);
}

TEST(ImageAttachmentTest, APictureWithoutAreaMeasuresZeroAtAnyWidth) {
    // The aspect ratio of a zero side would divide by zero and lay a NaN box into the line.
    const TextEnvironmentValues environment;
    for (const Size natural : {Size(0, 0), Size(0, 30), Size(30, 0)}) {
        const ImageAttachment image(canvas(natural.width, natural.height), "");
        EXPECT_EQ(image.sizeThatFits(ProposedViewSize(100, 100), environment), Size(0, 0));
        EXPECT_EQ(image.sizeThatFits(ProposedViewSize(), environment), Size(0, 0));
    }
}

TEST(ImageAttachmentTest, ExportsTheFirstFrameAsPNG) {
    const Image animation = fixtureImage("anim.gif");
    ASSERT_GT(animation.frames.size(), 1U);
    const auto png = ImageAttachment(animation, "").pngData();
    ASSERT_TRUE(png);
    const auto decoded = Image::fromData(*png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->frames.size(), 1U);
    EXPECT_EQ(decoded->size, animation.size);
    EXPECT_EQ(png, vellum::encodeCGImageAsPNG(animation.frames.front().cgImage));
    EXPECT_EQ(EmojiAttachment(canvas(10, 10), "x").pngData(), std::nullopt);
}

TEST(EmojiAttachmentTest, TakesItsSizeAndBaselineFromTheTextFont) {
    const EmojiAttachment emoji(canvas(72, 36), "smile");
    const TextEnvironmentValues twenty = environmentWithFont(20);
    EXPECT_EQ(emoji.sizeThatFits(ProposedViewSize(5, 5), twenty), Size(20, 20));
    EXPECT_DOUBLE_EQ(emoji.baselineOffset(twenty), -2);

    TextEnvironmentValues custom = environmentWithFont(10);
    custom.emojiProperties = vellum::EmojiProperties(vellum::FontScaled<Size>::fontScaled(2, 1.5),
                                                     vellum::FontScaled<double>(0.25));
    EXPECT_EQ(emoji.sizeThatFits(ProposedViewSize(), custom), Size(20, 15));
    EXPECT_DOUBLE_EQ(emoji.baselineOffset(custom), 2.5);
}

TEST(ResourceAttachmentTest, MissingNamesGiveAnEmptyPictureAndEqualityIgnoresThePicture) {
    const auto bundle = platform::Bundle::at(std::string(MOSS_VELLUM_FIXTURES) + "/../images");
    ASSERT_TRUE(bundle);
    const vellum::ColorEnvironmentValues colors;
    const vellum::ImageResourceAttachment missing("no-such-picture", bundle, "", colors);
    EXPECT_TRUE(missing.image().frames.empty());
    EXPECT_EQ(missing.sizeThatFits(ProposedViewSize(), TextEnvironmentValues()), Size(0, 0));
    EXPECT_TRUE(missing.body().isEmpty());
    EXPECT_EQ(missing.description(), "no-such-picture");
    EXPECT_EQ(missing.pngData(), std::nullopt);

    const vellum::ImageResourceAttachment found("snapshot-shapes", bundle, "Shapes", colors);
    EXPECT_FALSE(found.image().frames.empty());
    EXPECT_GT(found.sizeThatFits(ProposedViewSize(), TextEnvironmentValues()).width, 0);
    EXPECT_EQ(found.description(), "Shapes");
    EXPECT_EQ(AnyAttachment(found),
              AnyAttachment(vellum::ImageResourceAttachment(
                  "snapshot-shapes", bundle, "Shapes",
                  {platform::ColorScheme::dark, platform::ColorSchemeContrast::increased})));
    EXPECT_NE(AnyAttachment(found), AnyAttachment(vellum::ImageResourceAttachment(
                                        "snapshot-shapes", std::nullopt, "Shapes", colors)));

    // Names come from document addresses: they may not reach outside the bundle.
    const vellum::EmojiResourceAttachment escaping("../images/snapshot-shapes", bundle, "x",
                                                   colors);
    EXPECT_TRUE(escaping.image().frames.empty());
    EXPECT_EQ(escaping.description(), ":x:");
    // Nor may an absolute path name a picture anywhere on the machine.
    const std::string absolute =
        std::filesystem::weakly_canonical(std::string(MOSS_VELLUM_FIXTURES) +
                                          "/../images/snapshot-shapes")
            .string();
    ASSERT_EQ(absolute.front(), '/');
    ASSERT_EQ(absolute.find(".."), std::string::npos);
    EXPECT_TRUE(vellum::namedImage(absolute, bundle, colors).frames.empty());
    const auto elsewhere = platform::Bundle::at(std::string(MOSS_VELLUM_FIXTURES));
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE(
        vellum::EmojiResourceAttachment(absolute, elsewhere, "x", colors).image().frames.empty());

    // A bundled emoji is selected like the letters around it; a bundled picture as an object.
    EXPECT_EQ(escaping.selectionStyle(), AttachmentSelectionStyle::text);
    EXPECT_EQ(found.selectionStyle(), AttachmentSelectionStyle::object);
}

TEST(MathAttachmentTest, BoundsAreTheTypesettersAtTheScaledTextSize) {
    const TextEnvironmentValues environment = environmentWithFont(20);
    const Math::Font font(Math::Font::Name("latinmodern-math"), 24);
    const Math::TypographicBounds text =
        Math::mathTypographicBounds("x^2_i", {}, font, Math::TypesettingStyle::text);
    ASSERT_GT(text.descent, 0);
    EXPECT_EQ(inlineFormula.sizeThatFits(ProposedViewSize(), environment),
              Size(text.width, text.ascent + text.descent));
    EXPECT_DOUBLE_EQ(inlineFormula.baselineOffset(environment), -text.descent);

    const Math::TypographicBounds display =
        Math::mathTypographicBounds("\\sum_{i=1}^n x_i", {}, font, Math::TypesettingStyle::display);
    const MathAttachment sum("\\sum_{i=1}^n x_i", MathAttachment::DisplayStyle::block);
    EXPECT_EQ(sum.sizeThatFits(ProposedViewSize(), environment), display.size());
    EXPECT_NE(sum.sizeThatFits(ProposedViewSize(), environment),
              MathAttachment(sum.latex(), MathAttachment::DisplayStyle::inline_)
                  .sizeThatFits(ProposedViewSize(), environment));
}

TEST(MathAttachmentTest, FollowsTheTextSizeAndTheMathProperties) {
    const Size at20 = inlineFormula.sizeThatFits(ProposedViewSize(), environmentWithFont(20));
    const Size at40 = inlineFormula.sizeThatFits(ProposedViewSize(), environmentWithFont(40));
    EXPECT_NEAR(at40.width, 2 * at20.width, 0.5);

    TextEnvironmentValues termes = environmentWithFont(20);
    termes.mathProperties.fontName = vellum::MathProperties::FontName::termes();
    termes.mathProperties.fontScale = 1.0;
    const Math::TypographicBounds expected = Math::mathTypographicBounds(
        "x^2_i", {}, Math::Font(Math::Font::Name(termes.mathProperties.fontName.rawValue()), 20),
        Math::TypesettingStyle::text);
    EXPECT_EQ(inlineFormula.sizeThatFits(ProposedViewSize(), termes), expected.size());
}

// MARK: Drawing

TEST(AttachmentBodyTest, AFormulaDrawsAtTheSizeItMeasured) {
    // The view reads the text's font from its environment, as the measure reads it from the text
    // environment: the two must agree or the formula overflows its box in the line.
    const platform::Font font = platform::Font::system(20);
    platform::ui::OffscreenHost host(inlineFormula.body().font(font));
    EXPECT_EQ(host.size(), inlineFormula.sizeThatFits(ProposedViewSize(), environmentWithFont(20)));
}

TEST(AttachmentBodyTest, AWideEmojiKeepsItsShapeInItsSquare) {
    const std::vector<std::uint8_t> red = {255, 0,   0,   255, 255, 0,   0,   255, 255, 0,   0,
                                           255, 255, 0,   0,   255, 255, 0,   0,   255, 255, 0,
                                           0,   255, 255, 0,   0,   255, 255, 0,   0,   255};
    Image wide;
    wide.frames.push_back({platform::Image::fromRGBA(4, 2, red), 0});
    wide.size = {4, 2};
    const auto expectKeptShape = [](const vellum::Attachment& emoji) {
        platform::ui::OffscreenHost host(emoji.body().frame(20, 20));
        host.runUntilIdle();
        const platform::Image picture = host.render();
        EXPECT_EQ(picture.pixel(10, 2).alpha, 0);
        EXPECT_EQ(picture.pixel(10, 17).alpha, 0);
        EXPECT_EQ(picture.pixel(10, 10).red, 255);
        EXPECT_EQ(picture.pixel(10, 10).alpha, 255);
    };
    expectKeptShape(EmojiAttachment(wide, "wide"));
    // An animated one as well, whichever frame shows.
    Image animated = wide;
    animated.frames.push_back({platform::Image::fromRGBA(4, 2, red), 0.1});
    animated.frames.front().delayTime = 0.1;
    expectKeptShape(EmojiAttachment(animated, "wide"));
}

// A bundle whose picture "badge" has a plain file and variants for some appearances, each a
// single pixel of its own colour, so the chosen file can be read back from the picture.
class AppearanceVariantTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("vellum-variants-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        write("badge.png", plain);
        write("badge~dark.png", dark);
        write("badge~highcontrast~dark.png", darkIncreased);
        write("only.png", plain);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    void write(const std::string& file, std::uint32_t pixel) const {
        const auto png = vellum::encodeCGImageAsPNG(platform::Image(1, 1, {pixel}));
        ASSERT_TRUE(png);
        std::ofstream(directory_ / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()),
                   static_cast<std::streamsize>(png->size()));
    }

    std::uint32_t pixelOf(const std::string& name, platform::ColorScheme scheme,
                          platform::ColorSchemeContrast contrast) const {
        const Image image = vellum::namedImage(name, platform::Bundle::at(directory_),
                                               vellum::ColorEnvironmentValues(scheme, contrast));
        if (image.frames.empty()) {
            return 0;
        }
        return image.frames.front().cgImage.pixels().front();
    }

    static constexpr std::uint32_t plain = 0xff102030u;
    static constexpr std::uint32_t dark = 0xff405060u;
    static constexpr std::uint32_t darkIncreased = 0xff708090u;
    std::filesystem::path directory_;
};

TEST_F(AppearanceVariantTest, EachAppearanceTakesItsOwnVariantAndFallsBackToThePlainPicture) {
    using platform::ColorScheme;
    using platform::ColorSchemeContrast;
    EXPECT_EQ(pixelOf("badge", ColorScheme::light, ColorSchemeContrast::standard), plain);
    EXPECT_EQ(pixelOf("badge", ColorScheme::dark, ColorSchemeContrast::standard), dark);
    EXPECT_EQ(pixelOf("badge", ColorScheme::dark, ColorSchemeContrast::increased), darkIncreased);
    // No light high-contrast variant: the plain picture, never a dark one.
    EXPECT_EQ(pixelOf("badge", ColorScheme::light, ColorSchemeContrast::increased), plain);
    // A picture without variants serves every appearance.
    EXPECT_EQ(pixelOf("only", ColorScheme::dark, ColorSchemeContrast::increased), plain);
    // A variant name is never a way around the bundle's bounds.
    EXPECT_EQ(pixelOf("../badge", ColorScheme::dark, ColorSchemeContrast::standard), 0u);
}

} // namespace

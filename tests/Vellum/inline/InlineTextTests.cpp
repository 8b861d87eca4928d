#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/attachments/ResourceAttachmentLoader.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace {

namespace ui = platform::ui;
using platform::AttributedString;
using platform::Color;
using vellum::AnyAttachment;
using vellum::InlineText;

std::string snapshot(const char* name) {
    return std::string(MOSS_VELLUM_FIXTURES) + "/../inline-text/" + name + ".png";
}

// A still picture of `width` × `height` in two colours, left half and right half.
vellum::Image picture(int width, int height, std::uint32_t left, std::uint32_t right) {
    std::vector<std::uint32_t> pixels(std::size_t(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[std::size_t(y * width + x)] = x < width / 2 ? left : right;
        }
    }
    vellum::Image image;
    image.frames.push_back({platform::Image(width, height, std::move(pixels)), 0});
    image.size = {double(width), double(height)};
    return image;
}

// Makes attachments from pictures at hand instead of downloading.
template <class A>
class PictureLoader final : public vellum::AttachmentLoader {
public:
    explicit PictureLoader(vellum::Image image)
        : image_(std::move(image)) {}
    platform::Task<AnyAttachment>
    attachment(platform::URL /*url*/, std::string text,
               vellum::ColorEnvironmentValues /*env*/) const override {
        co_return AnyAttachment(A(image_, text));
    }

private:
    vellum::Image image_;
};

// Counts its parses; throws an exception for markup "throw", and a plain number for "throw 7".
class CountingParser final : public vellum::MarkupParser {
public:
    explicit CountingParser(std::shared_ptr<std::atomic<int>> count)
        : count_(std::move(count)) {}
    AttributedString attributedString(std::string_view markup) const override {
        ++*count_;
        if (markup == "throw") {
            throw std::runtime_error("unreadable");
        }
        if (markup == "throw 7") {
            throw 7;
        }
        return AttributedString(markup, {});
    }

private:
    std::shared_ptr<std::atomic<int>> count_;
};

// Records the texts the view lays out.
struct Shown {
    std::shared_ptr<std::vector<ui::Text::AnchoredLayout>> layouts =
        std::make_shared<std::vector<ui::Text::AnchoredLayout>>();
    ui::AnyView operator()(ui::AnyView view) const {
        return view.onPreferenceChange<ui::Text::LayoutKey>(
            [layouts = layouts](const auto& value) { *layouts = value; });
    }
    std::string string() const {
        return layouts->empty() ? "<none>" : layouts->front().layout.base().string();
    }
};

} // namespace

TEST(InlineText, KeepsBlockSyntaxAndWhitespaceAsWritten) {
    const Shown shown;
    ui::OffscreenHost host(shown(ui::AnyView(InlineText("# Title\n-  two  spaces\n\nend"))));
    host.runUntilIdle();
    EXPECT_EQ(shown.string(), "# Title\n-  two  spaces\n\nend");
}

TEST(InlineText, ParsesOnlyWhenTheMarkupChangesAndShowsNothingForUnreadableMarkup) {
    const auto count = std::make_shared<std::atomic<int>>(0);
    const auto parser = std::make_shared<const CountingParser>(count);
    const Shown shown;
    ui::OffscreenHost host(shown(ui::AnyView(InlineText("one", parser))));
    host.runUntilIdle();
    EXPECT_EQ(shown.string(), "one");
    EXPECT_EQ(*count, 1);

    host.setRootView(shown(ui::AnyView(InlineText("one", parser))));
    host.runUntilIdle();
    EXPECT_EQ(*count, 1);

    host.setRootView(shown(ui::AnyView(InlineText("throw", parser))));
    host.runUntilIdle();
    EXPECT_EQ(*count, 2);
    EXPECT_EQ(shown.string(), "");

    // A parser may throw what it likes; the view still shows nothing and lives on.
    host.setRootView(shown(ui::AnyView(InlineText("two", parser))));
    host.runUntilIdle();
    host.setRootView(shown(ui::AnyView(InlineText("throw 7", parser))));
    host.runUntilIdle();
    EXPECT_EQ(*count, 4);
    EXPECT_EQ(shown.string(), "");
}

TEST(InlineText, RendersMarkupWithAttachmentsOverTheText) {
    const platform::URL starURL = *platform::URL::fromString("https://example.com/star.png");
    vellum::AttributedStringMarkdownParser::PatternOptions options;
    options.emoji = {vellum::Emoji{"star", starURL}};
    options.mathExpressions = true;
    const InlineText text(
        "A [link](https://example.com), `code`, *emphasis*, an emoji :star:, a picture "
        "![tile](https://example.com/tile.png) and a formula $x^2 + \\frac{a}{b}$ in one line.",
        std::nullopt, vellum::AttributedStringMarkdownParser::syntaxExtensions(options));
    const auto emojiLoader = std::make_shared<const PictureLoader<vellum::EmojiAttachment>>(
        picture(32, 32, 0xffff8800u, 0xffffcc00u));
    const auto imageLoader = std::make_shared<const PictureLoader<vellum::ImageAttachment>>(
        picture(40, 20, 0xff0044ccu, 0xff00aa44u));
    const Shown shown;
    ui::OffscreenHost host(shown(ui::AnyView(text)
                                     .environment<vellum::EmojiAttachmentLoaderKey>(emojiLoader)
                                     .environment<vellum::ImageAttachmentLoaderKey>(imageLoader)
                                     .frame(360)),
                           {});
    host.runUntil([&] {
        int boxes = 0;
        for (const auto& line : shown.layouts->empty()
                                    ? std::span<const platform::TextLayout::Line>()
                                    : shown.layouts->front().layout.lines()) {
            for (const auto& run : line.runs) {
                boxes += run.isInlineBox ? 1 : 0;
            }
        }
        return boxes == 3;
    });
    host.runUntilIdle();
    const platform::Image image = host.render(2.0, Color::white());
    // The picture's two halves show where its box lies.
    bool blue = false, green = false, orange = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const platform::Image::Pixel p = image.pixel(x, y);
            blue = blue || (p.red == 0 && p.green == 0x44 && p.blue == 0xcc);
            green = green || (p.red == 0 && p.green == 0xaa && p.blue == 0x44);
            orange = orange || (p.red == 0xff && p.green == 0x88 && p.blue == 0);
        }
    }
    EXPECT_TRUE(blue && green && orange);
    moss_test::expectSnapshot(image, snapshot("inline-markup"), 24, 0.02);
}

TEST(InlineText, APictureWiderThanTheRoomShrinksToFit) {
    const auto imageLoader = std::make_shared<const PictureLoader<vellum::ImageAttachment>>(
        picture(800, 100, 0xff0044ccu, 0xff00aa44u));
    const Shown shown;
    ui::OffscreenHost host(shown(ui::AnyView(InlineText("a ![tile](https://example.com/tile.png)"))
                                     .environment<vellum::ImageAttachmentLoaderKey>(imageLoader)
                                     .frame(360)),
                           {});
    const auto boxWidth = [&]() -> std::optional<double> {
        for (const auto& anchored : *shown.layouts) {
            for (const auto& line : anchored.layout.lines()) {
                for (const auto& run : line.runs) {
                    if (run.isInlineBox) {
                        return run.typographicBounds.width;
                    }
                }
            }
        }
        return std::nullopt;
    };
    host.runUntil([&] { return boxWidth().has_value() && *boxWidth() <= 360; });
    host.runUntilIdle();
    ASSERT_TRUE(boxWidth().has_value());
    EXPECT_EQ(*boxWidth(), 360);
}

TEST(InlineText, BundledEmojiAreDrawnAgainInTheOtherColourScheme) {
    // A bundle whose emoji "badge" is red, with a blue variant for the dark scheme.
    std::string pattern = (std::filesystem::temp_directory_path() / "vellum-badge-XXXXXX").string();
    const std::filesystem::path directory = ::mkdtemp(pattern.data());
    constexpr std::uint32_t red = 0xffee0000U;
    constexpr std::uint32_t blue = 0xff0000eeU;
    for (const auto& [file, colour] : {std::pair{"badge.png", red}, {"badge~dark.png", blue}}) {
        const auto png = vellum::encodeCGImageAsPNG(
            platform::Image(8, 8, std::vector<std::uint32_t>(64, colour)));
        ASSERT_TRUE(png);
        std::ofstream(directory / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()),
                   static_cast<std::streamsize>(png->size()));
    }
    const auto loader =
        std::make_shared<const vellum::ResourceAttachmentLoader<vellum::EmojiResourceAttachment>>(
            [](const platform::URL& /*address*/) { return std::string("badge"); },
            platform::Bundle::at(directory));
    vellum::AttributedStringMarkdownParser::PatternOptions options;
    options.emoji = {
        vellum::Emoji{"badge", *platform::URL::fromString("https://example.com/badge")}};
    const auto view = [&](platform::ColorScheme scheme) {
        return ui::AnyView(
                   InlineText("a :badge: b", std::nullopt,
                              vellum::AttributedStringMarkdownParser::syntaxExtensions(options)))
            .environment<vellum::EmojiAttachmentLoaderKey>(loader)
            .environment<ui::ColorSchemeKey>(scheme)
            .frame(200, 40, ui::Alignment::topLeading());
    };
    ui::OffscreenHost host(view(platform::ColorScheme::light), {});
    const auto count = [&host](std::uint32_t colour) {
        const platform::Image image = host.render(1.0, Color::white());
        return std::count(image.pixels().begin(), image.pixels().end(), colour);
    };
    const auto deadline = std::chrono::milliseconds(10000);
    EXPECT_TRUE(host.runUntil([&] { return count(red) > 0; }, deadline));
    host.setRootView(view(platform::ColorScheme::dark));
    EXPECT_TRUE(host.runUntil([&] { return count(blue) > 0 && count(red) == 0; }, deadline))
        << "the dark picture replaces the light one";
    host.setRootView(view(platform::ColorScheme::light));
    EXPECT_TRUE(host.runUntil([&] { return count(red) > 0 && count(blue) == 0; }, deadline));
    std::filesystem::remove_all(directory);
}

TEST(InlineText, APictureWrittenIntoItsAddressShows) {
    const auto png = vellum::encodeCGImageAsPNG(
        platform::Image(6, 6, std::vector<std::uint32_t>(36, 0xffee0000U)));
    ASSERT_TRUE(png);
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < png->size(); i += 3) {
        const std::size_t left = png->size() - i;
        const std::uint32_t chunk = (std::uint32_t((*png)[i]) << 16U) |
                                    (left > 1 ? std::uint32_t((*png)[i + 1]) << 8U : 0U) |
                                    (left > 2 ? std::uint32_t((*png)[i + 2]) : 0U);
        encoded += alphabet[(chunk >> 18U) & 63U];
        encoded += alphabet[(chunk >> 12U) & 63U];
        encoded += left > 1 ? alphabet[(chunk >> 6U) & 63U] : '=';
        encoded += left > 2 ? alphabet[chunk & 63U] : '=';
    }
    ui::OffscreenHost host(
        ui::AnyView(InlineText("a ![dot](data:image/png;base64," + encoded + ")"))
            .frame(200, 40, ui::Alignment::topLeading()),
        {});
    EXPECT_TRUE(host.runUntil(
        [&host] {
            const platform::Image image = host.render(1.0, Color::white());
            // The inside of the picture: its edges may fall between pixels.
            return std::count(image.pixels().begin(), image.pixels().end(), 0xffee0000U) >= 16;
        },
        std::chrono::milliseconds(10000)));
}

TEST(InlineText, IsSelectableOfItselfWhereSelectionIsOn) {
    // How many more pixels Select All inks: the highlight behind the text, if there is one.
    const auto highlighted = [](bool selectable) {
        ui::AnyView text = ui::AnyView(InlineText("Select  *me*  all"))
                               .frame(200, 30, ui::Alignment::topLeading());
        if (selectable) {
            text = vellum::vellum(text).textSelection(vellum::EnabledTextSelectability());
        }
        ui::OffscreenHost host(text, {});
        host.runUntilIdle();
        const auto inked = [&host] {
            const platform::Image image = host.render();
            return std::count_if(image.pixels().begin(), image.pixels().end(),
                                 [](std::uint32_t pixel) { return (pixel >> 24U) != 0; });
        };
        const auto before = inked();
        host.click({2, 8});
        host.key("a", {}, {false, true, false, false});
        return inked() - before;
    };
    EXPECT_GT(highlighted(true), 200);
    EXPECT_EQ(highlighted(false), 0);
}

// What a selection lights up: the glyphs of the selected characters, also where they run right to
// left; pictures dim while selected, emoji and formulas keep their colour over the highlight.

#include "TextLayoutTestSupport.hpp"
#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"

#include <gtest/gtest.h>

namespace vellum {
namespace {

namespace ui = platform::ui;
using platform::Rect;
using test::fragment;
using test::LaidOutTexts;

// The union of the glyphs of characters [lo, hi) of the first line, in collection space.
Rect glyphsOf(const TextLayoutCollection& c, std::size_t lo, std::size_t hi) {
    Rect result = Rect::null();
    const TextLine& line = c.layout(0).line(0);
    for (std::size_t r = 0; r < line.runCount(); ++r) {
        for (std::size_t s = 0; s < line.run(r).sliceCount(); ++s) {
            const TextRunSlice& slice = line.run(r).slice(s);
            if (slice.characterRange().lowerBound >= lo && slice.characterRange().lowerBound < hi) {
                result = result.unionWith(slice.typographicBounds());
            }
        }
    }
    const platform::Point o = c.layout(0).origin();
    return result.offsetBy(o.x, o.y);
}

TEST(SelectionHighlight, APartlySelectedRightToLeftWordLightsItsSelectedGlyphsOnly) {
    // "ab " then Hebrew "שלום" (characters 3 to 6, drawn right to left) then " cd".
    const LaidOutTexts texts({fragment("ab \u05e9\u05dc\u05d5\u05dd cd")});
    const auto& c = texts.collection();
    SCOPED_TRACE(texts.dump());
    const auto range = [&](long from, long to) {
        const TextPosition a = *positionForCharacterIndex(c, 0, from);
        const TextPosition b = *positionForCharacterIndex(c, 0, to);
        return b < a ? TextRange{b, a} : TextRange{a, b};
    };
    const auto expectLit = [&](const TextRange& r, std::vector<Rect> expected) {
        const auto rects = buildSelectionRects(c, r);
        ASSERT_EQ(rects.size(), expected.size()) << r.description();
        for (std::size_t i = 0; i < rects.size(); ++i) {
            EXPECT_NEAR(rects[i].rect.minX(), expected[i].minX(), 0.01) << i;
            EXPECT_NEAR(rects[i].rect.maxX(), expected[i].maxX(), 0.01) << i;
        }
    };
    // Inside the word: its second and third letters, the middle of the drawn word.
    expectLit(range(4, 6), {glyphsOf(c, 4, 6)});
    EXPECT_EQ(attributedText(c, range(4, 6)).characters(), "\u05dc\u05d5");
    // From the left-to-right text into the word: "b ", then the word's first two letters, which
    // stand at its right end.
    expectLit(range(1, 5), {glyphsOf(c, 1, 3), glyphsOf(c, 3, 5)});
    // From the word's last letter, at its left end, into the text after it.
    expectLit(range(6, 9), {glyphsOf(c, 6, 7), glyphsOf(c, 7, 9)});

    // The highlight the text draws is the same share.
    const auto inLayout = selectionRectsInLayout(c, range(4, 6), texts.anchored()[0].layout);
    ASSERT_EQ(inLayout.size(), 1u);
    EXPECT_NEAR(inLayout[0].rect.minX() + c.layout(0).origin().x, glyphsOf(c, 4, 6).minX(), 0.01);
}

vellum::Image picture(int width, int height, std::uint32_t colour) {
    vellum::Image image;
    image.frames.push_back(
        {platform::Image(width, height,
                         std::vector<std::uint32_t>(std::size_t(width * height), colour)),
         0});
    image.size = {double(width), double(height)};
    return image;
}

template <class A>
class PictureLoader final : public AttachmentLoader {
public:
    explicit PictureLoader(vellum::Image image)
        : image_(std::move(image)) {}
    platform::Task<AnyAttachment> attachment(platform::URL /*url*/, std::string text,
                                             ColorEnvironmentValues /*env*/) const override {
        co_return AnyAttachment(A(image_, text));
    }

private:
    vellum::Image image_;
};

TEST(SelectionHighlight, PicturesDimWhileSelectedAndEmojiKeepTheirColour) {
    constexpr std::uint32_t blue = 0xff0044ccu;
    constexpr std::uint32_t orange = 0xffff8800u;
    AttributedStringMarkdownParser::PatternOptions options;
    options.emoji = {Emoji{"star", *platform::URL::fromString("https://e.dev/star.png")}};
    const ui::AnyView text =
        ui::AnyView(InlineText("see ![tile](https://e.dev/tile.png) and :star: here", std::nullopt,
                               AttributedStringMarkdownParser::syntaxExtensions(options)))
            .environment<ImageAttachmentLoaderKey>(
                std::make_shared<const PictureLoader<ImageAttachment>>(picture(40, 20, blue)))
            .environment<EmojiAttachmentLoaderKey>(
                std::make_shared<const PictureLoader<EmojiAttachment>>(picture(16, 16, orange)))
            .modifier(TextSelectionInteraction());
    ui::OffscreenHost host(
        textSelection(text, EnabledTextSelectability()).frame(400, 40, ui::Alignment::topLeading()),
        {});
    const auto count = [&host](std::uint32_t colour) {
        const platform::Image image = host.render(1.0, platform::Color::white());
        const auto& pixels = image.pixels();
        return std::count(pixels.begin(), pixels.end(), colour);
    };
    ASSERT_TRUE(host.runUntil([&] { return count(blue) > 0 && count(orange) > 0; },
                              std::chrono::milliseconds(5000)));
    const auto bluePixels = count(blue);
    const auto orangePixels = count(orange);

    host.click({2, 8});
    host.key("a", {}, {false, true, false, false});
    EXPECT_EQ(count(blue), 0) << "the picture is drawn at half opacity";
    EXPECT_EQ(count(orange), orangePixels) << "the emoji keeps its colour, like a letter";

    host.click({2, 8});
    EXPECT_EQ(count(blue), bluePixels) << "deselected, the picture is whole again";
    EXPECT_EQ(count(orange), orangePixels);
    // A selection that ends before the picture leaves it alone.
    host.pointer({ui::PointerEvent::Kind::down, {1, 8}, 1, 1, {}});
    host.pointer({ui::PointerEvent::Kind::dragged, {20, 8}, 1, 1, {}});
    host.pointer({ui::PointerEvent::Kind::up, {20, 8}, 1, 1, {}});
    EXPECT_EQ(count(blue), bluePixels);
}

// A selection that ends with its caret before a picture (the caret on the picture's leading
// side) leaves it whole, one that ends after it dims it; the same holds for where it starts.
TEST(SelectionHighlight, APictureAtAnEndOfTheSelectionDimsByTheSideTheCaretStandsOn) {
    constexpr std::uint32_t blue = 0xff0044ccu;
    const ui::AnyView text =
        ui::AnyView(InlineText("see ![tile](https://e.dev/tile.png) and more", std::nullopt,
                               AttributedStringMarkdownParser::syntaxExtensions({})))
            .environment<ImageAttachmentLoaderKey>(
                std::make_shared<const PictureLoader<ImageAttachment>>(picture(40, 20, blue)))
            .modifier(TextSelectionInteraction());
    ui::OffscreenHost host(
        textSelection(text, EnabledTextSelectability()).frame(400, 40, ui::Alignment::topLeading()),
        {});
    // The blue pixels, and the leftmost and rightmost columns that hold one.
    struct Blue {
        long count = 0;
        int minX = 0;
        int maxX = 0;
    };
    const auto blues = [&host] {
        const platform::Image image = host.render(1.0, platform::Color::white());
        Blue b{0, image.width(), 0};
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixels()[std::size_t(y * image.width() + x)] == blue) {
                    ++b.count;
                    b.minX = std::min(b.minX, x);
                    b.maxX = std::max(b.maxX, x);
                }
            }
        }
        return b;
    };
    ASSERT_TRUE(host.runUntil([&] { return blues().count > 0; }, std::chrono::milliseconds(5000)));
    const Blue whole = blues();
    const auto drag = [&host](double from, double to) {
        host.pointer({ui::PointerEvent::Kind::down, {from, 8}, 1, 1, {}});
        host.pointer({ui::PointerEvent::Kind::dragged, {to, 8}, 1, 1, {}});
        host.pointer({ui::PointerEvent::Kind::up, {to, 8}, 1, 1, {}});
    };
    const double leading = whole.minX + 5;
    const double trailing = whole.maxX - 5;
    drag(1, leading);
    EXPECT_EQ(blues().count, whole.count) << "ends before the picture";
    drag(1, trailing);
    EXPECT_EQ(blues().count, 0) << "ends after the picture";
    drag(trailing, 390);
    EXPECT_EQ(blues().count, whole.count) << "starts after the picture";
    drag(leading, 390);
    EXPECT_EQ(blues().count, 0) << "starts before the picture";
}

TEST(SelectionHighlight, AFormulaKeepsItsInkWhileSelected) {
    AttributedStringMarkdownParser::PatternOptions options;
    options.mathExpressions = true;
    // The formula alone, so that all the ink drawn is its own.
    const ui::AnyView text =
        ui::AnyView(InlineText("$\\sum_{i=1}^{n} x_i^2$", std::nullopt,
                               AttributedStringMarkdownParser::syntaxExtensions(options)))
            .modifier(TextSelectionInteraction());
    ui::OffscreenHost host(
        textSelection(text, EnabledTextSelectability()).frame(300, 60, ui::Alignment::topLeading()),
        {});
    // Half opacity over any background leaves no pixel this dark; drawn three times larger,
    // the formula's strokes are solid enough to reach it.
    const auto ink = [&host] {
        const platform::Image image = host.render(3.0, platform::Color::white());
        return std::count_if(image.pixels().begin(), image.pixels().end(), [](std::uint32_t p) {
            return ((p >> 16) & 0xffu) < 0x50 && ((p >> 8) & 0xffu) < 0x50 && (p & 0xffu) < 0x50;
        });
    };
    ASSERT_TRUE(host.runUntil([&] { return ink() > 100; }, std::chrono::milliseconds(60000)))
        << "the formula draws";
    const auto whole = ink();

    host.click({4, 10});
    host.key("a", {}, {false, true, false, false});
    // Dimmed, it would leave no pixel this dark; over the highlight only the edges of its strokes
    // change.
    EXPECT_GT(ink(), whole * 9 / 10) << "the selected formula keeps its full ink";

    host.click({4, 10});
    EXPECT_EQ(ink(), whole) << "deselected, it is whole again";
}

} // namespace
} // namespace vellum

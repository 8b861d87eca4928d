// Whole documents in a live view tree: which view each block reaches and with what configuration,
// the spacing between blocks, lists with their ordinals and aligned markers, and the document's
// parse on every change of its markdown. Styles that record what they are handed stand in for the
// built-in looks where a test asks what a block was given; everything else is the real thing.

#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/blocks/Heading.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/ListItemSpacing.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;
using ui::AnyView;
using ui::ViewContext;
using vellum::StructuredText;
using namespace vellum::structured;

// What the recording styles saw, block by block in the order they were built.
struct Seen {
    std::vector<std::string> blocks;
    std::vector<int> levels;
    std::vector<std::optional<std::string>> hints;
    std::vector<int> ordinals;
    std::map<int, double> markerTrailing; // by ordinal: the x where the marker text ends
};

struct RecordingParagraph final : ParagraphStyle {
    std::shared_ptr<Seen> seen;
    explicit RecordingParagraph(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const BlockStyleConfiguration& c) const override {
        seen->blocks.push_back("paragraph");
        seen->levels.push_back(c.indentationLevel);
        return c.label.content;
    }
};
struct RecordingHeading final : HeadingStyle {
    std::shared_ptr<Seen> seen;
    explicit RecordingHeading(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const HeadingStyleConfiguration& c) const override {
        seen->blocks.push_back("heading" + std::to_string(c.headingLevel));
        seen->levels.push_back(c.indentationLevel);
        return c.label.content;
    }
};
struct RecordingCode final : CodeBlockStyle {
    std::shared_ptr<Seen> seen;
    explicit RecordingCode(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const CodeBlockStyleConfiguration& c) const override {
        seen->blocks.push_back("code:" + std::string(c.codeBlock.content.characters()));
        seen->levels.push_back(c.indentationLevel);
        seen->hints.push_back(c.languageHint);
        return c.label.content;
    }
};
struct RecordingQuote final : BlockQuoteStyle {
    std::shared_ptr<Seen> seen;
    explicit RecordingQuote(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const BlockStyleConfiguration& c) const override {
        seen->blocks.push_back("quote");
        seen->levels.push_back(c.indentationLevel);
        return c.label.content;
    }
};
struct RecordingBreak final : ThematicBreakStyle {
    std::shared_ptr<Seen> seen;
    explicit RecordingBreak(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const BlockStyleConfiguration& c) const override {
        seen->blocks.push_back("break");
        seen->levels.push_back(c.indentationLevel);
        return AnyView(platform::Color::gray(0.5)).frame(std::nullopt, 1);
    }
};
// A marker as wide as its number's text, recording where that text ends.
struct RecordingOrdered final : OrderedListMarker {
    std::shared_ptr<Seen> seen;
    explicit RecordingOrdered(std::shared_ptr<Seen> s)
        : seen(std::move(s)) {}
    AnyView makeBody(ViewContext&, const OrderedListMarkerConfiguration& c) const override {
        seen->ordinals.push_back(c.ordinal);
        return AnyView(ui::Text(std::to_string(c.ordinal) + "."))
            .onGeometryChange<double>(
                [](const ui::GeometryProxy& p) {
                    return p.frame(ui::CoordinateSpace::global()).maxX();
                },
                [seen = seen, ordinal = c.ordinal](const double&, const double& x) {
                    seen->markerTrailing[ordinal] = x;
                });
    }
};

AnyView recorded(AnyView document, const std::shared_ptr<Seen>& seen) {
    auto v = vellum::vellum(std::move(document));
    AnyView view = v.paragraphStyle(std::make_shared<RecordingParagraph>(seen));
    view = vellum::vellum(view).headingStyle(std::make_shared<RecordingHeading>(seen));
    view = vellum::vellum(view).codeBlockStyle(std::make_shared<RecordingCode>(seen));
    view = vellum::vellum(view).blockQuoteStyle(std::make_shared<RecordingQuote>(seen));
    view = vellum::vellum(view).thematicBreakStyle(std::make_shared<RecordingBreak>(seen));
    return vellum::vellum(view).orderedListMarker(std::make_shared<RecordingOrdered>(seen));
}

std::shared_ptr<Seen> show(const std::string& markdown, double width = 400) {
    auto seen = std::make_shared<Seen>();
    ui::OffscreenHost host(recorded(StructuredText(markdown), seen), {width, std::nullopt});
    host.runUntilIdle();
    return seen;
}

TEST(BlockDispatch, EveryIntentReachesTheViewOfItsKind) {
    const auto seen = show("# Title\n\ntext\n\n###### six\n\n> quoted\n\n---\n\n"
                           "```Swift\nlet a = 1\n```\n\n```\nplain\n```\n\n"
                           "```Mathematics\nx\n```\n\n```MATH\nx^2\n```\n\n$$\\sqrt{2}$$\n\n"
                           "see $$x$$ here\n");
    const std::vector<std::string> expected{
        "heading1",  "paragraph",      "heading6",   "quote",  "paragraph",
        "break",     "code:let a = 1", "code:plain", "code:x",
        "paragraph", // the math code block, through the paragraph style
        "paragraph", // the lone display formula
        "paragraph"};
    EXPECT_EQ(seen->blocks, expected);
    // Hints as written, not lower-cased; none for a bare fence; "Mathematics" is code.
    ASSERT_EQ(seen->hints.size(), 3U);
    EXPECT_EQ(seen->hints[0], std::optional<std::string>("Swift"));
    EXPECT_EQ(seen->hints[1], std::nullopt);
    EXPECT_EQ(seen->hints[2], std::optional<std::string>("Mathematics"));
}

TEST(BlockDispatch, LevelsCountTheListsAroundABlock) {
    const auto seen = show("- one\n  - two\n    ```\n    code\n    ```\n> q\n");
    // paragraph "one" (level 1), paragraph "two" (2), code (2), quote (0), its paragraph (0).
    const std::vector<std::string> blocks{"paragraph", "paragraph", "code:code", "quote",
                                          "paragraph"};
    EXPECT_EQ(seen->blocks, blocks);
    EXPECT_EQ(seen->levels, (std::vector<int>{1, 2, 2, 0, 0}));
}

TEST(BlockDispatch, CodeLosesOnlyTheLineFeedThatClosedIt) {
    EXPECT_EQ(show("```\na\n```\n")->blocks, std::vector<std::string>{"code:a"});
    EXPECT_EQ(show("```\na\n\n```\n")->blocks, std::vector<std::string>{"code:a\n"});
}

TEST(HeadingSlug, KeepsLettersAndNumbersJoinedByDashes) {
    EXPECT_EQ(Heading::slug("Hello World"), "hello-world");
    EXPECT_EQ(Heading::slug("Tips & Tricks_v2"), "tips-tricksv2");
    EXPECT_EQ(Heading::slug("Café 2024!"), "café-2024");
    EXPECT_EQ(Heading::slug("  padded -- out  "), "padded-out");
    EXPECT_EQ(Heading::slug("?!"), "");
}

// A block of a fixed height that asks for `spacing`.
AnyView spaced(double height, std::optional<BlockSpacing> spacing) {
    AnyView block = AnyView(platform::Color::gray(0.5)).frame(50, height);
    return spacing ? block.preference<BlockSpacingKey>(*spacing) : block;
}

double stackHeight(std::vector<AnyView> blocks, ui::EnvironmentValues environment = {}) {
    ui::OffscreenHost host(AnyView(BlockVStack(ui::ForEach::range(
                               static_cast<int>(blocks.size()),
                               [&blocks](int i) { return blocks[static_cast<std::size_t>(i)]; }))),
                           {200, std::nullopt}, std::move(environment));
    host.runUntilIdle();
    return host.size().height;
}

TEST(BlockStackSpacing, TheLargerFacingWishWinsElseTheViewsOwnSpacing) {
    EXPECT_EQ(stackHeight({spaced(10, BlockSpacing(std::nullopt, 8))}), 10);
    EXPECT_EQ(
        stackHeight({spaced(10, BlockSpacing(std::nullopt, 8)), spaced(10, BlockSpacing(12))}), 32);
    EXPECT_EQ(stackHeight({spaced(10, BlockSpacing(std::nullopt, 8)), spaced(10, std::nullopt)}),
              28);
    EXPECT_EQ(stackHeight({spaced(10, BlockSpacing(std::nullopt, 0)), spaced(10, std::nullopt)}),
              20);
    EXPECT_EQ(stackHeight({spaced(10, std::nullopt), spaced(10, std::nullopt)}),
              20 + ui::ViewSpacing::standard);
}

TEST(BlockStackSpacing, InsideAListEveryBlockTakesTheListItemSpacing) {
    ui::EnvironmentValues list;
    list.set<ListItemSpacingEnabledKey>(true);
    list.set<ResolvedListItemSpacingKey>(BlockSpacing(3.25));
    EXPECT_EQ(
        stackHeight({spaced(10, BlockSpacing(20, 20)), spaced(10, BlockSpacing(20, 20))}, list),
        23.25);
}

// Paragraphs that ask for `top` points above them and look the same otherwise.
struct SpacedParagraph final : ParagraphStyle {
    double top;
    explicit SpacedParagraph(double t)
        : top(t) {}
    AnyView makeBody(ViewContext&, const BlockStyleConfiguration& c) const override {
        return c.label.content.preference<BlockSpacingKey>(BlockSpacing(top));
    }
};

TEST(BlockStackSpacing, FollowsAWishThatChangesWhileTheBlocksStayTheSame) {
    const auto withTop = [](double top) {
        ui::EnvironmentValues environment;
        setParagraphStyle(environment, std::make_shared<SpacedParagraph>(top));
        return environment;
    };
    ui::OffscreenHost host(AnyView(StructuredText("one\n\ntwo\n\nthree\n")), {300, std::nullopt},
                           withTop(10));
    host.runUntilIdle();
    const double near = host.size().height;
    // Only the wish differs: no text is laid out again, yet both gaps widen.
    host.graph().setEnvironment(withTop(30));
    host.runUntilIdle();
    EXPECT_DOUBLE_EQ(host.size().height, near + 2 * 20);
    host.graph().setEnvironment(withTop(10));
    host.runUntilIdle();
    EXPECT_DOUBLE_EQ(host.size().height, near);
}

TEST(BlockStackSpacing, AZeroWidthStackIsEmptyWithoutMeasuring) {
    const BlockVStackLayout layout(ui::TextAlignment::center);
    std::any cache;
    EXPECT_EQ(layout.sizeThatFits({0.0, std::nullopt}, {}, cache), (platform::Size{0, 0}));
}

TEST(Lists, OrdinalsAsWrittenAndMarkersEndAtOneX) {
    const auto seen = show("9. nine\n10. ten\n");
    EXPECT_EQ(seen->ordinals.back(), 10);
    ASSERT_TRUE(seen->markerTrailing.count(9) && seen->markerTrailing.count(10));
    EXPECT_DOUBLE_EQ(seen->markerTrailing[9], seen->markerTrailing[10]);
}

TEST(Lists, ANestedListTakesPartInTheWidestMarkerOfTheListsAroundIt) {
    // The inner list's "10." is wider than the outer "1.": the outer markers take its width, and
    // so do those of a numbered list around a bulleted one that holds it.
    for (const std::string& markdown :
         {std::string("1. outer\n\n   9. nine\n   10. ten\n2. next\n"),
          std::string("1. outer\n\n   - bullet\n\n     9. nine\n     10. ten\n2. next\n")}) {
        const auto seen = show(markdown);
        ASSERT_TRUE(seen->markerTrailing.count(1) && seen->markerTrailing.count(10));
        EXPECT_DOUBLE_EQ(seen->markerTrailing[9], seen->markerTrailing[10]);
        EXPECT_DOUBLE_EQ(seen->markerTrailing[1], seen->markerTrailing[2]);
        // Wider than in a list of its own: as wide as the nested "10.".
        EXPECT_GT(seen->markerTrailing[1], show("1. a\n2. b\n")->markerTrailing[1]);
        EXPECT_DOUBLE_EQ(seen->markerTrailing[1], show("10. a\n")->markerTrailing[10]);
    }
}

TEST(Lists, ItemSpacingFollowsTheFontAndTheModifier) {
    auto heights = std::vector<double>();
    for (const std::optional<double> em : {std::optional<double>(), std::optional<double>(2.0)}) {
        AnyView document = AnyView(StructuredText("- a\n- b\n"));
        if (em) {
            document = vellum::vellum(document).listItemSpacing(fontScaled(*em, std::nullopt));
        }
        ui::OffscreenHost host(document.font(platform::Font::system(13)), {300, std::nullopt});
        host.runUntilIdle();
        heights.push_back(host.size().height);
    }
    // A quarter em between the items by default, two ems when set: 1.75 em more.
    EXPECT_NEAR(heights[1] - heights[0], 1.75 * 13, 0.01);
}

// Throws an exception for markdown containing "bad", and a plain string for "odd".
struct PickyParser final : vellum::MarkupParser {
    std::shared_ptr<int> calls = std::make_shared<int>(0);
    platform::AttributedString attributedString(std::string_view markup) const override {
        ++*calls;
        if (markup.find("bad") != std::string_view::npos) {
            throw std::runtime_error("unreadable");
        }
        if (markup.find("odd") != std::string_view::npos) {
            throw "odd";
        }
        return vellum::AttributedStringMarkdownParser::markdown().attributedString(markup);
    }
};

TEST(DocumentParse, ReParsesOnEveryChangeAndShowsNothingForFailures) {
    auto parser = std::make_shared<PickyParser>();
    auto seen = std::make_shared<Seen>();
    ui::OffscreenHost host(recorded(StructuredText("", parser), seen), {300, std::nullopt});
    host.runUntilIdle();
    EXPECT_TRUE(seen->blocks.empty());
    EXPECT_EQ(host.size().height, 0);

    for (const std::string text : {"one", "bad", "two", "one", "odd"}) {
        seen->blocks.clear();
        host.setRootView(recorded(StructuredText(text, parser), seen));
        host.runUntilIdle();
        if (text == "bad" || text == "odd") {
            EXPECT_EQ(host.size().height, 0) << text;
        } else {
            ASSERT_FALSE(seen->blocks.empty()) << text;
            EXPECT_EQ(seen->blocks.back(), "paragraph") << text;
            EXPECT_GT(host.size().height, 0) << text;
        }
    }
    EXPECT_EQ(*parser->calls, 6);
}

TEST(DocumentParse, AHostLineLimitDoesNotCutBlocksShort) {
    const std::string words = "many words that wrap over several lines in a narrow column";
    ui::OffscreenHost free(AnyView(StructuredText(words)), {120, std::nullopt});
    free.runUntilIdle();
    ui::OffscreenHost limited(AnyView(StructuredText(words)).lineLimit(1), {120, std::nullopt});
    limited.runUntilIdle();
    EXPECT_GT(free.size().height, 40);
    EXPECT_EQ(limited.size().height, free.size().height);
}

} // namespace

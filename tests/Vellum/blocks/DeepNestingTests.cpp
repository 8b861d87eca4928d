// Blocks nested far deeper than anyone writes them: a few hundred kilobytes of `>` or `- ` must
// show as a document without the parse, the walk over the blocks or the view tree recursing as
// deep as the markdown does, and without losing a word.
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/NestingLimit.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

using Intent = platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;
using Kind = platform::PresentationIntent::Kind;

std::string nestedQuotes(int levels) {
    return std::string(static_cast<std::size_t>(levels), '>') + " deep\n";
}

// Items nested `levels` deep, each holding its level's number and the next list.
std::string nestedList(int levels) {
    std::string markdown;
    for (int level = 0; level < levels; ++level) {
        markdown += std::string(static_cast<std::size_t>(level) * 2, ' ') + "- item " +
                    std::to_string(level) + "\n";
    }
    return markdown;
}

std::size_t deepestRun(const platform::AttributedString& text) {
    std::size_t deepest = 0;
    for (const auto& run : text.runs()) {
        if (const auto* intent = run.get<Intent>()) {
            deepest = std::max(deepest, intent->components().size());
        }
    }
    return deepest;
}

TEST(DeepNesting, TheParseKeepsEveryWordWithinTheNestingLimit) {
    const auto parser = vellum::AttributedStringMarkdownParser::markdown();

    const platform::AttributedString quotes = parser.attributedString(nestedQuotes(100'000));
    EXPECT_EQ(quotes.characters(), "deep");
    EXPECT_EQ(deepestRun(quotes), vellum::maximumNestingDepth);

    // Forty levels are eighty blocks (a list and its item each): cut, every item keeps its text
    // and the text of the innermost stays in a list item.
    const platform::AttributedString list = parser.attributedString(nestedList(40));
    EXPECT_LE(deepestRun(list), vellum::maximumNestingDepth);
    for (int level = 0; level < 40; ++level) {
        EXPECT_NE(list.characters().find("item " + std::to_string(level)), std::string::npos)
            << level;
    }
    const auto& innermost = list.runs()[list.runs().size() - 1].get<Intent>()->components();
    ASSERT_GE(innermost.size(), 2U);
    EXPECT_EQ(innermost[1].kind(), Kind::listItem);

    // What fits is left as it is: twenty levels and the paragraph.
    EXPECT_EQ(deepestRun(parser.attributedString(nestedList(20))), 41U);
}

TEST(DeepNesting, ADocumentOfHostileNestingIsLaidOut) {
    const auto laidOutHeight = [](const std::string& markdown) {
        platform::ui::OffscreenHost host(platform::ui::AnyView(vellum::StructuredText(markdown)),
                                         {480, std::nullopt});
        host.runUntilIdle();
        return host.size().height;
    };
    // The quotes keep their line of text (each level adds its margin around it).
    EXPECT_GT(laidOutHeight(nestedQuotes(100'000)), 20.0);
    // Lists indent at every level, so the innermost text is squeezed: laid out, all the same.
    std::string items;
    for (int level = 0; level < 50'000; ++level) {
        items += "- ";
    }
    EXPECT_GT(laidOutHeight(items + "deep\n"), 0.0);
    EXPECT_GT(laidOutHeight(nestedQuotes(5'000) + "\n\n" + nestedList(60)), 0.0);
}

} // namespace

#include "Vellum/markdown/BlockRuns.hpp"
#include "platform/foundation/Markdown.hpp"

#include <gtest/gtest.h>

namespace {

using platform::AttributedString;
using platform::parseMarkdown;
using vellum::BlockRuns;
using Kind = platform::PresentationIntent::Kind;

std::string textOf(const AttributedString& text, const BlockRuns::BlockRun& block) {
    return std::string(
        text.characters().substr(block.range.lowerBound.offset, block.range.length()));
}

// (kind or "-", text) of each block.
std::vector<std::pair<std::string, std::string>> describe(const AttributedString& text,
                                                          const BlockRuns& blocks) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const BlockRuns::BlockRun block : blocks) {
        out.emplace_back(block.intent ? platform::describe(block.intent->kind()) : "-",
                         textOf(text, block));
    }
    return out;
}

using Blocks = std::vector<std::pair<std::string, std::string>>;

TEST(BlockRunsTest, TopLevelBlocksSplitByIdentityNotByKind) {
    EXPECT_TRUE(BlockRuns(AttributedString()).empty());
    const AttributedString text = parseMarkdown("one **b** _i_\n\ntwo\n\n> q\n");
    const BlockRuns blocks(text);
    EXPECT_EQ(describe(text, blocks),
              (Blocks{{"paragraph", "one b i"}, {"paragraph", "two"}, {"blockQuote", "q"}}));
    // The last block ends with the text.
    EXPECT_EQ(blocks[2].range.upperBound, text.endIndex());
}

// Lists in quotes in lists: each level is walked with the block above as parent.
TEST(BlockRunsTest, EveryLevelOfANestedDocument) {
    const AttributedString text =
        parseMarkdown("- a\n- > b\n  > 1. c\n  >    - d\n  > 2. e\n- f\n");
    const BlockRuns top(text);
    ASSERT_EQ(describe(text, top), (Blocks{{"unorderedList", "abcdef"}}));

    const BlockRuns items(text, top[0].intent);
    ASSERT_EQ(describe(text, items),
              (Blocks{{"listItem", "a"}, {"listItem", "bcde"}, {"listItem", "f"}}));
    EXPECT_EQ(items[1].intent->ordinal(), 2);

    const BlockRuns second(text[items[1].range], items[1].intent);
    ASSERT_EQ(describe(text, second), (Blocks{{"blockQuote", "bcde"}}));
    const BlockRuns quoted(text[second[0].range], second[0].intent);
    ASSERT_EQ(describe(text, quoted), (Blocks{{"paragraph", "b"}, {"orderedList", "cde"}}));
    const BlockRuns ordered(text[quoted[1].range], quoted[1].intent);
    ASSERT_EQ(describe(text, ordered), (Blocks{{"listItem", "cd"}, {"listItem", "e"}}));
    const BlockRuns inner(text[ordered[0].range], ordered[0].intent);
    EXPECT_EQ(describe(text, inner), (Blocks{{"paragraph", "c"}, {"unorderedList", "d"}}));

    // A paragraph as parent is the innermost block of its runs: no block below it.
    const BlockRuns belowParagraph(text[inner[0].range], inner[0].intent);
    EXPECT_EQ(describe(text, belowParagraph), (Blocks{{"-", "c"}}));
}

TEST(BlockRunsTest, TablesDivideIntoRowsAndCells) {
    const AttributedString text = parseMarkdown("| a | b |\n|---|--:|\n| c | **d** e |\n");
    const BlockRuns table(text);
    ASSERT_EQ(table.size(), 1U);
    EXPECT_EQ(table[0].intent->kind(), Kind::table);
    EXPECT_EQ(table[0].intent->columns().size(), 2U);
    const BlockRuns rows(text, table[0].intent);
    ASSERT_EQ(describe(text, rows), (Blocks{{"tableHeaderRow", "ab"}, {"tableRow", "cd e"}}));
    const BlockRuns cells(text[rows[1].range], rows[1].intent);
    ASSERT_EQ(describe(text, cells), (Blocks{{"tableCell", "c"}, {"tableCell", "d e"}}));
    EXPECT_EQ(cells[1].intent->columnIndex(), 1);
}

TEST(BlockRunsTest, RunsOutsideTheParentFormOneBlockWithoutIntent) {
    const AttributedString text = parseMarkdown("a\n\nb\n\n- c\n");
    const BlockRuns list(text);
    const BlockRuns items(text, list[2].intent);
    EXPECT_EQ(describe(text, items), (Blocks{{"-", "ab"}, {"listItem", "c"}}));
    // Plain text without any presentation intent is one block without intent.
    EXPECT_EQ(describe(AttributedString("plain"), BlockRuns(AttributedString("plain"))),
              (Blocks{{"-", "plain"}}));
}

TEST(BlockRunsTest, PositionsMoveWithinLimits) {
    EXPECT_EQ(BlockRuns::index(1, 2, 3), 3U);
    EXPECT_FALSE(BlockRuns::index(1, 3, 3));
    EXPECT_EQ(BlockRuns::index(3, -2, 1), 1U);
    EXPECT_FALSE(BlockRuns::index(3, -3, 1));
    // A limit behind the start in the direction of travel does not stop the move.
    EXPECT_EQ(BlockRuns::index(3, 2, 1), 5U);

    std::vector<BlockRuns::IntentType> types = {BlockRuns::IntentType::paragraph(3),
                                                BlockRuns::IntentType::blockQuote(1)};
    EXPECT_EQ(vellum::firstIndexOfIntentType(BlockRuns::IntentType::blockQuote(1), types), 1U);
    EXPECT_FALSE(vellum::firstIndexOfIntentType(BlockRuns::IntentType::blockQuote(2), types));
}

TEST(JoinAttributedStringsTest, OffsetsInUtf16ByIdentity) {
    const auto a = platform::makeReference(AttributedString("ab\xF0\x9F\x98\x80"));
    const auto b = platform::makeReference(AttributedString("cde"));
    const auto [joined, offsets] = vellum::joinAttributedStrings({a, b});
    EXPECT_EQ(joined->characters(), "ab\xF0\x9F\x98\x80"
                                    "cde");
    EXPECT_EQ(offsets.at(a.get()), 0U);
    EXPECT_EQ(offsets.at(b.get()), 4U);

    const auto [twice, twiceOffsets] = vellum::joinAttributedStrings({a, a});
    EXPECT_EQ(twiceOffsets.size(), 1U);
    EXPECT_EQ(twiceOffsets.at(a.get()), 4U);

    // Equal contents, different strings: each keeps its own offset.
    const auto copy = platform::makeReference(AttributedString("cde"));
    const auto [equal, equalOffsets] = vellum::joinAttributedStrings({b, copy});
    EXPECT_EQ(equalOffsets.at(b.get()), 0U);
    EXPECT_EQ(equalOffsets.at(copy.get()), 3U);

    const auto [single, singleOffsets] = vellum::joinAttributedStrings({b});
    EXPECT_EQ(single, b);
    const auto [none, noneOffsets] = vellum::joinAttributedStrings({});
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(noneOffsets.at(none.get()), 0U);
}

} // namespace

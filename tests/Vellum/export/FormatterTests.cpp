// The formatter's document tree: how runs with presentation intents become blocks, how inline
// intents, links and attachments become inline nodes, and what is left out.

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "tests/Vellum/export/FormatterTestSupport.hpp"

#include <gtest/gtest.h>
#include <thread>

namespace {

using platform::AttributeContainer;
using platform::AttributedString;
using platform::InlinePresentationIntent;
using platform::PresentationIntent;
using vellum::Formatter;
using IntentType = PresentationIntent::IntentType;
using Foundation = platform::AttributeScopes::FoundationAttributes;
using Block = Formatter::BlockNode;
using Inline = Formatter::InlineNode;

AttributeContainer attributes(std::vector<IntentType> components,
                              InlinePresentationIntent inlineIntent = {}) {
    AttributeContainer container;
    if (!components.empty()) {
        container.set<Foundation::PresentationIntentAttribute>(
            PresentationIntent(std::move(components)));
    }
    if (!inlineIntent.empty()) {
        container.set<Foundation::InlinePresentationIntentAttribute>(inlineIntent);
    }
    return container;
}

std::vector<Block> parse(std::string_view markdown) {
    const Formatter formatter(
        vellum::AttributedStringMarkdownParser::markdown().attributedString(markdown));
    return formatter.blockNodes();
}

std::string describe(const std::vector<Block>& blocks) {
    std::string out;
    for (const Block& block : blocks) {
        out += block.description();
    }
    return out;
}

platform::URL url(std::string_view text) {
    return *platform::URL::fromString(text);
}

TEST(FormatterBlockModelTest, TextWithoutBlocksIsOneParagraphOfAllItsRuns) {
    AttributedString text;
    text.append("a ", attributes({}));
    text.append("b", attributes({}, InlinePresentationIntent::emphasized()));
    const Formatter formatter(text);
    ASSERT_EQ(formatter.blockNodes().size(), 1U);
    EXPECT_EQ(formatter.blockNodes()[0],
              Block::paragraph({Inline::text("a "), Inline::emphasized({Inline::text("b")})}));

    const Formatter empty{AttributedString()};
    EXPECT_EQ(empty.blockNodes(), std::vector<Block>{Block::paragraph({})});
}

TEST(FormatterBlockModelTest, RunsWithoutIntentBelongToTheBlockAroundThemOnly) {
    const auto p1 = IntentType::paragraph(1);
    AttributedString text;
    text.append("a", attributes({p1}));
    text.append("-", attributes({}));
    text.append("b", attributes({p1}, InlinePresentationIntent::code()));
    text.append("tail", attributes({}));
    const Formatter formatter(text);
    EXPECT_EQ(formatter.blockNodes(),
              std::vector<Block>{
                  Block::paragraph({Inline::text("a"), Inline::text("-"), Inline::code("b")})})
        << describe(formatter.blockNodes());
}

TEST(FormatterBlockModelTest, EveryRunIsOneNodeWrappedStrongEmphasisStrikethroughLink) {
    const auto p = IntentType::paragraph(1);
    const InlinePresentationIntent strong = InlinePresentationIntent::stronglyEmphasized();
    const InlinePresentationIntent emphasis = InlinePresentationIntent::emphasized();
    AttributedString text;
    text.append("a ", attributes({p}, strong));
    text.append("b", attributes({p}, strong | emphasis));
    AttributeContainer linked =
        attributes({p}, strong | emphasis | InlinePresentationIntent::strikethrough());
    linked.set<Foundation::LinkAttribute>(url("https://x.dev"));
    text.append("c", linked);
    text.append(" ", attributes({p}, InlinePresentationIntent::softBreak()));
    text.append("\n", attributes({p}, InlinePresentationIntent::lineBreak()));
    AttributeContainer attached = attributes({p}, InlinePresentationIntent::code());
    const vellum::AnyAttachment formula(
        vellum::MathAttachment("x", vellum::MathAttachment::DisplayStyle::inline_));
    vellum::setAttachment(attached, formula);
    text.append("\xEF\xBF\xBC", attached);

    const Formatter formatter(text);
    const std::vector<Block> expected{Block::paragraph({
        Inline::strong({Inline::text("a ")}),
        Inline::emphasized({Inline::strong({Inline::text("b")})}),
        Inline::link(url("https://x.dev"), {Inline::strikethrough({Inline::emphasized(
                                               {Inline::strong({Inline::text("c")})})})}),
        Inline::text(" "),
        Inline::lineBreak(),
        Inline::attachment(formula),
    })};
    EXPECT_EQ(formatter.blockNodes(), expected) << describe(formatter.blockNodes());
}

TEST(FormatterBlockModelTest, ParsedDocumentsNestListsQuotesAndTables) {
    EXPECT_EQ(parse("- a\n- b\n"), std::vector<Block>{Block::unorderedList({
                                       {1, {Block::paragraph({Inline::text("a")})}},
                                       {2, {Block::paragraph({Inline::text("b")})}},
                                   })});

    EXPECT_EQ(parse("1. Item\n   - Sub\n"),
              std::vector<Block>{Block::orderedList(
                  {{1,
                    {Block::paragraph({Inline::text("Item")}),
                     Block::unorderedList({{1, {Block::paragraph({Inline::text("Sub")})}}})}}})});

    EXPECT_EQ(parse("> q\n>\n> ```sh\n> ls\n> ```\n\n---\n"),
              (std::vector<Block>{Block::blockQuote({Block::paragraph({Inline::text("q")}),
                                                     Block::codeBlock("sh", "ls\n")}),
                                  Block::thematicBreak()}));

    using Column = PresentationIntent::TableColumn;
    EXPECT_EQ(
        parse("| H | I |\n|---|--:|\n| a | b |\n"),
        std::vector<Block>{Block::table({Column{PresentationIntent::TableColumnAlignment::left},
                                         Column{PresentationIntent::TableColumnAlignment::right}},
                                        {{{{Inline::text("H")}, {Inline::text("I")}}},
                                         {{{Inline::text("a")}, {Inline::text("b")}}}})});
}

TEST(FormatterBlockModelTest, HeaderLevelIsKeptAsTheIntentGivesIt) {
    AttributedString text;
    text.append("deep", attributes({IntentType::header(7, 1)}));
    EXPECT_EQ(Formatter(text).blockNodes(),
              std::vector<Block>{Block::header(7, {Inline::text("deep")})});
}

TEST(FormatterBlockModelTest, StructureThatIsNoDocumentIsLeftOutWithItsText) {
    const auto list = IntentType::unorderedList(1);
    AttributedString text;
    // A paragraph that holds a block, a list item outside a list, a list that is a leaf and a
    // row outside a table.
    text.append("inner", attributes({IntentType::paragraph(3), IntentType::paragraph(2)}));
    text.append("stray", attributes({IntentType::paragraph(5), IntentType::listItem(1, 4)}));
    text.append("leaf", attributes({list}));
    text.append("row", attributes({IntentType::tableCell(0, 8), IntentType::tableRow(1, 7)}));
    text.append("kept", attributes({IntentType::paragraph(9)}));
    EXPECT_EQ(Formatter(text).blockNodes(),
              std::vector<Block>{Block::paragraph({Inline::text("kept")})});

    // Only list items that are containers become items; a thematic break may be either.
    AttributedString items;
    items.append("x", attributes({IntentType::listItem(1, 2), list}));
    items.append("y", attributes({IntentType::paragraph(4), IntentType::listItem(2, 3), list}));
    items.append("\n", attributes({IntentType::thematicBreak(6), IntentType::blockQuote(5)}));
    EXPECT_EQ(Formatter(items).blockNodes(),
              (std::vector<Block>{
                  Block::unorderedList({{2, {Block::paragraph({Inline::text("y")})}}}),
                  Block::blockQuote({Block::thematicBreak()}),
              }));
}

TEST(FormatterBlockModelTest, EmptyCellsKeepTheLaterCellsUnderTheirColumns) {
    // An empty cell has no run; without filling, "b" would move under the first column.
    const std::vector<Block> blocks = parse("| A | B | C |\n|---|---|---|\n|  | b |  |\n");
    ASSERT_EQ(blocks.size(), 1U);
    const auto* table = blocks[0].as<Block::Table>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->children.size(), 2U);
    EXPECT_EQ(table->children[1].cells,
              (std::vector<std::vector<Inline>>{{}, {Inline::text("b")}, {}}));

    // A row cut by a selection that starts in its middle keeps its cells in place too.
    const auto table1 = IntentType::table(
        std::vector<PresentationIntent::TableColumn>(3, PresentationIntent::TableColumn{}), 1);
    AttributedString cut;
    cut.append("z", attributes({IntentType::tableCell(2, 3), IntentType::tableRow(1, 2), table1}));
    const Formatter cutFormatter(cut);
    const auto* cutTable = cutFormatter.blockNodes().at(0).as<Block::Table>();
    ASSERT_NE(cutTable, nullptr);
    EXPECT_EQ(cutTable->children.back().cells,
              (std::vector<std::vector<Inline>>{{}, {}, {Inline::text("z")}}));
}

TEST(FormatterBlockModelTest, AnEmptyHeaderRowStaysTheHead) {
    // The header's cells hold no characters, so the header row has no run at all.
    const Formatter formatter(vellum::AttributedStringMarkdownParser::markdown().attributedString(
        "|  |  |\n|---|--:|\n| a | b |\n| c | d |\n"));
    const auto* table = formatter.blockNodes().at(0).as<Block::Table>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->children.size(), 3U);
    EXPECT_EQ(table->children[0].cells, (std::vector<std::vector<Inline>>{{}, {}}));
    EXPECT_EQ(table->children[1].cells,
              (std::vector<std::vector<Inline>>{{Inline::text("a")}, {Inline::text("b")}}));
    EXPECT_EQ(formatter.html(), "<table>\n<thead>\n<tr>\n<th align=\"left\"></th>\n"
                                "<th align=\"right\"></th>\n</tr>\n</thead>\n<tr>\n"
                                "<td align=\"left\">a</td>\n<td align=\"right\">b</td>\n</tr>\n"
                                "<tr>\n<td align=\"left\">c</td>\n<td align=\"right\">d</td>\n"
                                "</tr>\n</table>");
    EXPECT_EQ(formatter.plainText(), ",\na,b\nc,d");
}

TEST(FormatterBlockModelTest, ListsNestedBeyondTheLimitKeepEveryItem) {
    std::string markdown;
    for (int level = 0; level < 40; ++level) {
        markdown += std::string(static_cast<std::size_t>(level) * 2, ' ') + "- item" +
                    std::to_string(level) + "\n";
    }
    const Formatter formatter(
        vellum::AttributedStringMarkdownParser::markdown().attributedString(markdown));
    ASSERT_EQ(formatter.blockNodes().size(), 1U);
    const std::string html = formatter.html();
    const std::string text = formatter.plainText();
    for (int level = 0; level < 40; ++level) {
        const std::string item = "item" + std::to_string(level) + "<";
        EXPECT_NE(html.find(item), std::string::npos) << item;
        EXPECT_NE(text.find(item.substr(0, item.size() - 1)), std::string::npos) << item;
    }
    // The levels kept still pair lists with items, and no deeper than the limit.
    std::size_t lists = 0;
    for (std::size_t at = html.find("<ul>"); at != std::string::npos;
         at = html.find("<ul>", at + 1)) {
        ++lists;
    }
    EXPECT_LE(lists * 2, Formatter::maximumNestingDepth);
    EXPECT_GE(lists * 2 + 2, Formatter::maximumNestingDepth);
}

TEST(FormatterBlockModelTest, EqualAttachmentsSideBySideExportEach) {
    const Formatter formatter(
        vellum::AttributedStringMarkdownParser::markdown().attributedString("$x$$x$"));
    const auto* paragraph = formatter.blockNodes().at(0).as<Block::Paragraph>();
    ASSERT_NE(paragraph, nullptr);
    ASSERT_EQ(paragraph->children.size(), 2U);
    EXPECT_EQ(paragraph->children[0], paragraph->children[1]);
}

TEST(FormatterBlockModelTest, NestingBeyondTheLimitKeepsItsTextAndStaysShallow) {
    const std::string markdown = std::string(5000, '>') + " deep text\n\nafter\n";
    const Formatter formatter(
        vellum::AttributedStringMarkdownParser::markdown().attributedString(markdown));
    const std::vector<Block>& blocks = formatter.blockNodes();
    ASSERT_EQ(blocks.size(), 2U);
    std::size_t depth = 0;
    const Block* block = &blocks[0];
    while (const auto* quote = block->as<Block::BlockQuote>()) {
        ASSERT_EQ(quote->children.size(), 1U);
        block = &quote->children[0];
        ++depth;
    }
    EXPECT_EQ(*block, Block::paragraph({Inline::text("deep text")}));
    EXPECT_EQ(depth, Formatter::maximumNestingDepth - 1);
    EXPECT_EQ(blocks[1], Block::paragraph({Inline::text("after")}));
    EXPECT_EQ(formatter.plainText().substr(formatter.plainText().size() - 16),
              "deep text\n\nafter");
}

TEST(FormatterBlockModelTest, TheTreeIsBuiltOnceForBothExportsAndAllThreads) {
    const Formatter formatter(
        vellum::AttributedStringMarkdownParser::markdown().attributedString("# T\n\n- a\n"));
    EXPECT_EQ(formatter.buildCount(), 0);
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&formatter] { EXPECT_EQ(formatter.blockNodes().size(), 2U); });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_FALSE(formatter.html().empty());
    EXPECT_FALSE(formatter.plainText().empty());
    EXPECT_EQ(formatter.buildCount(), 1);
}

// A copy hands the formatter the pieces of many texts, read where they lie; what it exports must
// be what the same pieces joined into one attributed string export.
std::vector<Block> joinedExport(const std::vector<platform::AttributedSubstring>& pieces) {
    AttributedString joined;
    for (const platform::AttributedSubstring& piece : pieces) {
        joined.append(piece);
    }
    return Formatter(joined).blockNodes();
}

TEST(FormatterJoinedPiecesTest, ATextCutAnywhereExportsAsItselfFromItsPieces) {
    const AttributedString text =
        vellum::AttributedStringMarkdownParser::markdown().attributedString(
            "# A **strong title**\n\n- item *one* [a link](https://x.dev)\n- $x$$x$ two\n\n"
            "| a | b |\n|---|---|\n| **c** | d |\n\n```\ncode\n```\n\n> quoted `code`\n");
    const std::vector<Block> whole = Formatter(text).blockNodes();
    const std::size_t size = text.characters().size();
    // Cut in two at every byte (slices keep to scalar boundaries), an empty piece between.
    for (std::size_t cut = 0; cut <= size; ++cut) {
        const std::vector<platform::AttributedSubstring> pieces{
            text[{{0}, {cut}}], text[{{cut}, {cut}}], text[{{cut}, {size}}]};
        ASSERT_EQ(Formatter::joinedBlockNodes(pieces), whole) << "cut at " << cut;
    }
    // And into many pieces.
    for (const std::size_t step : {1U, 2U, 5U}) {
        std::vector<platform::AttributedSubstring> pieces;
        for (std::size_t at = 0; at < size; at += step) {
            pieces.push_back(text[{{at}, {at + step}}]);
        }
        EXPECT_EQ(Formatter::joinedBlockNodes(pieces), whole) << "pieces of " << step;
    }
}

TEST(FormatterJoinedPiecesTest, EqualRunsOfTwoTextsBecomeOneButAttachmentsStayAlone) {
    const auto p = IntentType::paragraph(1);
    const InlinePresentationIntent strong = InlinePresentationIntent::stronglyEmphasized();
    AttributeContainer attached = attributes({p});
    const vellum::AnyAttachment formula(
        vellum::MathAttachment("x", vellum::MathAttachment::DisplayStyle::inline_));
    vellum::setAttachment(attached, formula);
    // Each piece its own string, its attributes made apart, equal by value.
    const auto piece = [](std::string_view characters, const AttributeContainer& attributes) {
        return AttributedString(characters, attributes).slice();
    };
    const std::vector<platform::AttributedSubstring> pieces{
        piece("bold ", attributes({p}, strong)),
        piece("words", attributes({p}, strong)),
        piece("\xEF\xBF\xBC", attached),
        piece("\xEF\xBF\xBC", attached),
        piece("plain", attributes({p})),
        piece("", attributes({p})),
        piece(" text", attributes({p})),
        piece("\xEF\xBF\xBC", attached),
        piece(" ", attributes({p})),
    };
    const std::vector<Block> expected{Block::paragraph({
        Inline::strong({Inline::text("bold words")}),
        Inline::attachment(formula),
        Inline::attachment(formula),
        Inline::text("plain text"),
        Inline::attachment(formula),
        Inline::text(" "),
    })};
    EXPECT_EQ(Formatter::joinedBlockNodes(pieces), expected);
    EXPECT_EQ(joinedExport(pieces), expected);
    // No pieces are an empty text, one empty paragraph.
    EXPECT_EQ(Formatter::joinedBlockNodes({}), Formatter(AttributedString()).blockNodes());
}

} // namespace

// The plain-text writer: blank lines between blocks, list markers and indentation by nesting,
// newline handling inside indented text, and tables as comma-separated rows.

#include "Vellum/export/FormatterPlainText.hpp"
#include "tests/Vellum/export/FormatterTestSupport.hpp"

#include <gtest/gtest.h>

namespace {

using platform::PresentationIntent;
using vellum::Formatter;
using Block = Formatter::BlockNode;
using Inline = Formatter::InlineNode;

Block paragraph(std::string text) {
    return Block::paragraph({Inline::text(std::move(text))});
}

std::string plainText(const std::vector<Block>& blocks) {
    return vellum::formatterPlainText(blocks, 0, false);
}

Block bullets(std::vector<std::vector<Block>> items) {
    std::vector<Formatter::ListItem> list;
    for (auto& blocks : items) {
        list.push_back({static_cast<int>(list.size()) + 1, std::move(blocks)});
    }
    return Block::unorderedList(std::move(list));
}

TEST(FormatterPlainTextTest, TopLevelBlocksAreSeparatedByAnEmptyLine) {
    EXPECT_EQ(plainText({}), "");
    EXPECT_EQ(plainText({Block::paragraph({})}), "");
    EXPECT_EQ(
        plainText({paragraph("a"), Block::header(2, {Inline::text("h")}), Block::thematicBreak()}),
        "a\n\nh\n\n***");
    // A code block keeps its final line feed: three of them stand before the next block.
    EXPECT_EQ(plainText({Block::codeBlock("c", "x\n"), paragraph("p")}), "x\n\n\np");
    EXPECT_EQ(plainText({Block::blockQuote({paragraph("q"), paragraph("r")})}), "  q\n\n  r");
}

TEST(FormatterPlainTextTest, InlineMarkupLeavesOnlyItsText) {
    using vellum::testing::PictureAttachment;
    EXPECT_EQ(plainText({Block::paragraph({
                  Inline::link(*platform::URL::fromString("https://e.dev"),
                               {Inline::strong({Inline::text("link")})}),
                  Inline::lineBreak(),
                  Inline::code("c"),
                  Inline::attachment(
                      vellum::AnyAttachment(PictureAttachment("smile", platform::Data{1, 2}))),
              })}),
              "link c:smile:");
}

TEST(FormatterPlainTextTest, ListItemsCarryMarkersIndentedByTheirLevel) {
    EXPECT_EQ(plainText({bullets({{paragraph("a")}, {paragraph("b")}})}),
              "  \xE2\x80\xA2 a\n  \xE2\x80\xA2 b");
    EXPECT_EQ(plainText({Block::orderedList({{7, {paragraph("a")}}, {8, {paragraph("b")}}})}),
              "  7. a\n  8. b");
    EXPECT_EQ(plainText({bullets({{paragraph("a"), bullets({{paragraph("b")}})}})}),
              "  \xE2\x80\xA2 a\n    \xE2\x80\xA2 b");
    // Blocks inside an item are separated by one line feed and indented like its first line.
    EXPECT_EQ(plainText({bullets({{paragraph("p1"), paragraph("p2")}})}),
              "  \xE2\x80\xA2 p1\n  p2");
    EXPECT_EQ(plainText({bullets({{}})}), "  \xE2\x80\xA2 ");
    // A thematic break is never indented.
    EXPECT_EQ(plainText({bullets({{paragraph("a"), Block::thematicBreak()}})}),
              "  \xE2\x80\xA2 a\n***");
    // A code block ending in a line feed inside an item: its empty last line is indented too.
    EXPECT_EQ(plainText({bullets({{paragraph("a"), Block::codeBlock(std::nullopt, "x\n")}}),
                         paragraph("p")}),
              "  \xE2\x80\xA2 a\n  x\n  \n\n\np");
}

TEST(FormatterPlainTextTest, IndentedTextTurnsEveryNewlineIntoALineFeed) {
    const auto quoted = [](std::string text) {
        return plainText({Block::blockQuote({Block::codeBlock(std::nullopt, std::move(text))})});
    };
    EXPECT_EQ(quoted("a\r\nb\rc\vd\fe\xC2\x85"
                     "f\xE2\x80\xA8g\xE2\x80\xA9h"),
              "  a\n  b\n  c\n  d\n  e\n  f\n  g\n  h");
    EXPECT_EQ(quoted("a\n\nb"), "  a\n  \n  b");
    // Only a final line feed of its own adds one; a final CR LF or other newline does not.
    EXPECT_EQ(quoted("a\n"), "  a\n  \n");
    EXPECT_EQ(quoted("a\r\n"), "  a\n  ");
    EXPECT_EQ(quoted("a\xE2\x80\xA8"), "  a\n  ");
    EXPECT_EQ(quoted(""), "  ");
    // Other characters are left alone, multi-byte ones included.
    EXPECT_EQ(quoted("\xE2\x80\xA7\xC2\x84"), "  \xE2\x80\xA7\xC2\x84");
}

TEST(FormatterPlainTextTest, TablesAreCommaSeparatedRowsWithQuotedCells) {
    EXPECT_EQ(plainText({Block::table({}, {{{{Inline::text("A")}, {Inline::text("B")}}},
                                           {{{Inline::text("1")}, {Inline::text("x,y")}}}})}),
              "A,B\n1,\"x,y\"");
    EXPECT_EQ(plainText({Block::blockQuote(
                  {Block::table({}, {{{{Inline::text("a")}}}, {{{Inline::text("b")}}}})})}),
              "  a\n  b");

    using vellum::quoteTableCellText;
    EXPECT_EQ(quoteTableCellText(""), "");
    EXPECT_EQ(quoteTableCellText("plain"), "plain");
    EXPECT_EQ(quoteTableCellText("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(quoteTableCellText(" lead"), "\" lead\"");
    EXPECT_EQ(quoteTableCellText("trail "), "\"trail \"");
    EXPECT_EQ(quoteTableCellText("a\nb"), "\"a\nb\"");
    EXPECT_EQ(quoteTableCellText("a\rb"), "\"a\rb\"");
    EXPECT_EQ(quoteTableCellText("a\tb"), "a\tb");
    EXPECT_EQ(quoteTableCellText("a\xE2\x80\xA8"
                                 "b"),
              "a\xE2\x80\xA8"
              "b");
}

} // namespace

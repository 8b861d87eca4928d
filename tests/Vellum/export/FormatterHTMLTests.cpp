// The HTML writer, node by node: the exact bytes of each kind of block and inline node, the
// escaping that keeps text from opening markup, and the links that are not written as links.

#include "Vellum/export/FormatterHTML.hpp"
#include "tests/Vellum/export/FormatterTestSupport.hpp"

#include <gtest/gtest.h>

namespace {

using platform::PresentationIntent;
using vellum::Formatter;
using vellum::formatterHTML;
using Block = Formatter::BlockNode;
using Inline = Formatter::InlineNode;
using Alignment = PresentationIntent::TableColumnAlignment;
using Column = PresentationIntent::TableColumn;

Block paragraph(std::string text) {
    return Block::paragraph({Inline::text(std::move(text))});
}

Formatter::ListItem item(int ordinal, std::vector<Block> blocks) {
    return {ordinal, std::move(blocks)};
}

std::string inlineHTML(const Inline& node) {
    return vellum::formatInlineHTML(node);
}

Inline linkTo(std::string_view url) {
    return Inline::link(*platform::URL::fromString(url), {Inline::text("t")});
}

TEST(FormatterHTMLTest, EscapingLeavesNothingThatOpensMarkup) {
    EXPECT_EQ(vellum::escapeHTMLText("a<b>&c\"d'e"), "a&lt;b&gt;&amp;c\"d'e");
    EXPECT_EQ(vellum::escapeHTMLAttribute("a<b>&c\"d'e"), "a&lt;b&gt;&amp;c&quot;d'e");
    // Everything outside printable ASCII becomes a decimal reference, in text and attributes.
    EXPECT_EQ(vellum::escapeHTMLText("\t\n\x7F\xC3\xA9\xF0\x9F\x98\x80"),
              "&#9;&#10;&#127;&#233;&#128512;");
    EXPECT_EQ(vellum::escapeHTMLAttribute("\xC3\xA9"), "&#233;");
    // Malformed UTF-8 never passes through.
    EXPECT_EQ(vellum::escapeHTMLText("a\xFF\xC3"), "a&#65533;&#65533;");
    EXPECT_EQ(vellum::escapeHTMLText(std::string("\0", 1)), "&#0;");

    // Code keeps every character but the three that open markup.
    EXPECT_EQ(formatterHTML({Block::codeBlock(std::nullopt, "<a href=\"x\">\t\xC3\xA9 & \n")}),
              "<pre><code>&lt;a href=\"x\"&gt;\t\xC3\xA9 &amp; \n</code></pre>");
    EXPECT_EQ(formatterHTML({Block::codeBlock(std::nullopt, "a\xFF")}),
              "<pre><code>a\xEF\xBF\xBD</code></pre>");
}

TEST(FormatterHTMLTest, BlocksAreJoinedByOneLineFeed) {
    EXPECT_EQ(formatterHTML({}), "");
    EXPECT_EQ(formatterHTML({Block::paragraph({})}), "<p></p>");
    EXPECT_EQ(formatterHTML({paragraph("a"), paragraph("b")}), "<p>a</p>\n<p>b</p>");
    EXPECT_EQ(formatterHTML({Block::blockQuote({paragraph("a"), Block::thematicBreak()})}),
              "<blockquote>\n<p>a</p>\n<hr />\n</blockquote>");
}

TEST(FormatterHTMLTest, HeaderLevelsAreClampedToTheSixElements) {
    EXPECT_EQ(formatterHTML({Block::header(0, {Inline::text("a")})}), "<h1>a</h1>");
    EXPECT_EQ(formatterHTML({Block::header(3, {Inline::text("a")})}), "<h3>a</h3>");
    EXPECT_EQ(formatterHTML({Block::header(9, {Inline::text("a")})}), "<h6>a</h6>");
}

TEST(FormatterHTMLTest, CodeBlocksCarryTheirLanguageOnlyWhenTheyHaveOne) {
    EXPECT_EQ(formatterHTML({Block::codeBlock("swift", "let a = 1\n")}),
              "<pre><code class=\"language-swift\">let a = 1\n</code></pre>");
    EXPECT_EQ(formatterHTML({Block::codeBlock("", "x")}), "<pre><code>x</code></pre>");
    EXPECT_EQ(formatterHTML({Block::codeBlock("a\"><b", "x")}),
              "<pre><code class=\"language-a&quot;&gt;&lt;b\">x</code></pre>");
}

TEST(FormatterHTMLTest, OrderedListsStartAtTheirSmallestOrdinal) {
    EXPECT_EQ(
        formatterHTML({Block::orderedList({item(1, {paragraph("a")}), item(2, {paragraph("b")})})}),
        "<ol>\n<li>a</li>\n<li>b</li>\n</ol>");
    EXPECT_EQ(
        formatterHTML({Block::orderedList({item(3, {paragraph("a")}), item(4, {paragraph("b")})})}),
        "<ol start=\"3\">\n<li>a</li>\n<li>b</li>\n</ol>");
    EXPECT_EQ(formatterHTML({Block::orderedList({item(5, {}), item(2, {})})}),
              "<ol start=\"2\">\n<li></li>\n<li></li>\n</ol>");
    EXPECT_EQ(formatterHTML({Block::orderedList({})}), "<ol>\n\n</ol>");
    EXPECT_EQ(formatterHTML({Block::unorderedList({item(1, {paragraph("a")})})}),
              "<ul>\n<li>a</li>\n</ul>");
}

TEST(FormatterHTMLTest, ListItemsWriteALoneParagraphWithoutItsElementAndFirst) {
    const Block sub = Block::unorderedList({item(1, {paragraph("Sub")})});
    EXPECT_EQ(vellum::formatListItemHTML(item(1, {paragraph("Item"), sub})),
              "<li>Item<ul>\n<li>Sub</li>\n</ul></li>");
    // The paragraph comes first even when it follows the other blocks.
    EXPECT_EQ(vellum::formatListItemHTML(
                  item(1, {Block::codeBlock(std::nullopt, "c\n"), paragraph("p"), sub})),
              "<li>p<pre><code>c\n</code></pre>\n<ul>\n<li>Sub</li>\n</ul></li>");
    // No paragraph, or several: every block as it is, paragraphs in p elements.
    EXPECT_EQ(vellum::formatListItemHTML(item(1, {paragraph("a"), paragraph("b")})),
              "<li><p>a</p>\n<p>b</p></li>");
    EXPECT_EQ(vellum::formatListItemHTML(item(1, {Block::header(2, {Inline::text("h")})})),
              "<li><h2>h</h2></li>");
}

TEST(FormatterHTMLTest, TablesHaveAHeadRowAndAlignedCells) {
    const std::vector<Column> columns{Column{Alignment::left}, Column{Alignment::right}};
    EXPECT_EQ(formatterHTML({Block::table(columns, {})}), "<table></table>");
    EXPECT_EQ(
        formatterHTML({Block::table(columns, {{{{Inline::text("A")}, {Inline::text("B")}}}})}),
        "<table>\n<thead>\n<tr>\n<th align=\"left\">A</th>\n<th align=\"right\">B</th>\n"
        "</tr>\n</thead>\n</table>");
    EXPECT_EQ(formatterHTML({Block::table(
                  {Column{Alignment::center}},
                  {{{{Inline::text("H")}}}, {{{Inline::text("1")}}}, {{{Inline::text("2")}}}})}),
              "<table>\n<thead>\n<tr>\n<th align=\"center\">H</th>\n</tr>\n</thead>\n"
              "<tr>\n<td align=\"center\">1</td>\n</tr>\n<tr>\n<td align=\"center\">2</td>\n"
              "</tr>\n</table>");
    // Cells beyond the columns are not written.
    EXPECT_EQ(vellum::formatTableRowHTML(
                  "td", columns, {{Inline::text("a")}, {Inline::text("b")}, {Inline::text("c")}}),
              "<tr>\n<td align=\"left\">a</td>\n<td align=\"right\">b</td>\n</tr>");
}

TEST(FormatterHTMLTest, InlineNodesNestTheirElements) {
    EXPECT_EQ(inlineHTML(Inline::code("a<b")), "<code>a&lt;b</code>");
    EXPECT_EQ(inlineHTML(Inline::strikethrough(
                  {Inline::emphasized({Inline::strong({Inline::text("x")})})})),
              "<del><em><strong>x</strong></em></del>");
    EXPECT_EQ(inlineHTML(Inline::lineBreak()), "<br />");
}

TEST(FormatterHTMLTest, LinksStayLinksUnlessTheyRunScriptOrCarryADocument) {
    EXPECT_EQ(inlineHTML(linkTo("https://e.dev/?a=1&b=2")),
              "<a href=\"https://e.dev/?a=1&amp;b=2\">t</a>");
    EXPECT_EQ(inlineHTML(linkTo("http://e.dev")), "<a href=\"http://e.dev\">t</a>");
    EXPECT_EQ(inlineHTML(linkTo("mailto:a@e.dev")), "<a href=\"mailto:a@e.dev\">t</a>");
    EXPECT_EQ(inlineHTML(linkTo("HTTPS://e.dev")), "<a href=\"HTTPS://e.dev\">t</a>");
    // Relative references, fragments and files are the links of a README.
    for (const char* target : {"CHANGELOG.md", "#install", "../docs/x.md", "file:///doc/a.md",
                               "docs/a%20b.md?x=1&y=2#top", "data-sheet.md", "./javascript:x"}) {
        EXPECT_EQ(inlineHTML(linkTo(target)),
                  "<a href=\"" + vellum::escapeHTMLAttribute(target) + "\">t</a>")
            << target;
    }
    for (const char* target :
         {"javascript:alert(1)", "JavaScript:alert(1)", "data:text/html,x", "DATA:x", "vbscript:x",
          " javascript:x", "\x01\x1F javascript:x", "java\tscript:x", "jav\na\rscript:x"}) {
        // Some of these are no URL to the platform: the check reads what would be written.
        const std::optional<platform::URL> url = platform::URL::fromString(target);
        if (!url) {
            continue;
        }
        EXPECT_EQ(inlineHTML(Inline::link(*url, {Inline::text("t")})), "t") << target;
        EXPECT_FALSE(vellum::isExportableLink(*url)) << target;
    }
}

TEST(FormatterHTMLTest, AttachmentsArePicturesOrTheirEscapedText) {
    using vellum::testing::PictureAttachment;
    const auto picture = [](std::optional<platform::Data> png) {
        return inlineHTML(
            Inline::attachment(vellum::AnyAttachment(PictureAttachment("<b>", std::move(png)))));
    };
    EXPECT_EQ(picture(platform::Data{'a'}), "<img src=\"data:image/png;base64,YQ==\" />");
    EXPECT_EQ(picture(platform::Data{'a', 'b'}), "<img src=\"data:image/png;base64,YWI=\" />");
    EXPECT_EQ(picture(platform::Data{'a', 'b', 'c', 0xFF}),
              "<img src=\"data:image/png;base64,YWJj/w==\" />");
    EXPECT_EQ(picture(platform::Data{}), "<img src=\"data:image/png;base64,\" />");
    EXPECT_EQ(picture(std::nullopt), ":&lt;b&gt;:");
}

} // namespace

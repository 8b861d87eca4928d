// What a copy of rendered text carries: a document with every kind of block, laid out offscreen,
// is selected in parts by dragging across it, and the plain text and HTML
// the copy makes must equal NAME.txt and NAME.html of tests/fixtures/selection-copy byte for
// byte. Those files are the export of the selected part of document.md, written by hand: the
// structure of the selected blocks, formulas as their LaTeX and emoji as their short name. On a
// mismatch the actual output is written beside the build for inspection.

#include "DocumentTestSupport.hpp"
#include "TextLayoutTestSupport.hpp"
#include "Vellum/export/Formatter.hpp"
#include "tests/support/FileContents.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vellum {
namespace {

const std::filesystem::path& fixtures() {
    static const std::filesystem::path path =
        std::filesystem::path(MOSS_VELLUM_FIXTURES).parent_path() / "selection-copy";
    return path;
}

using moss_test::readFile;

void expectFile(const std::string& actual, const std::string& name) {
    const std::string expected = readFile(fixtures() / name);
    EXPECT_EQ(actual, expected) << "for " << name;
    if (actual != expected) {
        const auto dump = std::filesystem::temp_directory_path() / "selection-copy-actual";
        std::filesystem::create_directories(dump);
        std::ofstream(dump / name, std::ios::binary) << actual;
        ADD_FAILURE() << "actual output written to " << (dump / name);
    }
}

/// The copy of the document's selection compared with NAME.txt/.html.
void expectCopy(const test::SelectableDocument& document, const std::string& name) {
    ASSERT_TRUE(document.selectedRange().has_value()) << name;
    const auto copy = document.copied();
    expectFile(copy.plainText, name + ".txt");
    expectFile(copy.html, name + ".html");
}

using Document = test::SelectableDocument;

TEST(SelectionCopy, PartialSelectionsCopyAsTheExportOfTheirPartOfTheSource) {
    Document document(readFile(fixtures() / "document.md"));
    ASSERT_TRUE(document.shown());
    ASSERT_GT(document.collection().layoutCount(), 10u);

    document.drag(document.at("strong"), document.at("nested one", 6));
    expectCopy(document, "paragraph-to-list");

    document.drag(document.at("energy"), document.at("First"));
    expectCopy(document, "formula-and-emoji");

    // A partly filled last row keeps its columns.
    document.drag(document.at("Name", 1), document.at("pears", 3));
    expectCopy(document, "table");

    // The code sits in a horizontally scrolling region, whose text is the document's too.
    document.drag(document.at("main"), document.at("return a", 8));
    expectCopy(document, "code");

    // Select All takes every block in, the code with the line feed that closes it.
    document.command("a");
    expectCopy(document, "whole");
}

// A long document shown in a small window lays out only its first blocks; Select All then Copy
// must still carry every block, not stop at the last one laid out.
TEST(SelectionCopy, SelectAllOfALazyDocumentCopiesBlocksNotYetLaidOut) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 300; ++n) {
        markdown += "Paragraph " + std::to_string(n) +
                    " of a long document, long enough to wrap "
                    "over a couple of lines in a window this narrow.\n\n";
    }
    markdown += "The very last block.\n";
    Document document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    // Laid out lazily: the last block has not been yet.
    ASSERT_LT(document.collection().layoutCount(), 300u);

    document.drag(document.at("First"), document.at("words")); // takes focus
    document.command("a");
    document.command("c");
    const std::string plain = document.copied().plainText;
    EXPECT_TRUE(plain.ends_with("The very last block."))
        << plain.substr(plain.size() > 80 ? plain.size() - 80 : 0);
    EXPECT_NE(plain.find("Paragraph 299 of"), std::string::npos);
}

// A selection from the first screen to a row far below, made while the rows between were not laid
// out, stays when they are: each end keeps its place in the document and the rows laid out later
// join the range.
TEST(SelectionCopy, ASelectionOverRowsNotYetLaidOutSurvivesTheirLayout) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 300; ++n) {
        markdown += "Paragraph " + std::to_string(n) +
                    " of a long document, long enough to wrap "
                    "over a couple of lines in a window this narrow.\n\n";
    }
    Document document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    const std::size_t firstScreen = document.collection().layoutCount();

    // Scrolled far down: the rows there are laid out, most of those between are not.
    document.show(platform::Rect(0, 12000, 560, 400));
    ASSERT_GT(document.collection().layoutCount(), firstScreen);
    std::string target;
    std::size_t targetLayout = 0;
    for (int n = 299; n >= 0 && target.empty(); --n) {
        const std::string candidate = "Paragraph " + std::to_string(n) + " of";
        for (std::size_t l = 0; l < document.collection().layoutCount(); ++l) {
            if (document.collection().layout(l).string().starts_with(candidate)) {
                target = candidate;
                targetLayout = l;
            }
        }
    }
    ASSERT_FALSE(target.empty());
    // From the first text to the end of the row's first word.
    document.select({startPosition(document.collection()),
                     *positionForCharacterIndex(document.collection(), targetLayout, 9)});
    ASSERT_TRUE(document.selectedRange().has_value());
    const std::string before = document.copied().plainText;
    ASSERT_TRUE(before.starts_with("First words :smile: here.")) << before.substr(0, 80);
    ASSERT_TRUE(before.ends_with(target.substr(0, 9))) << before.substr(before.size() - 40);

    // Every row laid out now, those between the ends included.
    const std::size_t laidOut = document.collection().layoutCount();
    document.show(std::nullopt);
    ASSERT_GT(document.collection().layoutCount(), laidOut);
    ASSERT_TRUE(document.selectedRange().has_value()) << "the selection survives the layout";
    const std::string after = document.copied().plainText;
    EXPECT_TRUE(after.starts_with("First words :smile: here.")) << after.substr(0, 80);
    EXPECT_TRUE(after.ends_with(target.substr(0, 9))) << after.substr(after.size() - 40);
    // The rows between joined the range, in order.
    std::size_t at = 0;
    for (int n = 0; "Paragraph " + std::to_string(n) + " of" != target; ++n) {
        at = after.find("Paragraph " + std::to_string(n) + " of", at);
        ASSERT_NE(at, std::string::npos) << n;
    }
}

// The position before character `offset` of `needle` in the first text that holds it.
std::optional<TextPosition> positionAt(const Document& document, std::string_view needle,
                                       std::size_t offset) {
    const auto l = document.textHolding(needle);
    if (!l) {
        return std::nullopt;
    }
    const std::string& string = document.collection().layout(*l).string();
    const std::size_t index = test::utf16Length(string.substr(0, string.find(needle))) + offset;
    return positionForCharacterIndex(document.collection(), *l, static_cast<long>(index));
}

// A range whose far end was reached by a jump to the end of a document (the rows between never
// laid out) copies as the same range of the document laid out whole: every item of a long list,
// every row of a long table, every column of a very wide table, once and in order.
TEST(SelectionCopy, ARangeOverRowsNotLaidOutCopiesAsTheWholeLayoutDoes) {
    std::string list = "Intro words :smile: before it.\n\n";
    for (int n = 1; n <= 300; ++n) {
        list += "- Item " + std::to_string(n) + " of the list\n";
    }
    std::string table = "Intro words :smile: before it.\n\n| A | B |\n|---|---|\n";
    for (int n = 1; n <= 150; ++n) {
        table += "| row " + std::to_string(n) + " | cell " + std::to_string(n) + " |\n";
    }
    std::string wide = "Intro words :smile: before it.\n\n";
    for (int r = 0; r < 5; ++r) {
        for (int c = 1; c <= 160; ++c) {
            wide += (r == 1 ? "|---" : "| r" + std::to_string(r) + "c" + std::to_string(c) + " ");
        }
        wide += "|\n";
    }
    struct Range {
        std::string_view from;
        std::size_t fromOffset;
        std::string_view to;
        std::size_t toOffset;
    };
    const std::vector<std::pair<std::string, std::vector<Range>>> documents = {
        {list,
         {{"words", 2, "closing", 3}, {"Item 2 ", 3, "closing", 3}, {"words", 2, "Item 299", 6}}},
        {table, {{"words", 2, "closing", 3}, {"row 2", 1, "cell 149", 2}}},
        {wide, {{"words", 2, "closing", 3}, {"r2c3", 1, "closing", 3}, {"words", 2, "r4c2", 2}}},
    };
    // Long copies compared where they first differ.
    const auto same = [](const std::string& a, const std::string& b) -> testing::AssertionResult {
        const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
        if (a == b) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure()
               << a.size() << " bytes instead of " << b.size() << ", from byte " << at << ": \""
               << a.substr(static_cast<std::size_t>(at), 60) << "\" instead of \""
               << b.substr(static_cast<std::size_t>(at), 60) << "\"";
    };
    for (const auto& [body, ranges] : documents) {
        const std::string markdown = body + "\nThe closing words.\n";
        Document whole(markdown);
        ASSERT_TRUE(whole.shown());
        for (const Range& range : ranges) {
            const auto label = std::string(range.from) + " to " + std::string(range.to);
            const auto wholeFrom = positionAt(whole, range.from, range.fromOffset);
            const auto wholeTo = positionAt(whole, range.to, range.toOffset);
            ASSERT_TRUE(wholeFrom && wholeTo) << label;
            whole.select({*wholeFrom, *wholeTo});
            const auto expected = whole.copied();

            Document lazy(markdown, platform::Rect(0, 0, 560, 400));
            ASSERT_TRUE(lazy.shown());
            lazy.show(platform::Rect(0, lazy.host().size().height - 400, 560, 400));
            ASSERT_LT(lazy.collection().layoutCount(), whole.collection().layoutCount()) << label;
            const auto from = positionAt(lazy, range.from, range.fromOffset);
            const auto to = positionAt(lazy, range.to, range.toOffset);
            ASSERT_TRUE(from && to) << label;
            lazy.select({*from, *to});
            const auto copied = lazy.copiedByCommand();
            EXPECT_TRUE(same(copied.plainText, expected.plainText)) << label;
            EXPECT_TRUE(same(copied.html, expected.html)) << label;
        }
    }
    // The reference itself holds every row and column.
    Document whole(wide + "\nThe closing words.\n");
    whole.select({*positionAt(whole, "words", 0), *positionAt(whole, "closing", 0)});
    EXPECT_NE(whole.copied().plainText.find("r4c1,r4c2,"), std::string::npos);
    EXPECT_TRUE(whole.copied().plainText.ends_with("r4c159,r4c160\n\nThe "));
}

// Two clicks select the word under the pointer, three the laid-out text: in a table, one cell.
// The copy is what was selected, a body cell staying a body cell.
TEST(SelectionCopy, DoubleAndTripleClicksCopyAWordAndACell) {
    Document document("Timings :smile: of each step.\n\n"
                      "| Step | Runs | Mean | Time |\n|------|------|-----:|-----:|\n"
                      "| parse | 3 | 0.1 | 0.167s |\n| build | 2 | 0.2 | 1.500s |\n\n"
                      "Then a wasm_bindgen call.\n\nSo $f(z) = z^2$ holds.\n");
    ASSERT_TRUE(document.shown());
    const auto clicks = [&document](platform::Point at, int count) {
        for (int n = 1; n <= count; ++n) {
            document.host().pointer({platform::ui::PointerEvent::Kind::down, at, 1, n, {}});
            document.host().pointer({platform::ui::PointerEvent::Kind::up, at, 1, n, {}});
        }
    };

    clicks(document.at("0.167s", 2), 3);
    EXPECT_EQ(document.copied().plainText, "0.167s");
    EXPECT_EQ(document.copied().html, "<table>\n<tbody>\n<tr>\n<td align=\"right\">0.167s</td>\n"
                                      "</tr>\n</tbody>\n</table>");
    // A header cell stays the head.
    clicks(document.at("Mean", 1), 3);
    EXPECT_EQ(document.copied().plainText, "Mean");
    EXPECT_EQ(document.copied().html, "<table>\n<thead>\n<tr>\n<th align=\"right\">Mean</th>\n"
                                      "</tr>\n</thead>\n</table>");
    // Across the rows of the body: every column, still no head.
    document.drag(document.at("parse"), document.at("build", 2));
    EXPECT_EQ(document.copied().plainText, "parse,3,0.1,0.167s\nbu,,,");
    EXPECT_EQ(document.copied().html.substr(0, 21), "<table>\n<tbody>\n<tr>\n");

    clicks(document.at("wasm_bindgen", 7), 2);
    EXPECT_EQ(document.copied().plainText, "wasm_bindgen");
    // A formula among words is a word of its own, without the spaces beside it.
    clicks(document.at("So \xEF\xBF\xBC", 3), 2);
    EXPECT_EQ(document.copied().plainText, "$f(z) = z^2$");
}

// A header row of empty cells has no text to select; Select All still copies it as the table's
// head, as the document's own export writes it, whether the table opens the document or not.
TEST(SelectionCopy, SelectAllKeepsAnEmptyHeaderRowAsTheHead) {
    const std::string table = "| | |\n|---|---|\n| x | y |\n";
    for (const std::string& markdown :
         {table + "\nEnd :smile: here.\n", "Intro :smile: here.\n\n" + table}) {
        Document document(markdown);
        ASSERT_TRUE(document.shown());
        document.drag(document.at("x"), document.at("y")); // takes focus
        document.command("a");
        const Formatter whole(
            AttributedStringMarkdownParser::markdown().attributedString(markdown));
        EXPECT_EQ(document.copied().plainText, whole.plainText());
        EXPECT_EQ(document.copied().html, whole.html());
    }
}

} // namespace
} // namespace vellum

#include "platform/foundation/Markdown.hpp"
#include "tests/support/FileContents.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::AttributedString;
using platform::InlinePresentationIntent;
using platform::MarkdownParsingError;
using platform::MarkdownParsingOptions;
using platform::parseMarkdown;
using platform::PresentationIntent;
using Foundation = platform::AttributeScopes::FoundationAttributes;
using Kind = PresentationIntent::Kind;

const std::filesystem::path fixtures = std::filesystem::path(MOSS_FOUNDATION_FIXTURES) / "markdown";

using moss_test::readFile;

MarkdownParsingOptions inlineOnly() {
    MarkdownParsingOptions options;
    options.interpretedSyntax =
        MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace;
    return options;
}

std::optional<platform::URL> base() {
    return platform::URL::fromString("https://example.com/docs/guide/");
}

// Every document of the corpus against its run-by-run expectation: text, block intents with
// identities, inline intents, links and image URLs.
TEST(MarkdownTest, CorpusMatchesExpectedRuns) {
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures)) {
        if (entry.path().extension() != ".md") {
            continue;
        }
        const bool inlineMode = entry.path().stem().string().starts_with("inline-only");
        const AttributedString parsed = parseMarkdown(
            readFile(entry.path()), inlineMode ? inlineOnly() : MarkdownParsingOptions{}, base());
        std::filesystem::path expected = entry.path();
        expected.replace_extension(".expected");
        EXPECT_EQ(parsed.description(), readFile(expected)) << entry.path();
        ++documents;
    }
    EXPECT_GE(documents, 9);
}

TEST(MarkdownTest, BlocksAreNotSeparatedInTheText) {
    const AttributedString parsed = parseMarkdown("# A\n\nB\n\n- C\n");
    EXPECT_EQ(parsed.characters(), "ABC");
    // Two paragraphs in a row remain two blocks: their identities differ.
    const AttributedString two = parseMarkdown("one\n\ntwo");
    ASSERT_EQ(two.runs().size(), 2U);
    const auto* first = two.runs()[0].get<Foundation::PresentationIntentAttribute>();
    const auto* second = two.runs()[1].get<Foundation::PresentationIntentAttribute>();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->components()[0].kind(), Kind::paragraph);
    EXPECT_NE(first->components()[0], second->components()[0]);
}

TEST(MarkdownTest, InlineOnlyModeKeepsSourceWhitespaceAndCarriesNoBlocks) {
    const std::string source = "  # title\n\n1. item *x*\n\ttab\n";
    const AttributedString parsed = parseMarkdown(source, inlineOnly());
    EXPECT_EQ(parsed.characters(), "  # title\n\n1. item x\n\ttab\n");
    for (const AttributedString::Run run : parsed.runs()) {
        EXPECT_FALSE(run.get<Foundation::PresentationIntentAttribute>());
    }
    EXPECT_EQ(parsed.runs()[1].get<Foundation::InlinePresentationIntentAttribute>()->rawValue,
              InlinePresentationIntent::emphasizedBit);
}

TEST(MarkdownTest, LinksResolveAgainstTheBaseOnlyWhenRelative) {
    const AttributedString withoutBase = parseMarkdown("[a](page.html) [b](<>)");
    ASSERT_TRUE(withoutBase.runs()[0].get<Foundation::LinkAttribute>());
    EXPECT_EQ(withoutBase.runs()[0].get<Foundation::LinkAttribute>()->absoluteString(),
              "page.html");
    // An empty destination without a base has nothing to point to: " b" is plain text.
    ASSERT_EQ(withoutBase.runs().size(), 2U);
    EXPECT_FALSE(withoutBase.runs()[1].get<Foundation::LinkAttribute>());

    const AttributedString withBase = parseMarkdown("![i](x.png) [m](mailto:a@b.c)", {}, base());
    EXPECT_EQ(withBase.runs()[0].get<Foundation::ImageURLAttribute>()->absoluteString(),
              "https://example.com/docs/guide/x.png");
    EXPECT_EQ(withBase.runs()[2].get<Foundation::LinkAttribute>()->absoluteString(),
              "mailto:a@b.c");
}

TEST(MarkdownTest, ReferenceResolutionFollowsTheStandardExamples) {
    const std::string b = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https:x", "https:x"},
    };
    for (const auto& [reference, expected] : cases) {
        EXPECT_EQ(platform::resolveURLReference(b, reference), expected) << reference;
    }
}

TEST(MarkdownTest, BadBytesAreAnErrorOrRepairedOnRequest) {
    EXPECT_THROW((void)parseMarkdown("bad \xC3\x28 utf8"), MarkdownParsingError);
    EXPECT_THROW((void)parseMarkdown(std::string_view("a\0b", 3)), MarkdownParsingError);
    EXPECT_THROW((void)parseMarkdown(std::string(platform::maximumMarkdownLength + 1, 'a')),
                 MarkdownParsingError);

    MarkdownParsingOptions partial;
    partial.failurePolicy = MarkdownParsingOptions::FailurePolicy::returnPartiallyParsedIfPossible;
    EXPECT_EQ(parseMarkdown("a\xFF*b*", partial).characters(), "a\xEF\xBF\xBD"
                                                               "b");
    EXPECT_EQ(parseMarkdown(std::string_view("a\0b", 3), partial).characters(), "a\xEF\xBF\xBD"
                                                                                "b");
    EXPECT_TRUE(parseMarkdown("").empty());
}

// Stretches read as written: the expressions of a formula syntax, matched on the source before
// markdown's escapes, emphasis and line breaks, in both modes; code is still read first.
TEST(MarkdownTest, VerbatimStretchesKeepTheirSourceCharacters) {
    const std::vector<platform::Regex> dollars = {
        platform::Regex(R"((?s)\$\$(.+?)\$\$)"),
        platform::Regex(R"(\$(?!\$)((?:\\\$|[^$\n])+)\$)")};
    const auto text = [&](std::string_view source, const MarkdownParsingOptions& options = {}) {
        return std::string(parseMarkdown(source, options, std::nullopt, dollars).characters());
    };
    const std::string matrix = "$$\\begin{pmatrix} a & b \\\\\nc & d \\end{pmatrix}$$";
    const std::string braces = "$\\{x\\,y\\;z\\} * a*b*$";
    for (const MarkdownParsingOptions& options : {MarkdownParsingOptions{}, inlineOnly()}) {
        EXPECT_EQ(text(matrix, options), matrix);
        EXPECT_EQ(text("see " + braces + " \\{", options), "see " + braces + " {");
        // A code span opens first and keeps what it holds; outside stretches escapes apply.
        EXPECT_EQ(text("`$\\{$` \\* $a$", options), "$\\{$ * $a$");
        EXPECT_EQ(text("$\\{ `$\\{$` \\}$", options), "${ $\\{$ }$");
    }
    // Without the expressions the same text loses its backslashes.
    EXPECT_EQ(std::string(parseMarkdown(matrix).characters()),
              "$$\\begin{pmatrix} a & b \\ c & d \\end{pmatrix}$$");
    // A stretch that must not cross a line does not, also where the inline mode hides them.
    EXPECT_EQ(text("$a\\{\nb$", inlineOnly()), "$a{\nb$");
    EXPECT_EQ(text("x\n$\\{$\ny", inlineOnly()), "x\n$\\{$\ny");
    // Code blocks are no inline content at all.
    EXPECT_EQ(text("```\n$\\{$\n```\n"), "$\\{$\n");

    // An expression that fails reports it, and the next parse on the thread starts clean.
    platform::Regex::Options tight;
    tight.matchLimit = 1000;
    const std::vector<platform::Regex> failing = {platform::Regex(R"(\$((?:x+)+)y)", tight)};
    EXPECT_THROW((void)parseMarkdown("a $" + std::string(40, 'x') + "$", {}, std::nullopt, failing),
                 platform::RegexError);
    EXPECT_EQ(text("\\{ $\\{$"), "{ $\\{$");
}

// The markdown library keeps the characters its extensions claim in one table for the process:
// parses on several threads at once must not clear each other's characters mid-parse.
TEST(MarkdownTest, ParsesOnSeveralThreadsKeepTheirExtensions) {
    const std::vector<platform::Regex> dollars = {platform::Regex(R"(\$(?!\$)([^$\n]+)\$)")};
    const std::string formula = "$\\{x\\}$ and ";
    std::string source;
    for (int i = 0; i < 200; ++i) {
        source += formula;
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                const std::string text(
                    parseMarkdown(source, {}, std::nullopt, dollars).characters());
                wrong += text == source.substr(0, source.size() - 1) ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

// Deep nesting costs neither stack nor quadratic time: each of these finishes with its text.
TEST(MarkdownTest, HundredThousandLevelsOfNestingParse) {
    constexpr int depth = 100'000;
    std::string quotes;
    std::string lists;
    std::string emphasis;
    for (int i = 0; i < depth; ++i) {
        quotes += "> ";
        lists += "- ";
        emphasis += "*a ";
    }
    emphasis += "x";
    for (int i = 0; i < depth; ++i) {
        emphasis += " b*";
    }
    for (const std::string& source : {quotes + "x", lists + "x", emphasis}) {
        const AttributedString parsed = parseMarkdown(source);
        ASSERT_FALSE(parsed.empty());
        EXPECT_NE(parsed.characters().find('x'), std::string_view::npos);
    }
    const AttributedString quoted = parseMarkdown(quotes + "x");
    const auto* intent = quoted.runs()[0].get<Foundation::PresentationIntentAttribute>();
    ASSERT_TRUE(intent);
    EXPECT_EQ(intent->components().size(), static_cast<std::size_t>(depth) + 1);
    EXPECT_EQ(intent->components().back().kind(), Kind::blockQuote);
    EXPECT_EQ(intent->components().front().kind(), Kind::paragraph);
}

TEST(MarkdownTest, TenMegabyteDocumentParses) {
    const std::string block = "## Section\n\nText with *emphasis* and `code` $x$ :smile:.\n\n"
                              "- one\n- two\n\n";
    std::string source;
    while (source.size() + block.size() <= 10 * 1024 * 1024) {
        source += block;
    }
    const AttributedString parsed = parseMarkdown(source);
    EXPECT_GT(parsed.characters().size(), source.size() / 2);
}

} // namespace

namespace {

// "<prefix>0 | <prefix>1 | …" as a table row of `count` cells.
std::string tableRow(const std::string& prefix, int count) {
    std::string row = "|";
    for (int i = 0; i < count; ++i) {
        row += " " + prefix + std::to_string(i) + " |";
    }
    return row + "\n";
}

} // namespace

// A table of more columns than a table keeps: the header keeps the text of the cells past the
// last column in that one, a body row goes on in rows below it, and a fenced line of as many bars
// is code as written.
TEST(MarkdownTest, ATableOfVeryManyColumnsKeepsEveryCellsTextInBoundedColumns) {
    std::string fenced = "```\n";
    for (int i = 0; i < 2500; ++i) {
        fenced += "a|";
    }
    fenced += "\n```\n";
    std::string delimiter = "|";
    for (int i = 0; i < 2500; ++i) {
        delimiter += "---|";
    }
    const std::string markdown =
        tableRow("h", 2500) + delimiter + "\n" + tableRow("b", 2500) + "\n" + fenced;
    const AttributedString parsed = parseMarkdown(markdown);
    const std::string text(parsed.characters());
    for (int i = 0; i < 2500; i += 7) {
        EXPECT_NE(text.find("h" + std::to_string(i)), std::string::npos) << i;
        EXPECT_NE(text.find("b" + std::to_string(i)), std::string::npos) << i;
    }
    EXPECT_NE(text.find(fenced.substr(4, 5000)), std::string::npos) << "the code keeps its bars";

    int lastColumn = -1;
    std::set<int> bodyRows;
    std::string lastHeaderCell;
    for (const AttributedString::Run& run : parsed.runs()) {
        const PresentationIntent* intent = run.get<Foundation::PresentationIntentAttribute>();
        if (intent == nullptr) {
            continue;
        }
        bool header = false;
        int column = -1;
        for (const PresentationIntent::IntentType& component : intent->components()) {
            if (component.kind() == Kind::tableRow) {
                bodyRows.insert(component.rowIndex());
            } else if (component.kind() == Kind::tableHeaderRow) {
                header = true;
            } else if (component.kind() == Kind::tableCell) {
                column = component.columnIndex();
            }
        }
        lastColumn = std::max(lastColumn, column);
        if (header && column == 999) {
            lastHeaderCell += std::string(parsed[run.range].characters());
        }
    }
    EXPECT_EQ(lastColumn, 999);
    EXPECT_EQ(bodyRows.size(), 3U) << "2,500 cells in rows of 1,000";
    EXPECT_TRUE(lastHeaderCell.starts_with("h999")) << lastHeaderCell.substr(0, 40);
    EXPECT_TRUE(lastHeaderCell.ends_with("h2499")) << lastHeaderCell.substr(0, 40);
}

namespace {

// Every line of `lines` with `first` before the first one and `rest` before the others.
std::string prefixed(const std::vector<std::string>& lines, const std::string& first,
                     const std::string& rest) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i == 0 ? first : rest) + lines[i];
    }
    return text;
}

std::string delimiterRow(int count) {
    std::string row = "|";
    for (int i = 0; i < count; ++i) {
        row += "---|";
    }
    return row + "\n";
}

} // namespace

// A very wide table in a list item or a quote stays a table there: a header on the item's first
// line is bounded as its delimiter row is, and a body row's cells past the last column go on in
// rows of the table, within the item or the quote, where the blanks around a bar leave room for
// the line's prefix (else they stay in the last column); every cell's text is kept.
TEST(MarkdownTest, AVeryWideTableInAListItemOrAQuoteStaysATableThere) {
    struct Case {
        std::string name;
        std::string first;
        std::string rest;
        Kind container;
        std::size_t bodyRows;
    };
    for (const Case& c : {Case{"list item", "- ", "  ", Kind::listItem, 3},
                          Case{"numbered item", "12. ", "    ", Kind::listItem, 1},
                          Case{"quote", "> ", "> ", Kind::blockQuote, 3},
                          Case{"item in a quote", "> - ", ">   ", Kind::listItem, 1}}) {
        SCOPED_TRACE(c.name);
        for (const int columns : {1000, 1500}) {
            SCOPED_TRACE(columns);
            const std::string markdown =
                prefixed({tableRow("h", columns), delimiterRow(columns), tableRow("b", 2500)},
                         c.first, c.rest) +
                "\nafter\n";
            const AttributedString parsed = parseMarkdown(markdown);
            std::set<int> bodyRows;
            std::string cells;
            int lastColumn = -1;
            for (const AttributedString::Run& run : parsed.runs()) {
                const PresentationIntent* intent =
                    run.get<Foundation::PresentationIntentAttribute>();
                const std::string text(parsed[run.range].characters());
                ASSERT_NE(intent, nullptr);
                if (text == "after") {
                    continue;
                }
                bool inCell = false;
                bool inContainer = false;
                for (const PresentationIntent::IntentType& component : intent->components()) {
                    inCell = inCell || component.kind() == Kind::tableCell;
                    inContainer = inContainer || component.kind() == c.container;
                    if (component.kind() == Kind::tableRow) {
                        bodyRows.insert(component.rowIndex());
                    } else if (component.kind() == Kind::tableCell) {
                        lastColumn = std::max(lastColumn, component.columnIndex());
                    }
                }
                EXPECT_TRUE(inCell && inContainer) << text.substr(0, 60);
                cells += text + " ";
            }
            EXPECT_EQ(lastColumn, std::min(columns, 1000) - 1);
            EXPECT_EQ(bodyRows.size(), c.bodyRows);
            for (int i = 0; i < 2500; i += 7) {
                EXPECT_NE(cells.find(" b" + std::to_string(i) + " "), std::string::npos) << i;
            }
            for (int i = 0; i < columns; i += 7) {
                EXPECT_NE(cells.find("h" + std::to_string(i) + " "), std::string::npos) << i;
            }
        }
    }
    // Cells without blanks around their bars leave no room for a quote's markers: the cells past
    // the last column stay in it, in the quote.
    std::string tight = "> |";
    for (int i = 0; i < 1200; ++i) {
        tight += "t" + std::to_string(i) + "|";
    }
    const AttributedString parsed =
        parseMarkdown("> " + tableRow("h", 1200) + "> " + delimiterRow(1200) + tight + "\n");
    const std::string text(parsed.characters());
    EXPECT_NE(text.find("t1199"), std::string::npos);
    for (const AttributedString::Run& run : parsed.runs()) {
        const PresentationIntent* intent = run.get<Foundation::PresentationIntentAttribute>();
        ASSERT_NE(intent, nullptr);
        EXPECT_EQ(intent->components().back().kind(), Kind::blockQuote);
        EXPECT_EQ(intent->components().front().kind(), Kind::tableCell);
    }
}

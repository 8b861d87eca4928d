#include "platform/foundation/InlineMarkdown.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

using platform::AttributedText;
using platform::InlineAttributes;
using platform::InlineMarkdown;
using platform::InlineMarkdownError;

InlineAttributes strong() {
    return {.strong = true};
}
InlineAttributes emphasis() {
    return {.emphasis = true};
}
InlineAttributes code() {
    return {.code = true};
}
InlineAttributes strike() {
    return {.strikethrough = true};
}
InlineAttributes link(std::string url) {
    return {.link = std::move(url)};
}

std::vector<AttributedText::Run> runs(std::string_view markdown) {
    return InlineMarkdown::parse(markdown).runs();
}

TEST(InlineMarkdownTest, InterpretsInlineMarkup) {
    using Runs = std::vector<AttributedText::Run>;
    EXPECT_EQ(runs("a **bold** b"), (Runs{{"a ", {}}, {"bold", strong()}, {" b", {}}}));
    EXPECT_EQ(runs("*it* and _it_"), (Runs{{"it", emphasis()}, {" and ", {}}, {"it", emphasis()}}));
    EXPECT_EQ(runs("run `make all` now"), (Runs{{"run ", {}}, {"make all", code()}, {" now", {}}}));
    EXPECT_EQ(runs("~~old~~ new"), (Runs{{"old", strike()}, {" new", {}}}));
    EXPECT_EQ(runs("see [docs](https://example.com/a)"),
              (Runs{{"see ", {}}, {"docs", link("https://example.com/a")}}));
    EXPECT_EQ(runs("<https://x.dev>"), (Runs{{"https://x.dev", link("https://x.dev")}}));
    // Nested markup combines attributes.
    EXPECT_EQ(runs("***both***"), (Runs{{"both", {.emphasis = true, .strong = true}}}));
    EXPECT_EQ(runs("[**b** c](u)"),
              (Runs{{"b", {.strong = true, .link = "u"}}, {" c", link("u")}}));
}

TEST(InlineMarkdownTest, KeepsBlockMarkersAsLiteralText) {
    const std::string source = "# Title\n\n- item one\n- item **two**\n\n> quote\n"
                               "1. first\n---\n    indented\n| a | b |\n|---|---|\n<div>\n[r]: /x";
    const AttributedText text = InlineMarkdown::parse(source);
    std::string expected = source;
    expected.replace(expected.find("**two**"), 7, "two");
    EXPECT_EQ(text.string(), expected);
    ASSERT_EQ(text.runs().size(), 3U);
    EXPECT_EQ(text.runs()[1], (AttributedText::Run{"two", strong()}));
    // A fence is inline syntax too: the backticks make a code span that keeps its breaks.
    EXPECT_EQ(runs("```\ncode\n```"), (std::vector<AttributedText::Run>{{"\ncode\n", code()}}));
}

TEST(InlineMarkdownTest, KeepsWhitespaceAndLineBreaksExactly) {
    for (const char* source : {"  leading and trailing  ", "line one\nline two", "a  \nb",
                               "tabs\there\t", "\n\nblank lines\n\n\n", "a\r\nb\rc", "\\\nx",
                               "    four spaces", "end with backslash\\"}) {
        EXPECT_EQ(InlineMarkdown::parse(source).string(), source) << source;
    }
    // Markup still works across a kept line break, and inside a code span the break stays.
    EXPECT_EQ(runs("**a\nb**"), (std::vector<AttributedText::Run>{{"a\nb", strong()}}));
    EXPECT_EQ(runs("`x\ny`"), (std::vector<AttributedText::Run>{{"x\ny", code()}}));
    EXPECT_EQ(runs("x\n_y_"), (std::vector<AttributedText::Run>{{"x\n", {}}, {"y", emphasis()}}));
}

TEST(InlineMarkdownTest, ReservedSpaceCharactersInTheTextSurvive) {
    // The characters used internally as stand-ins may appear in the text itself.
    const std::string source = "a\u2000b\u2001c\u3000\nd\u2002";
    EXPECT_EQ(InlineMarkdown::parse(source).string(), source);
}

TEST(InlineMarkdownTest, PlainAndEmptyText) {
    EXPECT_TRUE(InlineMarkdown::parse("").empty());
    EXPECT_EQ(runs("just text"), (std::vector<AttributedText::Run>{{"just text", {}}}));
    EXPECT_EQ(InlineMarkdown::parse("&amp; \\*not\\*").string(), "& *not*");
    EXPECT_EQ(InlineMarkdown::parse("<b>raw</b>").string(), "<b>raw</b>");
    // An image shows its alternative text, and nothing when it has none.
    EXPECT_EQ(InlineMarkdown::parse("a ![alt](x.png) ![](y.png) b").string(), "a alt  b");
}

TEST(InlineMarkdownTest, BadInputIsRefusedOrBounded) {
    EXPECT_THROW((void)InlineMarkdown::parse("bad \xC3\x28 utf8"), InlineMarkdownError);
    EXPECT_THROW((void)InlineMarkdown::parse("\xED\xA0\x80"), InlineMarkdownError); // surrogate
    EXPECT_THROW((void)InlineMarkdown::parse(std::string_view{"a\0b", 3}), InlineMarkdownError);
    EXPECT_THROW((void)InlineMarkdown::parse(std::string(InlineMarkdown::maximumLength + 1, 'a')),
                 InlineMarkdownError);

    // Deep nesting and long runs of delimiters end quickly with the text intact.
    const std::string brackets(50000, '[');
    EXPECT_EQ(InlineMarkdown::parse(brackets).string(), brackets);
    std::string nested;
    for (int i = 0; i < 5000; ++i) {
        nested += "*_";
    }
    nested += "x";
    for (int i = 0; i < 5000; ++i) {
        nested += "_*";
    }
    EXPECT_NE(InlineMarkdown::parse(nested).string().find('x'), std::string::npos);
    const std::string stars(100000, '*');
    EXPECT_NE(InlineMarkdown::parse(stars + "a" + stars).string().find('a'), std::string::npos);
}

} // namespace

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include <gtest/gtest.h>

namespace {

using platform::AttributeContainer;
using platform::AttributedString;
using vellum::PatternTokenizer;
using Parser = vellum::AttributedStringMarkdownParser;
using Token = PatternTokenizer::Token;
using Foundation = platform::AttributeScopes::FoundationAttributes;

PatternTokenizer emojiTokenizer() {
    return PatternTokenizer(Parser::SyntaxExtension::emoji(
                                {{"smile", *platform::URL::fromString("https://e.dev/s.png")}})
                                .patterns());
}

Token text(const char* content) {
    return Token{PatternTokenizer::TokenType::text(), content, std::nullopt};
}
Token emojiToken(const char* content, const char* name) {
    return Token{"emoji", content, std::string(name)};
}

TEST(PatternTokenizerTest, EmptyInputsAndUnmatchedText) {
    EXPECT_EQ(PatternTokenizer({}).tokenize(""), std::vector<Token>{text("")});
    EXPECT_EQ(PatternTokenizer({}).tokenize("a:b:"), std::vector<Token>{text("a:b:")});
    EXPECT_TRUE(emojiTokenizer().tokenize("").empty());
    EXPECT_EQ(emojiTokenizer().tokenize("::"), std::vector<Token>{text("::")});
    EXPECT_EQ(emojiTokenizer().tokenize(":not valid:"), std::vector<Token>{text(":not valid:")});
}

TEST(PatternTokenizerTest, MatchesSplitTextAndAdjacentMatchesStaySeparate) {
    EXPECT_EQ(emojiTokenizer().tokenize("a:smile:b"),
              (std::vector<Token>{text("a"), emojiToken(":smile:", "smile"), text("b")}));
    EXPECT_EQ(emojiTokenizer().tokenize(":a::b:"),
              (std::vector<Token>{emojiToken(":a:", "a"), emojiToken(":b:", "b")}));
    // Unmatched characters are whole grapheme clusters: the flag stays in one piece.
    EXPECT_EQ(
        emojiTokenizer().tokenize("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7:x:"),
        (std::vector<Token>{text("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"), emojiToken(":x:", "x")}));
}

TEST(PatternTokenizerTest, FirstPatternInListOrderWinsAtAPosition) {
    const PatternTokenizer tokenizer(Parser::SyntaxExtension::math().patterns());
    const auto tokens = tokenizer.tokenize("$$x$$ $y$");
    ASSERT_EQ(tokens.size(), 3U);
    EXPECT_EQ(tokens[0], (Token{"mathBlock", "$$x$$", std::string("x")}));
    EXPECT_EQ(tokens[2], (Token{"mathInline", "$y$", std::string("y")}));
    // Patterns are tried only where a character starts: after U+0600 (which joins the next
    // character into its cluster) the dollar sign is inside a character.
    EXPECT_EQ(tokenizer.tokenize("\xD8\x80$x$"), std::vector<Token>{text("\xD8\x80$x$")});
    // Costs $5 and $6: the first two dollar signs pair.

    EXPECT_EQ(
        tokenizer.tokenize("Costs $5 and $6"),
        (std::vector<Token>{text("Costs "), Token{"mathInline", "$5 and $", std::string("5 and ")},
                            text("6")}));
}

TEST(PatternTokenizerTest, EmptyMatchesDoNotStallTheTokenizer) {
    const PatternTokenizer tokenizer({{platform::Regex("(a*)"), "maybe"}});
    EXPECT_EQ(tokenizer.tokenize("baab"),
              (std::vector<Token>{text("b"), Token{"maybe", "aa", std::string("aa")}, text("b")}));
}

// 100 KB of dollar signs and colons in every arrangement a pattern could chew on.
TEST(PatternTokenizerTest, PathologicalInputStaysFast) {
    const Parser parser = Parser::inlineMarkdown(
        std::nullopt,
        Parser::PatternOptions{{{"a", *platform::URL::fromString("https://e.dev/a.png")}}, true});
    for (const std::string unit : {"$", ":", "$:", "$$:", ":$", "$$a:a"}) {
        std::string source;
        while (source.size() < 100 * 1024) {
            source += unit;
        }
        const AttributedString result = parser.attributedString("$$" + source);
        EXPECT_FALSE(result.empty()) << unit;
    }
}

TEST(PatternProcessorTest, CodeRunsAndCodeBlocksAreCopiedUnchanged) {
    const Parser parser = Parser::markdown(
        std::nullopt, Parser::PatternOptions{
                          {{"smile", *platform::URL::fromString("https://e.dev/s.png")}}, true});
    const std::string source =
        "`$x$ :smile:` <b title=\"$y$ :smile:\">t</b>\n\n```\n$z$ :smile:\n```\n\n"
        "<div>\n$w$\n</div>\n";
    const AttributedString result = parser.attributedString(source);
    EXPECT_EQ(result, platform::parseMarkdown(source));
    EXPECT_TRUE(vellum::collectAttachments(result).empty());
}

TEST(PatternProcessorTest, ReplacementsKeepTheRunsAttributes) {
    const Parser parser = Parser::markdown(
        std::nullopt, Parser::PatternOptions{
                          {{"smile", *platform::URL::fromString("https://e.dev/s.png")}}, true});
    const AttributedString result =
        parser.attributedString("**bold $x$ :smile: :wink:** [$y$](https://l.dev)");
    const auto runs = result.runs();
    ASSERT_EQ(runs.size(), 7U);
    // "bold ", formula, " ", emoji, " :wink:", " ", linked formula
    EXPECT_EQ(result.characters().substr(runs[4].range.lowerBound.offset, runs[4].range.length()),
              " :wink:");
    for (const std::size_t i : {1U, 3U}) {
        const auto* intent = runs[i].get<Foundation::InlinePresentationIntentAttribute>();
        ASSERT_TRUE(intent);
        EXPECT_TRUE(intent->contains(platform::InlinePresentationIntent::stronglyEmphasized()));
        EXPECT_TRUE(runs[i].get<Foundation::PresentationIntentAttribute>());
    }
    EXPECT_TRUE(vellum::attachment(runs[1].attributes));
    EXPECT_EQ(vellum::emojiURL(runs[3].attributes)->absoluteString(), "https://e.dev/s.png");
    EXPECT_EQ(runs[6].get<Foundation::LinkAttribute>()->absoluteString(), "https://l.dev");
    EXPECT_TRUE(vellum::attachment(runs[6].attributes));
}

TEST(PatternProcessorTest, SyntaxNeverSpansRuns) {
    // A code span inside dollar signs stays code, and the dollar signs around it stay text.
    const AttributedString result = Parser::markdown(std::nullopt, Parser::PatternOptions{{}, true})
                                        .attributedString("$a `b` c$");
    EXPECT_EQ(result.characters(), "$a b c$");
    EXPECT_TRUE(vellum::collectAttachments(result).empty());
}

TEST(PatternProcessorTest, OnlyTheFirstOwnerOfATokenTypeIsAsked) {
    int secondCalls = 0;
    const Parser::SyntaxExtension first(
        {{platform::Regex("<(\\w+)>"), "tag"}},
        [](const Token&, const AttributeContainer&) { return std::optional<AttributedString>(); });
    const Parser::SyntaxExtension second(
        {{platform::Regex("<(\\w+)>"), "tag"}}, [&](const Token&, const AttributeContainer&) {
            ++secondCalls;
            return std::optional<AttributedString>(AttributedString("X"));
        });
    const Parser::PatternProcessor processor({first, second});
    const AttributedString tagged = processor.processPatterns(AttributedString("a <b> c"));
    EXPECT_EQ(tagged.characters(), "a <b> c");
    EXPECT_EQ(secondCalls, 0);
}

} // namespace

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include <gtest/gtest.h>

namespace {

using platform::AttributedString;
using platform::MarkdownParsingOptions;
using vellum::AttributedStringMarkdownParser;
using vellum::Emoji;
using vellum::MathAttachment;
using Parser = AttributedStringMarkdownParser;
using Foundation = platform::AttributeScopes::FoundationAttributes;
using Syntax = MarkdownParsingOptions::InterpretedSyntax;

Emoji emoji(const char* shortcode, const char* url) {
    return Emoji{shortcode, *platform::URL::fromString(url)};
}

Parser::PatternOptions both() {
    return {{emoji("smile", "https://e.dev/smile.png")}, true};
}

const MathAttachment* mathAt(const AttributedString& text, std::size_t run) {
    const auto* attachment = vellum::attachment(text.runs()[run].attributes);
    return attachment != nullptr ? attachment->as<MathAttachment>() : nullptr;
}

TEST(ParserFactoryTest, FactoriesChooseSyntaxAndExtensionsInOrder) {
    const Parser document = Parser::markdown(std::nullopt, both());
    const Parser inlineOnly = Parser::inlineMarkdown(std::nullopt, both());
    EXPECT_EQ(document.options().interpretedSyntax, Syntax::full);
    EXPECT_EQ(inlineOnly.options().interpretedSyntax, Syntax::inlineOnlyPreservingWhitespace);
    for (const Parser* parser : {&document, &inlineOnly}) {
        EXPECT_EQ(parser->options().failurePolicy,
                  MarkdownParsingOptions::FailurePolicy::throwError);
        EXPECT_FALSE(parser->options().allowsExtendedAttributes);
        // Emoji pattern first, then the two math patterns.
        const auto& patterns = parser->processor().tokenizer().patterns();
        ASSERT_EQ(patterns.size(), 3U);
        EXPECT_EQ(patterns[0].tokenType.rawValue(), "emoji");
        EXPECT_EQ(patterns[1].tokenType.rawValue(), "mathBlock");
        EXPECT_EQ(patterns[2].tokenType.rawValue(), "mathInline");
    }
    EXPECT_TRUE(Parser::syntaxExtensions({{}, false}).empty());
    EXPECT_EQ(Parser::syntaxExtensions({{}, true}).size(), 1U);

    // The explicit-list forms keep the list's order.
    const Parser listed =
        Parser::markdown(std::nullopt, {Parser::SyntaxExtension::math(),
                                        Parser::SyntaxExtension::emoji(both().emoji)});
    EXPECT_EQ(listed.processor().tokenizer().patterns()[2].tokenType.rawValue(), "emoji");
}

TEST(ParserFactoryTest, WithoutExtensionsTheOutputIsThePlatformParsersOutput) {
    const std::string source = "# T\n\nA $x$ and :smile: with [l](a.html)\n";
    const auto base = platform::URL::fromString("https://base.dev/");
    const AttributedString plain =
        Parser::markdown(base, Parser::PatternOptions{}).attributedString(source);
    EXPECT_EQ(plain, platform::parseMarkdown(source, Parser::parsingOptions(Syntax::full), base));
    EXPECT_EQ(plain.runs()[2].get<Foundation::LinkAttribute>()->absoluteString(),
              "https://base.dev/a.html");
}

TEST(ParserFactoryTest, DocumentParserKeepsBlocksInlineParserKeepsWhitespace) {
    const std::string source = "# Head $x$\n\n- item :smile:\n";
    const AttributedString document =
        Parser::markdown(std::nullopt, both()).attributedString(source);
    EXPECT_EQ(document.characters(), "Head \xEF\xBF\xBCitem smile");
    EXPECT_TRUE(document.runs()[0].get<Foundation::PresentationIntentAttribute>());

    const AttributedString inlineText =
        Parser::inlineMarkdown(std::nullopt, both()).attributedString(source);
    EXPECT_EQ(inlineText.characters(), "# Head \xEF\xBF\xBC\n\n- item smile\n");
    for (const AttributedString::Run run : inlineText.runs()) {
        EXPECT_FALSE(run.get<Foundation::PresentationIntentAttribute>());
    }
}

TEST(ParserFactoryTest, ShortcodeInsideAFormulaStaysLatexAndBothReplaceInOneParagraph) {
    const AttributedString text =
        Parser::markdown(std::nullopt, both()).attributedString(":smile: $a :smile: b$");
    ASSERT_EQ(text.runs().size(), 3U);
    EXPECT_TRUE(vellum::emojiURL(text.runs()[0].attributes));
    ASSERT_TRUE(mathAt(text, 2));
    EXPECT_EQ(mathAt(text, 2)->latex(), "a :smile: b");
}

TEST(ParserFactoryTest, ParseErrorsReachTheCaller) {
    const Parser parser = Parser::markdown();
    EXPECT_THROW(
        (void)parser.attributedString(std::string(platform::maximumMarkdownLength + 1, 'a')),
        platform::MarkdownParsingError);
}

TEST(ParserFactoryTest, BadBytesAndNulsBecomeReplacementCharacters) {
    // One stray byte must not cost the reader the whole text.
    const std::string text = std::string(19 * 1024, 'a') + "\xC3";
    for (const Parser& parser : {Parser::markdown(), Parser::inlineMarkdown()}) {
        EXPECT_EQ(parser.attributedString(text).characters(),
                  std::string(19 * 1024, 'a') + "\xEF\xBF\xBD");
        EXPECT_EQ(parser.attributedString(std::string_view("a\0*b* \xFF\xFE $x$", 12)).string(),
                  "a\xEF\xBF\xBD"
                  "b \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBC");
    }
}

// Inside a formula the LaTeX is as written: markdown's escapes, emphasis and line breaks are not
// applied to it; code keeps its text, and escapes outside formulas still apply.
TEST(ParserFactoryTest, FormulasReachTheTypesetterAsWritten) {
    const std::string aligned = "\\begin{aligned} a &= b \\\\\nc &= d \\\\ e \\end{aligned}";
    const std::string set = "\\{x \\mid x_1 * y_2 * z\\,\\;\\}";
    const std::string source = "$$" + aligned + "$$ and $" + set + "$ \\{ `$\\{$`";
    for (const Parser& parser : {Parser::markdown(), Parser::inlineMarkdown()}) {
        const AttributedString text = parser.attributedString(source);
        ASSERT_EQ(text.runs().size(), 5U) << text.description();
        ASSERT_TRUE(mathAt(text, 0));
        EXPECT_EQ(mathAt(text, 0)->latex(), aligned);
        EXPECT_EQ(mathAt(text, 0)->displayStyle(), MathAttachment::DisplayStyle::block);
        ASSERT_TRUE(mathAt(text, 2));
        EXPECT_EQ(mathAt(text, 2)->latex(), set);
        EXPECT_EQ(text.string(), "\xEF\xBF\xBC and \xEF\xBF\xBC { $\\{$");
    }
    // A formula spread over the lines of a paragraph is one formula.
    const AttributedString lines =
        Parser::markdown().attributedString("text\n$$\na \\\\\nb\n$$\nmore");
    ASSERT_EQ(lines.runs().size(), 5U) << lines.description();
    ASSERT_TRUE(mathAt(lines, 2));
    EXPECT_EQ(mathAt(lines, 2)->latex(), "\na \\\\\nb\n");
}

TEST(ParserFactoryTest, EqualFormulasSideBySideStayTwo) {
    const AttributedString text = Parser::inlineMarkdown().attributedString("$x$$x$");
    ASSERT_EQ(text.runs().size(), 2U);
    EXPECT_TRUE(mathAt(text, 0) && mathAt(text, 1));
    EXPECT_EQ(text.runs()[0].attributes, text.runs()[1].attributes);
}

TEST(PatternOptionsTest, EqualityAndHashIgnoreSetOrder) {
    Parser::PatternOptions a{{emoji("a", "https://x/a"), emoji("b", "https://x/b")}, true};
    Parser::PatternOptions b{{emoji("b", "https://x/b"), emoji("a", "https://x/a")}, true};
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    b.mathExpressions = false;
    EXPECT_NE(a, b);
    b.mathExpressions = true;
    b.emoji = {emoji("a", "https://x/a"), emoji("b", "https://x/other")};
    EXPECT_NE(a, b);
}

} // namespace

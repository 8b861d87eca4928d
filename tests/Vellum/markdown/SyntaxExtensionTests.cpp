#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include <gtest/gtest.h>

namespace {

using platform::AttributedString;
using vellum::Emoji;
using vellum::MathAttachment;
using Parser = vellum::AttributedStringMarkdownParser;
using Style = MathAttachment::DisplayStyle;

AttributedString math(std::string_view source) {
    return Parser::inlineMarkdown(std::nullopt, Parser::PatternOptions{{}, true})
        .attributedString(source);
}

// The formulas of a text, in order, as (latex, style).
std::vector<std::pair<std::string, Style>> formulas(const AttributedString& text) {
    std::vector<std::pair<std::string, Style>> found;
    for (const AttributedString::Run run : text.runs()) {
        if (const auto* attachment = vellum::attachment(run.attributes)) {
            const auto* formula = attachment->as<MathAttachment>();
            EXPECT_TRUE(formula);
            EXPECT_EQ(text.characters().substr(run.range.lowerBound.offset, run.range.length()),
                      "\xEF\xBF\xBC");
            found.emplace_back(formula->latex(), formula->displayStyle());
        }
    }
    return found;
}

using Formulas = std::vector<std::pair<std::string, Style>>;

TEST(MathExtensionTest, SingleAndDoubleDollarsMakeInlineAndBlockFormulas) {
    EXPECT_EQ(formulas(math("$x$")), (Formulas{{"x", Style::inline_}}));
    EXPECT_EQ(formulas(math("$$x$$")), (Formulas{{"x", Style::block}}));
    EXPECT_EQ(formulas(math("$ $")), (Formulas{{" ", Style::inline_}}));
    // The LaTeX is as written: a backslash before a dollar sign is LaTeX's escape, not
    // markdown's, and two backslashes stay two.
    EXPECT_EQ(formulas(math("$a\\$b$")), (Formulas{{"a\\$b", Style::inline_}}));
    EXPECT_EQ(formulas(math("$a\\\\$b$")), (Formulas{{"a\\\\$b", Style::inline_}}));
    // A block formula keeps its line breaks.
    EXPECT_EQ(formulas(math("$$a\nb$$")), (Formulas{{"a\nb", Style::block}}));
    EXPECT_EQ(math("Costs $5 and $6").characters(), "Costs \xEF\xBF\xBC"
                                                    "6");
}

TEST(MathExtensionTest, DollarsThatAreNotFormulasStayText) {
    for (const char* source : {"$$", "$\n$", "$$$$", "$", "a $ b"}) {
        const AttributedString text = math(source);
        EXPECT_TRUE(formulas(text).empty()) << source;
        EXPECT_EQ(text.characters(), source);
    }
}

TEST(MathExtensionTest, ARepeatedFormulaSharesOneAttachmentWhereItsAttributesDoNot) {
    // A line of one formula over and over made an attachment for each copy (a megabyte of
    // "$x$ " held a quarter of a million); the copies in runs of other attributes keep theirs.
    const AttributedString text = math("$x$ $x$ and $x$ $y$ $x$ **$x$** $$x$$ $x$");
    EXPECT_EQ(formulas(text), (Formulas{{"x", Style::inline_},
                                        {"x", Style::inline_},
                                        {"x", Style::inline_},
                                        {"y", Style::inline_},
                                        {"x", Style::inline_},
                                        {"x", Style::inline_},
                                        {"x", Style::block},
                                        {"x", Style::inline_}}));
    std::vector<const vellum::AnyAttachment*> held;
    std::vector<platform::AttributeContainer> attributes;
    for (const AttributedString::Run run : text.runs()) {
        if (const auto* attachment = vellum::attachment(run.attributes)) {
            held.push_back(attachment);
            attributes.push_back(run.attributes);
        }
    }
    ASSERT_EQ(held.size(), 8U);
    for (const std::size_t plain : {1, 2, 4, 7}) {
        EXPECT_EQ(held[plain], held[0]) << plain;
        EXPECT_EQ(attributes[plain], attributes[0]) << plain;
    }
    EXPECT_NE(held[3], held[0]);
    EXPECT_FALSE(attributes[5] == attributes[0]) << "the strong copy keeps its own attributes";
    EXPECT_EQ(*held[5], *held[0]);
    EXPECT_NE(*held[6], *held[0]);
}

TEST(EmojiExtensionTest, KnownShortcodesBecomeMarkedNamesOthersStay) {
    const Parser parser = Parser::inlineMarkdown(
        std::nullopt, Parser::PatternOptions{
                          {{"smile", *platform::URL::fromString("https://e.dev/s.png")}}, false});
    const AttributedString text = parser.attributedString(":smile: :wink: :a b:");
    EXPECT_EQ(text.characters(), "smile :wink: :a b:");
    ASSERT_EQ(text.runs().size(), 2U);
    EXPECT_EQ(vellum::emojiURL(text.runs()[0].attributes)->absoluteString(), "https://e.dev/s.png");
    EXPECT_FALSE(vellum::emojiURL(text.runs()[1].attributes));

    // An extension over an empty set matches nothing at all.
    const Parser::SyntaxExtension none = Parser::SyntaxExtension::emoji({});
    EXPECT_TRUE(none.patterns().empty());
}

TEST(EmojiExtensionTest, DuplicateShortcodesResolveTheSameWayWhateverTheOrder) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::unordered_set<Emoji> set;
        set.reserve(static_cast<std::size_t>(attempt * 7 + 1));
        set.insert({"x", *platform::URL::fromString("https://e.dev/b.png")});
        set.insert({"x", *platform::URL::fromString("https://e.dev/a.png")});
        const Parser parser =
            Parser::inlineMarkdown(std::nullopt, Parser::PatternOptions{set, false});
        EXPECT_EQ(
            vellum::emojiURL(parser.attributedString(":x:").runs()[0].attributes)->absoluteString(),
            "https://e.dev/a.png");
    }
}

TEST(EmojiCodingTest, ReadsAndWritesShortcodeAndURL) {
    const auto list = platform::JSONDecoder().decode<std::vector<Emoji>>(
        R"([{"shortcode":"smile","url":"https://e.dev/s.png","extra":1}])");
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(list[0].shortcode, "smile");
    EXPECT_EQ(platform::JSONEncoder().encode(list[0]),
              R"({"shortcode":"smile","url":"https:\/\/e.dev\/s.png"})");
    EXPECT_THROW((void)platform::JSONDecoder().decode<Emoji>(R"({"shortcode":"x"})"),
                 platform::DecodingError);
    EXPECT_THROW((void)platform::JSONDecoder().decode<Emoji>(R"({"shortcode":"x","url":"a b"})"),
                 platform::DecodingError);
}

TEST(AttachmentCollectionTest, DistinctAttachmentsCollapse) {
    EXPECT_TRUE(vellum::collectAttachments(math("no formulas")).empty());
    EXPECT_EQ(vellum::collectAttachments(math("$x$ and $x$")).size(), 1U);
    EXPECT_EQ(vellum::collectAttachments(math("$x$ and $y$ and $$x$$")).size(), 3U);
    const AttributedString text = math("$x$ and $y$");
    EXPECT_EQ(vellum::collectAttachments(text[{{0}, {3}}]).size(), 1U);
}

TEST(AttachmentCollectionTest, ExtendedAttributeSyntaxNeverSetsLibraryKeys) {
    const AttributedString text =
        Parser::markdown().attributedString("^[x](Vellum.EmojiURL: 'https://e.dev')");
    for (const AttributedString::Run run : text.runs()) {
        EXPECT_FALSE(vellum::emojiURL(run.attributes));
        EXPECT_FALSE(vellum::attachment(run.attributes));
    }
}

} // namespace

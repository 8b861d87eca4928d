#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RandomEdit.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

using platform::AttributedString;
using vellum::AttributedStringMarkdownParser;
using vellum::Emoji;
using vellum::MarkupParser;
using Parser = AttributedStringMarkdownParser;

const std::filesystem::path documents(MOSS_VELLUM_DOCUMENTS);

Parser parserWithEmoji() {
    return Parser::markdown(
        std::nullopt,
        Parser::PatternOptions{{Emoji{"smile", *platform::URL::fromString("https://e.dev/s.png")},
                                Emoji{"wave", *platform::URL::fromString("https://e.dev/w.png")}},
                               true});
}

// Random single edits of `markdown`, each parsed reusing the last parse and compared with a
// parse of the whole text: characters, runs, intents with their identities, math attachments,
// emoji. Returns how many were parsed in part.
int checkEdits(const Parser& parser, const std::string& markdown, int edits, unsigned seed) {
    constexpr std::string_view characters = "\n\n\n#*`->|$ ab1.:_~\\";
    std::mt19937 random(seed);
    std::unique_ptr<MarkupParser::Memory> memory;
    std::string text = markdown;
    EXPECT_EQ(parser.attributedStringReusing(text, memory), parser.attributedString(text));
    int partial = 0;
    for (int step = 0; step < edits; ++step) {
        if (step % 100 == 0) {
            text = markdown;
        }
        // Near line starts half of the time, where block syntax is.
        std::size_t at = random() % (text.size() + 1);
        if (random() % 2 == 0) {
            const std::size_t line = text.rfind('\n', at == 0 ? 0 : at - 1);
            at = line == std::string::npos ? 0 : line + 1 + random() % 3;
            at = std::min(at, text.size());
        }
        const char character = characters[random() % characters.size()];
        moss_test::editOneCharacter(text, at, character, static_cast<unsigned>(random() % 3));
        const AttributedString reused = parser.attributedStringReusing(text, memory);
        const AttributedString whole = parser.attributedString(text);
        if (!(reused == whole)) {
            ADD_FAILURE() << "step " << step << " at " << at << " of:\n" << text;
            return partial;
        }
        // The parser keeps a memory only while it parses in part.
        partial += memory != nullptr ? 1 : 0;
    }
    return partial;
}

TEST(IncrementalParse, EditsOfADocumentWithEveryBlockEqualWholeParses) {
    const std::string markdown = moss_test::readFile(documents / "every-block.md");
    ASSERT_FALSE(markdown.empty());
    EXPECT_GT(checkEdits(parserWithEmoji(), markdown, 1500, 7), 1000);
}

TEST(IncrementalParse, EditsOfTheTechnicalManualEqualWholeParses) {
    const std::string markdown = moss_test::readFile(documents / ".." / ".." / ".." / "bench" /
                                                     "Vellum" / "blocks" / "TechnicalManual.md");
    ASSERT_GT(markdown.size(), 100000U);
    checkEdits(Parser::markdown(), markdown, 40, 11);
}

TEST(IncrementalParse, MemoryServesOnlyAParserConfiguredTheSame) {
    const std::string text = "A [relative](page.html) link.\n\nAnother paragraph.\n";
    std::string edited = text;
    edited[edited.find("Another")] = 'a';

    std::unique_ptr<MarkupParser::Memory> memory;
    (void)Parser::markdown(platform::URL::fromString("https://one.example/"))
        .attributedStringReusing(text, memory);
    ASSERT_NE(memory, nullptr);
    // Another base URL resolves the untouched link anew.
    const Parser other = Parser::markdown(platform::URL::fromString("https://two.example/"));
    EXPECT_EQ(other.attributedStringReusing(edited, memory), other.attributedString(edited));

    // An extension of the caller's own cannot be compared with another: nothing is kept.
    const Parser custom = Parser::markdown(
        std::nullopt, {Parser::SyntaxExtension(
                          {}, [](const vellum::PatternTokenizer::Token&,
                                 const platform::AttributeContainer&) { return std::nullopt; })});
    EXPECT_EQ(custom.attributedStringReusing(edited, memory), custom.attributedString(edited));
    EXPECT_EQ(memory, nullptr);
}

} // namespace

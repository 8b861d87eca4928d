// The exports of whole documents against files written from the export rules by hand: every
// NAME.md of tests/fixtures/formatter is parsed as the structured text view parses it (math and
// emoji on), its emoji are resolved into picture attachments as the attachment loaders would, and
// its HTML and plain text must equal NAME.html and NAME.txt byte for byte (neither file has a
// final line feed of its own; the exports end without one). On a mismatch the actual output is
// written beside the build for inspection.

#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "tests/Vellum/export/FormatterTestSupport.hpp"
#include "tests/support/FileContents.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using platform::AttributedString;
using Parser = vellum::AttributedStringMarkdownParser;

const std::filesystem::path& fixtures() {
    static const std::filesystem::path path =
        std::filesystem::path(MOSS_VELLUM_FIXTURES).parent_path() / "formatter";
    return path;
}

using moss_test::readFile;

Parser::PatternOptions mathAndEmoji() {
    Parser::PatternOptions options;
    for (const char* name : {"smile", "tada"}) {
        options.emoji.insert(
            {name, *platform::URL::fromString(std::string("https://e.dev/") + name + ".png")});
    }
    options.mathExpressions = true;
    return options;
}

// The emoji runs carry a picture: "smile" with the first bytes of a PNG file, "tada" without any
// picture, so that both forms of an attachment are exported.
AttributedString resolveEmoji(const AttributedString& text) {
    AttributedString resolved = text;
    for (const AttributedString::Run run : text.runs()) {
        if (vellum::emojiURL(run.attributes) == nullptr) {
            continue;
        }
        const std::string name(
            text.characters().substr(run.range.lowerBound.offset, run.range.length()));
        std::optional<platform::Data> png;
        if (name == "smile") {
            png = platform::Data{0x89, 'P', 'N', 'G'};
        }
        resolved.setAttribute<vellum::VellumAttributes::AttachmentAttribute>(
            run.range,
            vellum::AnyAttachment(vellum::testing::PictureAttachment(name, std::move(png))));
    }
    return resolved;
}

void expectFile(const std::string& actual, const std::filesystem::path& expectedPath) {
    const std::string expected = readFile(expectedPath);
    EXPECT_EQ(actual, expected) << "for " << expectedPath.filename();
    if (actual != expected) {
        const std::filesystem::path dump =
            std::filesystem::temp_directory_path() / "formatter-actual";
        std::filesystem::create_directories(dump);
        std::ofstream(dump / expectedPath.filename(), std::ios::binary) << actual;
        ADD_FAILURE() << "actual output written to " << (dump / expectedPath.filename());
    }
}

TEST(FormatterCorpusTest, EveryDocumentExportsAsItsExpectedFiles) {
    const Parser parser = Parser::markdown(std::nullopt, mathAndEmoji());
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures())) {
        if (entry.path().extension() != ".md") {
            continue;
        }
        ++documents;
        SCOPED_TRACE(entry.path().filename().string());
        const vellum::Formatter formatter(
            resolveEmoji(parser.attributedString(readFile(entry.path()))));
        std::filesystem::path html = entry.path();
        std::filesystem::path text = entry.path();
        expectFile(formatter.html(), html.replace_extension(".html"));
        expectFile(formatter.plainText(), text.replace_extension(".txt"));
    }
    EXPECT_GE(documents, 6);
}

} // namespace

// libFuzzer target: arbitrary bytes as markdown through the document and the inline parser, both
// with the math and emoji extensions on. Errors for bad input are expected; anything else must
// hold: the runs tile the text without gaps or empty runs, adjacent runs differ (but for lone
// object replacement characters), every run's
// presentation intent is a well-formed chain of blocks, and the top-level block runs cover the
// text in order. Any violation aborts. In the test build the same entry point runs over the
// markdown corpus and a few hostile inputs.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string_view>

namespace {

using platform::AttributedString;
using platform::PresentationIntent;
using Kind = PresentationIntent::Kind;
using Foundation = platform::AttributeScopes::FoundationAttributes;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkIntent(const PresentationIntent& intent) {
    const auto& components = intent.components();
    require(!components.empty());
    std::set<int> identities;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const auto& component = components[i];
        require(component.identity() > 0);
        require(identities.insert(component.identity()).second);
        // Inner blocks are entered after outer ones.
        require(i == 0 || component.identity() < components[i - 1].identity());
        const bool leaf = component.kind() == Kind::paragraph || component.kind() == Kind::header ||
                          component.kind() == Kind::codeBlock ||
                          component.kind() == Kind::thematicBreak;
        require(!leaf || i == 0);
        const std::optional<Kind> outer = i + 1 < components.size()
                                              ? std::optional<Kind>(components[i + 1].kind())
                                              : std::nullopt;
        switch (component.kind()) {
        case Kind::header:
            require(component.headerLevel() >= 1 && component.headerLevel() <= 6);
            break;
        case Kind::listItem:
            require(outer.has_value() &&
                    (*outer == Kind::orderedList || *outer == Kind::unorderedList));
            require(component.ordinal() >= 0);
            break;
        case Kind::tableCell:
            require(outer.has_value() &&
                    (*outer == Kind::tableRow || *outer == Kind::tableHeaderRow));
            require(component.columnIndex() >= 0);
            break;
        case Kind::tableRow:
            require(component.rowIndex() >= 1);
            [[fallthrough]];
        case Kind::tableHeaderRow:
            require(outer.has_value() && *outer == Kind::table);
            break;
        case Kind::orderedList:
        case Kind::unorderedList:
        case Kind::table:
            require(i > 0);
            break;
        default:
            break;
        }
    }
}

bool isObjectCharacter(const AttributedString& text,
                       const platform::AttributedString::Range& range) {
    const std::string_view characters = text.characters();
    return characters.substr(range.lowerBound.offset,
                             range.upperBound.offset - range.lowerBound.offset) == "\xEF\xBF\xBC";
}

void checkText(const AttributedString& text, bool blocks) {
    std::size_t expected = 0;
    const AttributedString::Runs runs = text.runs();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const AttributedString::Run run = runs[i];
        require(run.range.lowerBound.offset == expected);
        require(!run.range.empty());
        expected = run.range.upperBound.offset;
        // Equal neighbours are merged, except object replacement characters, which stand as one
        // run each so that two equal attachments side by side remain two.
        require(i == 0 || !(runs[i - 1].attributes == run.attributes) ||
                isObjectCharacter(text, runs[i - 1].range) || isObjectCharacter(text, run.range));
        const auto* intent = run.get<Foundation::PresentationIntentAttribute>();
        if (blocks) {
            require(intent != nullptr);
            checkIntent(*intent);
        } else {
            require(intent == nullptr);
        }
    }
    require(expected == text.characters().size());

    const vellum::BlockRuns top(text);
    std::size_t covered = 0;
    for (const vellum::BlockRuns::BlockRun block : top) {
        require(block.range.lowerBound.offset == covered);
        covered = block.range.upperBound.offset;
    }
    require(covered == text.characters().size());
}

const std::vector<vellum::AttributedStringMarkdownParser>& parsers() {
    static const std::vector<vellum::AttributedStringMarkdownParser> list = [] {
        vellum::AttributedStringMarkdownParser::PatternOptions options;
        options.emoji = {{"smile", *platform::URL::fromString("https://e.dev/smile.png")}};
        options.mathExpressions = true;
        return std::vector<vellum::AttributedStringMarkdownParser>{
            vellum::AttributedStringMarkdownParser::markdown(std::nullopt, options),
            vellum::AttributedStringMarkdownParser::inlineMarkdown(std::nullopt, options)};
    }();
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t i = 0; i < parsers().size(); ++i) {
        try {
            checkText(parsers()[i].attributedString(text), i == 0);
        } catch (const platform::MarkdownParsingError&) {
        } catch (const platform::RegexError&) {
        }
    }
    return 0;
}

#ifndef MOSS_VELLUM_FUZZ_TARGET
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

void run(std::string_view input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(VellumFuzzTest, CorpusAndHostileInputsKeepTheInvariants) {
    for (const auto& entry : std::filesystem::directory_iterator(MOSS_VELLUM_FIXTURES)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        run(buffer.str());
    }
    for (const char* input :
         {"", "$", "$$", "$$$$", ":", "::", "$x$$y$", "> - | a |\n> - |---|\n", "\xFF\xFE",
          "`$x$` $x$ :smile: `:smile:`", "| a |\n|---|\n| $x$ | :smile: |\n", "1. \n2.\n\n---",
          "[$x$](u) ![:smile:](v)", "***\n***\n", "<div>$x$</div>\n\n$$\nblock\n$$"}) {
        run(input);
    }
    SUCCEED();
}

} // namespace
#endif

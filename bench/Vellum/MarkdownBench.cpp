// Parsing a 100 KB document with formulas and emoji shortcodes: the underlying markdown parser
// alone, the attributed-string build on top of it, the whole library parse with the pattern pass
// (document and inline syntax), and block runs over the result at every level.

#include "Vellum/AttributedStringMarkdownParser.hpp"
#include "Vellum/BlockRuns.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using platform::AttributedString;
using platform::MarkdownParsingOptions;
using Parser = vellum::AttributedStringMarkdownParser;

// A technical document of about 100 KB: headings, paragraphs with inline markup, links, inline
// and display formulas, emoji, nested lists, quotes, tables and code blocks.
const std::string& document() {
    static const std::string text = [] {
        std::string out;
        for (int section = 1; out.size() < 100 * 1024; ++section) {
            const std::string n = std::to_string(section);
            out += "## Section " + n + " :rocket:\n\n";
            out += "The *energy* of a **particle** is $E = mc^2$ and its momentum $p = m v$; see "
                   "[the notes](notes/" +
                   n +
                   ".html) for `details` and ~~old~~ results :smile:.\n"
                   "A second line with $\\alpha_" +
                   n + " + \\beta$ and a price of $5 or $6.\n\n";
            out += "$$\n\\int_0^1 x^" + n + " \\, dx = \\frac{1}{" + n + "}\n$$\n\n";
            out += "- first item with :+1: and $x_i$\n- second item\n  1. nested *one*\n"
                   "  2. nested two with `code $x$`\n- third item\n\n";
            out += "> A quotation with **strong** text and $\\sqrt{2}$.\n> - quoted list\n\n";
            out += "| Name | Value | Note |\n|:-----|------:|:----:|\n| a | $1$ | :tada: |\n"
                   "| b | 2 | plain |\n\n";
            out += "```swift\nlet value = " + n + " // $not math$ :not_emoji:\n```\n\n";
        }
        return out;
    }();
    return text;
}

Parser::PatternOptions mathAndEmoji() {
    Parser::PatternOptions options;
    for (const char* name : {"smile", "rocket", "+1", "tada"}) {
        options.emoji.insert(
            {name, *platform::URL::fromString(std::string("https://e.dev/") + name + ".png")});
    }
    options.mathExpressions = true;
    return options;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document().size()));
}

void BM_SyntaxTreeOnly(benchmark::State& state) {
    for (auto _ : state) {
        platform::parseMarkdownSyntaxOnly(document());
    }
    setBytes(state);
}
BENCHMARK(BM_SyntaxTreeOnly)->Unit(benchmark::kMillisecond);

void BM_AttributedStringOnly(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::parseMarkdown(document()));
    }
    setBytes(state);
}
BENCHMARK(BM_AttributedStringOnly)->Unit(benchmark::kMillisecond);

void BM_DocumentParse(benchmark::State& state) {
    const Parser parser = Parser::markdown(std::nullopt, mathAndEmoji());
    for (auto _ : state) {
        benchmark::DoNotOptimize(parser.attributedString(document()));
    }
    setBytes(state);
}
BENCHMARK(BM_DocumentParse)->Unit(benchmark::kMillisecond);

void BM_InlineSyntaxTreeOnly(benchmark::State& state) {
    MarkdownParsingOptions options;
    options.interpretedSyntax =
        MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace;
    for (auto _ : state) {
        platform::parseMarkdownSyntaxOnly(document(), options);
    }
    setBytes(state);
}
BENCHMARK(BM_InlineSyntaxTreeOnly)->Unit(benchmark::kMillisecond);

void BM_InlineParse(benchmark::State& state) {
    const Parser parser = Parser::inlineMarkdown(std::nullopt, mathAndEmoji());
    for (auto _ : state) {
        benchmark::DoNotOptimize(parser.attributedString(document()));
    }
    setBytes(state);
}
BENCHMARK(BM_InlineParse)->Unit(benchmark::kMillisecond);

// Every level of the block tree, as a document view walks it.
std::size_t walk(const AttributedString& text, const platform::AttributedSubstring& content,
                 const std::optional<vellum::BlockRuns::IntentType>& parent) {
    std::size_t blocks = 0;
    for (const vellum::BlockRuns::BlockRun block : vellum::BlockRuns(content, parent)) {
        ++blocks;
        if (block.intent && block.intent->kind() != platform::PresentationIntent::Kind::paragraph &&
            block.intent->kind() != platform::PresentationIntent::Kind::header &&
            block.intent->kind() != platform::PresentationIntent::Kind::codeBlock &&
            block.intent->kind() != platform::PresentationIntent::Kind::thematicBreak) {
            blocks += walk(text, text[block.range], block.intent);
        }
    }
    return blocks;
}

void BM_BlockRunsAllLevels(benchmark::State& state) {
    const AttributedString text =
        Parser::markdown(std::nullopt, mathAndEmoji()).attributedString(document());
    std::size_t blocks = 0;
    for (auto _ : state) {
        blocks = walk(text, text.slice(), std::nullopt);
        benchmark::DoNotOptimize(blocks);
    }
    state.counters["blocks"] = static_cast<double>(blocks);
}
BENCHMARK(BM_BlockRunsAllLevels)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

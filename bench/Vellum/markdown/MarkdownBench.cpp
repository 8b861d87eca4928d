// Parsing a 100 KB document with formulas and emoji shortcodes: the underlying markdown parser
// alone, the attributed-string build on top of it, the whole library parse with the pattern pass
// (document and inline syntax), and block runs over the result at every level.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "bench/Vellum/BenchDocument.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using platform::AttributedString;
using platform::MarkdownParsingOptions;
using Parser = vellum::AttributedStringMarkdownParser;

const std::string& document() {
    return moss_bench::technicalDocument();
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

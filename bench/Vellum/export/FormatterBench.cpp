// Exporting a 100 KB document (the markdown benchmark's technical document: headings, inline
// markup, links, formulas, emoji, nested lists, quotes, tables and code): building the document
// tree, then the HTML and the plain text from a built tree, and both from a fresh formatter as a
// copy does.

#include "Vellum/export/Formatter.hpp"
#include "Vellum/export/FormatterHTML.hpp"
#include "Vellum/export/FormatterPlainText.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "bench/Vellum/BenchDocument.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using platform::AttributedString;
using Parser = vellum::AttributedStringMarkdownParser;

const std::string& document() {
    return moss_bench::technicalDocument();
}

const AttributedString& parsed() {
    static const AttributedString text = [] {
        Parser::PatternOptions options;
        for (const char* name : {"smile", "rocket", "+1", "tada"}) {
            options.emoji.insert(
                {name, *platform::URL::fromString(std::string("https://e.dev/") + name + ".png")});
        }
        options.mathExpressions = true;
        return Parser::markdown(std::nullopt, options).attributedString(document());
    }();
    return text;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document().size()));
}

void BM_BuildTree(benchmark::State& state) {
    for (auto _ : state) {
        const vellum::Formatter formatter(parsed());
        benchmark::DoNotOptimize(formatter.blockNodes().data());
    }
    setBytes(state);
}
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMillisecond);

void BM_HTMLFromTree(benchmark::State& state) {
    const vellum::Formatter formatter(parsed());
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::formatterHTML(formatter.blockNodes()));
    }
    setBytes(state);
}
BENCHMARK(BM_HTMLFromTree)->Unit(benchmark::kMillisecond);

void BM_PlainTextFromTree(benchmark::State& state) {
    const vellum::Formatter formatter(parsed());
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::formatterPlainText(formatter.blockNodes(), 0, false));
    }
    setBytes(state);
}
BENCHMARK(BM_PlainTextFromTree)->Unit(benchmark::kMillisecond);

void BM_HTMLExport(benchmark::State& state) {
    for (auto _ : state) {
        const vellum::Formatter formatter(parsed());
        benchmark::DoNotOptimize(formatter.html());
    }
    setBytes(state);
}
BENCHMARK(BM_HTMLExport)->Unit(benchmark::kMillisecond);

void BM_PlainTextExport(benchmark::State& state) {
    for (auto _ : state) {
        const vellum::Formatter formatter(parsed());
        benchmark::DoNotOptimize(formatter.plainText());
    }
    setBytes(state);
}
BENCHMARK(BM_PlainTextExport)->Unit(benchmark::kMillisecond);

void BM_CopyBothForms(benchmark::State& state) {
    for (auto _ : state) {
        const vellum::Formatter formatter(parsed());
        benchmark::DoNotOptimize(formatter.plainText());
        benchmark::DoNotOptimize(formatter.html());
    }
    setBytes(state);
}
BENCHMARK(BM_CopyBothForms)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();

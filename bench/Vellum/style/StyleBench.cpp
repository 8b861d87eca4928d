// Styling the runs of a parsed 100 KB document (the markdown benchmark's document) with the two
// ready-made inline styles, as the inline text views do before drawing.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "bench/Vellum/BenchDocument.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using platform::AttributedString;
using Parser = vellum::AttributedStringMarkdownParser;
using vellum::InlineStyle;

const std::string& document() {
    return moss_bench::technicalDocument();
}

const AttributedString& parsed() {
    static const AttributedString text = Parser::markdown().attributedString(document());
    return text;
}

void styleRuns(benchmark::State& state, const InlineStyle& style) {
    const vellum::TextEnvironmentValues environment;
    state.counters["runs"] = static_cast<double>(parsed().runs().size());
    for (auto _ : state) {
        AttributedString text = parsed();
        style.apply(text, environment);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document().size()));
}

void BM_InlineStyleDefault(benchmark::State& state) {
    styleRuns(state, InlineStyle::defaultStyle());
}
BENCHMARK(BM_InlineStyleDefault)->Unit(benchmark::kMillisecond);

void BM_InlineStyleGitHub(benchmark::State& state) {
    styleRuns(state, InlineStyle::gitHub());
}
BENCHMARK(BM_InlineStyleGitHub)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

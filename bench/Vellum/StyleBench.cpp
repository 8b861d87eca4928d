// Styling the runs of a parsed 100 KB document (the markdown benchmark's document) with the two
// ready-made inline styles, as the inline text views do before drawing.

#include "Vellum/AttributedStringMarkdownParser.hpp"
#include "Vellum/InlineStyle.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using platform::AttributedString;
using Parser = vellum::AttributedStringMarkdownParser;
using vellum::InlineStyle;

// The markdown benchmark's document: about 100 KB: headings, paragraphs with inline markup, links,
// inline and display formulas, emoji, nested lists, quotes, tables and code blocks.
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

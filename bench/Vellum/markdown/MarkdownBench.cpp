// Parsing a 100 KB document with formulas and emoji shortcodes: the underlying markdown parser
// alone, the attributed-string build on top of it, the whole library parse with the pattern pass
// (document and inline syntax), and block runs over the result at every level.
//
// Then the shapes of text that make parsers slow or hungry (100,000 table rows, 100,000 list
// items, deep nesting, a megabyte of colons or of short formulas, one long line): the document
// and inline parse, the pattern pass alone, and both exports, each run in a process of its own
// (this program again, with --measure) that reports the time per megabyte of input ("s/MB") and
// its peak resident memory ("peakMB", and "peak/input" in multiples of the input's size). The
// peak is the whole process's, as the kernel counts it: every allocator counts, the markdown and
// regular-expression libraries' included, and so does what a case needs before its timed work
// (the parse before an export). The walk over every level of the blocks (as a document view does
// to build its blocks) is measured on each parsed shape as well.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "bench/Vellum/BenchDocument.hpp"
#include "bench/support/ChildMeasure.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// Every level of the block tree, as a document view walks it; without recursion, since hostile
// documents nest deeply.
std::size_t walk(const AttributedString& text, const platform::AttributedSubstring& content,
                 const std::optional<vellum::BlockRuns::IntentType>& parent) {
    struct Level {
        platform::AttributedSubstring content;
        std::optional<vellum::BlockRuns::IntentType> parent;
    };
    std::vector<Level> pending{{content, parent}};
    std::size_t blocks = 0;
    while (!pending.empty()) {
        const Level level = std::move(pending.back());
        pending.pop_back();
        for (const vellum::BlockRuns::BlockRun block :
             vellum::BlockRuns(level.content, level.parent)) {
            ++blocks;
            if (block.intent &&
                block.intent->kind() != platform::PresentationIntent::Kind::paragraph &&
                block.intent->kind() != platform::PresentationIntent::Kind::header &&
                block.intent->kind() != platform::PresentationIntent::Kind::codeBlock &&
                block.intent->kind() != platform::PresentationIntent::Kind::thematicBreak) {
                pending.push_back({text[block.range], block.intent});
            }
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

// The hostile shapes, each about a megabyte (deep nesting less: its levels are what costs).
enum Shape : std::int64_t {
    tableRows,
    listItems,
    deepQuotes,
    deepLists,
    colons,
    formulas,
    longLine,
    linkLine
};

const std::string& shapeText(std::int64_t shape) {
    static const std::array<std::string, 8> texts = [] {
        std::array<std::string, 8> made;
        made[tableRows] = "| a | b |\n|---|---|\n";
        made[listItems].reserve(1 << 20);
        for (int row = 0; row < 100'000; ++row) {
            made[tableRows] += "| x" + std::to_string(row % 10) + " | y |\n";
            made[listItems] += "- item " + std::to_string(row % 100) + "\n";
        }
        made[deepQuotes] = std::string(100'000, '>') + " deep\n";
        for (int level = 0; level < 50'000; ++level) {
            made[deepLists] += "- ";
        }
        made[deepLists] += "deep\n";
        made[colons] = std::string(1 << 20, ':');
        for (std::size_t at = 0; at < (1U << 20); at += 4) {
            made[formulas] += "$x$ ";
        }
        while (made[longLine].size() < (1U << 20)) {
            made[longLine] += "lorem *ipsum* dolor amet ";
        }
        // Emphasis and links together cost the underlying parser more than linear time: a
        // tenth of the size shows it.
        while (made[linkLine].size() < (1U << 20) / 10) {
            made[linkLine] += "lorem *ipsum* dolor [sit](a.md) amet ";
        }
        return made;
    }();
    return texts.at(static_cast<std::size_t>(shape));
}

const char* shapeName(std::int64_t shape) {
    static constexpr std::array<const char*, 8> names = {
        "100k table rows", "100k list items", "100k nested quotes", "50k nested lists",
        "1 MB of ':'",     "1 MB of '$x$ '",  "1 MB line",          "100 KB line of links"};
    return names.at(static_cast<std::size_t>(shape));
}

// What a measuring process does, by number: each sets up what it needs, then times its work.
enum Case : int {
    documentParse,
    inlineParse,
    syntaxTree,
    inlineSyntaxTree,
    patternPass,
    blockRuns,
    htmlExport,
    plainTextExport,
    inlineTextLayout,
    documentLayout
};

// In the measuring process: sets up the case, then runs its work once; the seconds it took.
double runCase(int which, std::int64_t shape) {
    const std::string& text = shapeText(shape);
    const auto timed = [](const std::function<void()>& work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const auto parsedShape = [&] {
        return Parser::markdown(std::nullopt, mathAndEmoji()).attributedString(text);
    };
    switch (which) {
    case documentParse:
    case inlineParse: {
        const Parser parser = which == documentParse
                                  ? Parser::markdown(std::nullopt, mathAndEmoji())
                                  : Parser::inlineMarkdown(std::nullopt, mathAndEmoji());
        return timed([&] { benchmark::DoNotOptimize(parser.attributedString(text)); });
    }
    case syntaxTree:
    case inlineSyntaxTree: {
        MarkdownParsingOptions options;
        if (which == inlineSyntaxTree) {
            options.interpretedSyntax =
                MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace;
        }
        return timed([&] { platform::parseMarkdownSyntaxOnly(text, options); });
    }
    case patternPass: {
        const Parser parser = Parser::markdown(std::nullopt, mathAndEmoji());
        const AttributedString plain(text);
        return timed([&] { benchmark::DoNotOptimize(parser.processor().processPatterns(plain)); });
    }
    case blockRuns: {
        const AttributedString parsed = parsedShape();
        return timed([&] { benchmark::DoNotOptimize(walk(parsed, parsed.slice(), std::nullopt)); });
    }
    case htmlExport:
    case plainTextExport: {
        const AttributedString parsed = parsedShape();
        return timed([&] {
            const vellum::Formatter formatter(parsed);
            if (which == htmlExport) {
                benchmark::DoNotOptimize(formatter.html());
            } else {
                benchmark::DoNotOptimize(formatter.plainText());
            }
        });
    }
    case inlineTextLayout:
        return timed([&] {
            platform::ui::OffscreenHost host(platform::ui::AnyView(vellum::InlineText(text)),
                                             {480, std::nullopt});
            host.runUntilIdle();
            benchmark::DoNotOptimize(host.graph().size());
        });
    case documentLayout:
        return timed([&] {
            platform::ui::OffscreenHost host(platform::ui::AnyView(vellum::StructuredText(text)),
                                             {480, std::nullopt});
            host.setVisibleRect(platform::Rect({0, 0}, {480, 600}));
            host.runUntilIdle();
            benchmark::DoNotOptimize(host.graph().size());
        });
    default:
        return -1;
    }
}

// Runs the case on the shape in a process of its own and reports its time and peak memory
// against the input's size.
void measured(benchmark::State& state, int which, std::int64_t shape) {
    const std::string& text = shapeText(shape);
    double seconds = 0;
    double peakMegabytes = 0;
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--measure", std::to_string(which), std::to_string(shape)});
        if (!result || !result->values.contains("seconds")) {
            state.SkipWithError("the measuring process failed or ran out of its memory limit");
            return;
        }
        seconds = result->values.at("seconds");
        peakMegabytes = result->peakMegabytes;
        state.SetIterationTime(seconds);
    }
    const auto size = static_cast<double>(text.size());
    state.counters["s/MB"] = seconds / (size / (1 << 20));
    state.SetLabel(shapeName(shape));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["peakMB"] = peakMegabytes;
    state.counters["peak/input"] = peakMegabytes * (1 << 20) / size;
}

void hostileShapes(benchmark::internal::Benchmark* benchmark) {
    for (std::int64_t shape = tableRows; shape <= linkLine; ++shape) {
        benchmark->Arg(shape);
    }
    benchmark->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
}

void BM_HostileDocumentParse(benchmark::State& state) {
    measured(state, documentParse, state.range(0));
}
BENCHMARK(BM_HostileDocumentParse)->Apply(hostileShapes);

void BM_HostileInlineParse(benchmark::State& state) {
    measured(state, inlineParse, state.range(0));
}
BENCHMARK(BM_HostileInlineParse)->Apply(hostileShapes);

// The underlying markdown parser alone on the same shapes, both syntaxes: what the library's own
// passes add is the difference.
void BM_HostileSyntaxTreeOnly(benchmark::State& state) {
    measured(state, state.range(1) != 0 ? inlineSyntaxTree : syntaxTree, state.range(0));
}
BENCHMARK(BM_HostileSyntaxTreeOnly)
    ->ArgsProduct({{tableRows, listItems, deepQuotes, deepLists, colons, formulas, longLine,
                    linkLine},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

// The line of emphasis and links at 50, 100 and 200 KB through the underlying parser alone and
// through the whole document parse: the time per megabyte does not hold as the line grows, since
// the parser pays for every link the emphasis marks of its paragraph before it.
void BM_LinkLineGrowth(benchmark::State& state) {
    std::string line;
    const auto size = static_cast<std::size_t>(state.range(0)) * 1024;
    while (line.size() < size) {
        line += "lorem *ipsum* dolor [sit](a.md) amet ";
    }
    const Parser parser = Parser::markdown(std::nullopt, mathAndEmoji());
    for (auto _ : state) {
        if (state.range(1) == 0) {
            platform::parseMarkdownSyntaxOnly(line);
        } else {
            benchmark::DoNotOptimize(parser.attributedString(line));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_LinkLineGrowth)
    ->ArgsProduct({{50, 100, 200}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The pattern pass alone, math and emoji on, over the text as one plain run.
void BM_HostilePatternPass(benchmark::State& state) {
    measured(state, patternPass, state.range(0));
}
BENCHMARK(BM_HostilePatternPass)
    ->Arg(colons)
    ->Arg(formulas)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

// Every level of the blocks of the parsed document, as a document view walks them.
void BM_HostileBlockRuns(benchmark::State& state) {
    measured(state, blockRuns, state.range(0));
}
// The deeply nested shapes are left out: walking them level by level is a matter of their depth
// (each level a walk of its own), not of their size.
BENCHMARK(BM_HostileBlockRuns)
    ->Arg(tableRows)
    ->Arg(listItems)
    ->Arg(colons)
    ->Arg(formulas)
    ->Arg(longLine)
    ->Arg(linkLine)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

// Each export from a fresh formatter over the parsed document, tree built included.
void BM_HostileHTMLExport(benchmark::State& state) {
    measured(state, htmlExport, state.range(0));
}
BENCHMARK(BM_HostileHTMLExport)->Apply(hostileShapes);

void BM_HostilePlainTextExport(benchmark::State& state) {
    measured(state, plainTextExport, state.range(0));
}
BENCHMARK(BM_HostilePlainTextExport)->Apply(hostileShapes);

// Each shape shown as a reader meets it, at 480 points offscreen: as inline text, laid out in
// full, and as a document in a window one screen tall (blocks below the screen wait until they
// are needed). Drawing is left out.
void BM_HostileInlineTextLayout(benchmark::State& state) {
    measured(state, inlineTextLayout, state.range(0));
}
BENCHMARK(BM_HostileInlineTextLayout)->Apply(hostileShapes);

void BM_HostileDocumentLayout(benchmark::State& state) {
    measured(state, documentLayout, state.range(0));
}
BENCHMARK(BM_HostileDocumentLayout)->Apply(hostileShapes);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
        bench::report("seconds", runCase(std::atoi(argv[2]), std::atoll(argv[3])));
        return bench::finishChild();
    }
    return bench::runBenchmarks(argc, argv);
}

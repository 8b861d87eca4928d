// Whole documents as a reader meets them, on the technical manual (about 150 KB of prose, tables,
// C++ code and formulas) in an 800-point column:
// - markup to the first screen of pixels: parse, build, lay out, and draw the top 800 × 600;
// - markup to the whole document laid out and drawn, screen after screen, to its end;
// - a one-character edit in the middle of the manual, laid out and drawn again;
// - the peak resident memory of showing the whole document once, measured in a process of its
//   own (the benchmark runs this program again with --peak-memory-child) so that nothing the
//   other cases kept counts;
// - the rows below the first screen laid out in idle time, slice by slice, to the end;
// and, on the synthetic document, the first layout at 480 points and a re-layout at another width.
//
// Highlighting answers arrive later from worker processes and are not waited for: the cases
// measure what a reader waits for before the text shows.
//
// The CPU time of these cases is the whole process's, every thread's: long stacks lay their text
// out on the pool's threads as well as on the main one, and on one core that work is waited for
// all the same. (The highlighting processes are not counted: nothing waits for them.)

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "bench/Vellum/BenchDocument.hpp"
#include "bench/support/ChildMeasure.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/ui/UI.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

namespace ui = platform::ui;

constexpr double columnWidth = 800;
constexpr platform::Size screen{800, 600};

std::string document() {
    std::string text = moss_bench::technicalDocument();
    while (text.size() < 100 * 1024) {
        text += moss_bench::technicalDocument();
    }
    return text;
}

// Draws the screen whose top edge is `top` points down the document.
void drawScreen(const ui::ViewGraph& graph, platform::ImageSurface& surface, double top) {
    platform::GraphicsContext context(surface);
    context.fill(platform::Rect({0, 0}, screen), platform::Color::gray(1));
    context.translateBy(0, -top);
    graph.draw(context);
}

// The manual with one letter of a prose word in its middle changed: the same length, one
// paragraph different.
std::string editedManual() {
    std::string text = moss_bench::technicalManual();
    const std::size_t word = text.find(" the ", text.size() / 2);
    text[word + 1] = 'T';
    return text;
}

void markupToFirstScreen(benchmark::State& state) {
    const std::string& markdown = moss_bench::technicalManual();
    platform::ImageSurface surface = platform::ImageSurface::ofSize(screen);
    for (auto _ : state) {
        ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(markdown)),
                               {columnWidth, std::nullopt});
        // As a window shows it: the blocks below the first screen wait until they are needed.
        host.setVisibleRect(platform::Rect({0, 0}, screen));
        host.runUntilIdle();
        drawScreen(host.graph(), surface, 0);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(markdown.size());
}
BENCHMARK(markupToFirstScreen)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The parse alone, the part of every case that no cache can skip: a document's markdown is
// parsed again on every change.
void parseOnly(benchmark::State& state) {
    const std::string& markdown = moss_bench::technicalManual();
    const vellum::AttributedStringMarkdownParser parser =
        vellum::AttributedStringMarkdownParser::markdown();
    for (auto _ : state) {
        const platform::AttributedString parsed = vellum::StructuredText::parse(parser, markdown);
        benchmark::DoNotOptimize(&parsed);
    }
}
BENCHMARK(parseOnly)->Unit(benchmark::kMillisecond);

// The parse of a one-character edit alone: only the top-level blocks the edit reaches are parsed
// again, the rest kept from the parse before.
void editParseOnly(benchmark::State& state) {
    const std::string& original = moss_bench::technicalManual();
    const std::string edited = editedManual();
    const vellum::AttributedStringMarkdownParser parser =
        vellum::AttributedStringMarkdownParser::markdown();
    std::unique_ptr<vellum::MarkupParser::Memory> memory;
    (void)parser.attributedStringReusing(original, memory);
    bool changed = false;
    for (auto _ : state) {
        changed = !changed;
        const platform::AttributedString parsed =
            parser.attributedStringReusing(changed ? edited : original, memory);
        benchmark::DoNotOptimize(&parsed);
    }
}
BENCHMARK(editParseOnly)->Unit(benchmark::kMicrosecond);

void markupToWholeDocument(benchmark::State& state) {
    const std::string& markdown = moss_bench::technicalManual();
    platform::ImageSurface surface = platform::ImageSurface::ofSize(screen);
    double height = 0;
    for (auto _ : state) {
        ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(markdown)),
                               {columnWidth, std::nullopt});
        host.runUntilIdle();
        height = host.graph().size().height;
        for (double top = 0; top < height; top += screen.height) {
            drawScreen(host.graph(), surface, top);
        }
        benchmark::ClobberMemory();
    }
    state.counters["height"] = height;
}

// What the engine did for one showing of the whole manual: nodes evaluated, sizes computed.
void wholeDocumentWork(benchmark::State& state) {
    ui::ViewGraph::Statistics work;
    for (auto _ : state) {
        ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(moss_bench::technicalManual())),
                               {columnWidth, std::nullopt});
        host.runUntilIdle();
        work = host.graph().statistics();
    }
    state.counters["bodies"] = static_cast<double>(work.bodyEvaluations);
    state.counters["nodes"] = static_cast<double>(work.nodeUpdates);
    state.counters["sizes"] = static_cast<double>(work.sizeComputations);
    state.counters["placements"] = static_cast<double>(work.placements);
}
BENCHMARK(wholeDocumentWork)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(markupToWholeDocument)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Runs the host until nothing has needed an update for a quarter of a second: the highlighting
// of the code blocks has come in from the worker processes. Bounded, should a worker hang.
void settle(ui::OffscreenHost& host) {
    constexpr auto quiet = std::chrono::milliseconds(250);
    for (int round = 0; round < 400; ++round) {
        host.runUntilIdle();
        if (!host.runUntil([&] { return host.graph().needsUpdate(); }, quiet)) {
            return;
        }
    }
}

void oneCharacterEdit(benchmark::State& state) {
    const std::string& original = moss_bench::technicalManual();
    const std::string edited = editedManual();
    ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(original)),
                           {columnWidth, std::nullopt});
    host.setVisibleRect(platform::Rect({0, 0}, screen));
    // An edit comes long after the document first showed, its code already coloured.
    settle(host);
    platform::ImageSurface surface = platform::ImageSurface::ofSize(screen);
    bool changed = false;
    for (auto _ : state) {
        changed = !changed;
        host.setRootView(ui::AnyView(vellum::StructuredText(changed ? edited : original)));
        host.runUntilIdle();
        drawScreen(host.graph(), surface, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(oneCharacterEdit)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// What the child process does: show the whole manual once; its peak memory goes to the parent.
int showWholeManualOnce() {
    {
        ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(moss_bench::technicalManual())),
                               {columnWidth, std::nullopt});
        host.runUntilIdle();
        platform::ImageSurface surface = platform::ImageSurface::ofSize(screen);
        for (double top = 0; top < host.graph().size().height; top += screen.height) {
            drawScreen(host.graph(), surface, top);
        }
    }
    return bench::finishChild();
}

void peakMemoryOfWholeDocument(benchmark::State& state) {
    double megabytes = 0;
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result = bench::runChild({"--peak-memory-child"});
        if (!result) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        megabytes = result->peakMegabytes;
    }
    state.counters["peakMB"] = megabytes;
}
BENCHMARK(peakMemoryOfWholeDocument)->Unit(benchmark::kMillisecond)->Iterations(1);

void firstLayoutAndDraw(benchmark::State& state) {
    const std::string markdown = document();
    for (auto _ : state) {
        ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(markdown)), {480, std::nullopt});
        host.runUntilIdle();
        // The whole page is taller than one surface may be: drawing is measured as the display
        // list it makes.
        const ui::DisplayList list = host.graph().displayList();
        benchmark::DoNotOptimize(&list);
    }
    state.counters["bytes"] = static_cast<double>(markdown.size());
}
BENCHMARK(firstLayoutAndDraw)->Unit(benchmark::kMillisecond);

void relayoutAtAnotherWidth(benchmark::State& state) {
    ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(document())), {480, std::nullopt});
    host.runUntilIdle();
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        host.setProposal({wide ? 640.0 : 480.0, std::nullopt});
        host.runUntilIdle();
        benchmark::DoNotOptimize(host.size().height);
    }
}
BENCHMARK(relayoutAtAnotherWidth)->Unit(benchmark::kMillisecond);

// The rows below the first screen laid out in idle time to the end, as the window does it: slices
// of 4 ms with the first screen shown and selection on, so that every slice's new rows reach the
// texts the selection indexes. The manual once and four times over: a document four times as
// long should take about four times as long, its slices no longer. Arg 0: the document with
// formulas in every section instead.
void idleLayoutToTheEnd(benchmark::State& state) {
    std::string markdown;
    for (int i = 0; i < state.range(0); ++i) {
        markdown += moss_bench::technicalManual();
    }
    if (state.range(0) == 0) {
        markdown = moss_bench::technicalDocument();
    }
    for (auto _ : state) {
        ui::OffscreenHost host(
            vellum::textSelection(ui::AnyView(vellum::StructuredText(markdown)).padding(16),
                                  vellum::EnabledTextSelectability()),
            {columnWidth, std::nullopt});
        host.setVisibleRect(platform::Rect({0, 0}, screen));
        ui::ViewGraph& graph = host.graph();
        graph.update();
        int slices = 0;
        double longest = 0;
        while (graph.hasDeferredLayout()) {
            const auto start = std::chrono::steady_clock::now();
            graph.layOutDeferred(std::chrono::milliseconds(4));
            if (graph.needsUpdate()) {
                graph.update();
            }
            longest = std::max(longest, std::chrono::duration<double, std::milli>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
            ++slices;
        }
        state.counters["slices"] = slices;
        state.counters["longest_slice_ms"] = longest;
    }
}
BENCHMARK(idleLayoutToTheEnd)
    ->ArgName("manuals")
    ->Arg(0)
    ->Arg(1)
    ->Arg(4)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--peak-memory-child") == 0) {
        return showWholeManualOnce();
    }
    return bench::runBenchmarks(argc, argv);
}

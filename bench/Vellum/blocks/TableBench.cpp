// A table of 1,000 body rows and 4 columns (short words, numbers and a sentence per row), parsed
// once: the table geometry alone (4,004 cell rectangles into rows, columns and grid lines), the
// first layout of the table view in the default and the GitHub look at 600 points (cells styled,
// measured, the style's spacing settled, grid lines drawn from the measured cells), and a second
// layout at another width of a table already on screen.
//
// Each case reports the heap allocations it made per iteration ("allocs"): they are exact where
// the times are noisy.

#include "Vellum/blocks/Table.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "bench/support/AllocationCounter.hpp"
#include "platform/ui/UI.hpp"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

namespace {

namespace ui = platform::ui;
using namespace vellum::structured;

constexpr int rowCount = 1000;

std::string markdown() {
    std::string text = "| Name | Count | Share | Note |\n|:-----|------:|:-----:|------|\n";
    for (int i = 0; i < rowCount; ++i) {
        text += "| item " + std::to_string(i) + " | " + std::to_string(i * 37 % 1000) + " | " +
                std::to_string(i % 100) + "% | a *short* note on row " + std::to_string(i) + " |\n";
    }
    return text;
}

const Table& table() {
    static const auto parsed = [] {
        const platform::AttributedString document =
            vellum::AttributedStringMarkdownParser::markdown(
                std::nullopt, vellum::AttributedStringMarkdownParser::PatternOptions{})
                .attributedString(markdown());
        const vellum::BlockRuns::BlockRun run = vellum::BlockRuns(document)[0];
        return Table(run.intent, document[run.range], run.intent->columns());
    }();
    return parsed;
}

void reportAllocations(benchmark::State& state, std::uint64_t before) {
    state.counters["allocs"] =
        benchmark::Counter(double(bench::allocationCount() - before) /
                           double(std::max<std::int64_t>(state.iterations(), 1)));
}

void TableGeometry(benchmark::State& state) {
    std::unordered_map<TableCellIdentifier, platform::Rect> cells;
    for (int r = 0; r <= rowCount; ++r) {
        for (int c = 0; c < 4; ++c) {
            cells[{r, c}] = platform::Rect(c * 121.0, r * 31.0, 120, 30);
        }
    }
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        const TableLayout layout = TableLayout::makeTableLayout(cells);
        benchmark::DoNotOptimize(layout.dividerRects());
    }
    reportAllocations(state, before);
}
BENCHMARK(TableGeometry)->Unit(benchmark::kMicrosecond);

ui::AnyView view(bool gitHub) {
    ui::AnyView view(table());
    if (gitHub) {
        view = view.environment<TableStyleKey>(TableStyle::gitHub())
                   .environment<TableCellStyleKey>(TableCellStyle::gitHub());
    }
    return view.font(platform::Font::system(15));
}

void TableFirstLayout(benchmark::State& state) {
    (void)table();
    const bool gitHub = state.range(0) != 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        ui::OffscreenHost host(view(gitHub), ui::ProposedViewSize(600, std::nullopt));
        host.runUntilIdle(std::chrono::milliseconds(60'000));
        benchmark::DoNotOptimize(host.size());
    }
    reportAllocations(state, before);
}
BENCHMARK(TableFirstLayout)->ArgName("gitHub")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void TableResize(benchmark::State& state) {
    ui::OffscreenHost host(view(false), ui::ProposedViewSize(600, std::nullopt));
    host.runUntilIdle(std::chrono::milliseconds(60'000));
    bool narrow = false;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        narrow = !narrow;
        host.setProposal(ui::ProposedViewSize(narrow ? 480 : 600, std::nullopt));
        host.runUntilIdle(std::chrono::milliseconds(60'000));
        benchmark::DoNotOptimize(host.size());
    }
    reportAllocations(state, before);
}
BENCHMARK(TableResize)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

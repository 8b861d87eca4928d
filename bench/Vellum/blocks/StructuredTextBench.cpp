// A whole document of about 100 KB (headings, paragraphs, lists, quotes, code, formulas):
// its first layout and drawing at a column width, and a re-layout at another width.

#include "Vellum/blocks/StructuredText.hpp"
#include "bench/Vellum/BenchDocument.hpp"
#include "platform/ui/UI.hpp"

#include <benchmark/benchmark.h>

namespace {

namespace ui = platform::ui;

std::string document() {
    std::string text = moss_bench::technicalDocument();
    while (text.size() < 100 * 1024) {
        text += moss_bench::technicalDocument();
    }
    return text;
}

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

} // namespace

BENCHMARK_MAIN();

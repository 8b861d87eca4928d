// A long document's worth of text views (2,000 or 8,000 paragraphs of 2 to 13 words, about 120 KB
// per 2,000, in a vertical stack at 600 points): the first layout and the drawing of the first
// screen, an update that changes one paragraph, a dark-mode toggle, a pointer move over text
// without handlers, and the drawing of a frame in which nothing changed.
//
// Each case reports the heap allocations it made per iteration ("allocs"): they are exact where
// the times are noisy.

#include "bench/support/AllocationCounter.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace platform::ui;

class Paragraph {
public:
    enum class Property { text };
    explicit Paragraph(std::string text)
        : text(registrar, Property::text, std::move(text)) {}
    platform::ObservationRegistrar registrar;
    platform::Observed<std::string> text;
};

/// One paragraph view, evaluated again only when its own text changes.
struct ParagraphView {
    std::shared_ptr<Paragraph> paragraph;
    AnyView body() const { return Text(paragraph->text.get()); }
    friend bool operator==(const ParagraphView&, const ParagraphView&) = default;
};

std::string sentence(int i) {
    static const char* const words[] = {"layout", "the",  "of",       "paragraph", "glyph",
                                        "a",      "text", "wrapping", "measures",  "line",
                                        "width",  "and",  "font",     "baseline",  "runs"};
    std::string s = "Paragraph " + std::to_string(i) + ":";
    const int count = 2 + (i * 37) % 12;
    for (int w = 0; w < count; ++w) {
        s += ' ';
        s += words[(i * 7 + w * 3) % std::size(words)];
    }
    return s + ".";
}

struct Document {
    std::vector<std::shared_ptr<Paragraph>> paragraphs;
    explicit Document(int count) {
        for (int i = 0; i < count; ++i) {
            paragraphs.push_back(std::make_shared<Paragraph>(sentence(i)));
        }
    }
    AnyView view() const {
        std::vector<int> indices;
        for (int i = 0; i < int(paragraphs.size()); ++i) {
            indices.push_back(i);
        }
        return VStack(HorizontalAlignment::leading(), 8.0,
                      {ForEach(
                          indices, [](int i) { return i; },
                          [this](int i) { return ParagraphView{paragraphs[std::size_t(i)]}; })});
    }
};

/// Allocations per iteration, from the count before the loop.
void reportAllocations(benchmark::State& state, std::uint64_t before) {
    state.counters["allocs"] =
        benchmark::Counter(double(bench::allocationCount() - before) /
                           double(std::max<std::int64_t>(state.iterations(), 1)));
}

/// A graph that updates only when asked, laid out at 600 points wide.
std::unique_ptr<ViewGraph> makeGraph(const Document& document, EnvironmentValues env = {}) {
    auto graph = std::make_unique<ViewGraph>(document.view(), std::move(env));
    graph->setUpdateScheduler([] {});
    graph->setProposal({600.0, std::nullopt});
    return graph;
}

void firstLayoutAndDraw(benchmark::State& state) {
    const Document document(int(state.range(0)));
    platform::ImageSurface surface(800, 600);
    std::uint64_t counted = 0;
    for (auto _ : state) {
        const std::uint64_t before = bench::allocationCount();
        auto graph = makeGraph(document);
        graph->update();
        platform::GraphicsContext context(surface);
        graph->draw(context);
        benchmark::DoNotOptimize(graph->size());
        counted += bench::allocationCount() - before;
        // Tearing the tree down is not part of showing it.
        state.PauseTiming();
        graph.reset();
        state.ResumeTiming();
    }
    state.counters["allocs"] = benchmark::Counter(double(counted) / double(state.iterations()));
}
BENCHMARK(firstLayoutAndDraw)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

void updateOneParagraph(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    int round = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        document.paragraphs[document.paragraphs.size() / 2]->text.set(sentence(++round % 7));
        graph->update();
        benchmark::DoNotOptimize(graph->size());
    }
    reportAllocations(state, before);
}
BENCHMARK(updateOneParagraph)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void updateAndDrawFirstScreen(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    platform::ImageSurface surface(800, 600);
    int round = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        document.paragraphs[3]->text.set(sentence(++round % 7));
        graph->update();
        platform::GraphicsContext context(surface);
        graph->draw(context);
    }
    reportAllocations(state, before);
}
BENCHMARK(updateAndDrawFirstScreen)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void darkModeToggle(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    bool dark = false;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        dark = !dark;
        EnvironmentValues env;
        env.set<ColorSchemeKey>(dark ? platform::ColorScheme::dark : platform::ColorScheme::light);
        graph->setEnvironment(std::move(env));
        graph->update();
    }
    reportAllocations(state, before);
}
BENCHMARK(darkModeToggle)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

/// What the host does on each motion: the event, then the cursor at the new location.
void pointerMove(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    int step = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        PointerEvent event;
        event.kind = PointerEvent::Kind::moved;
        event.location = {20.0 + (++step % 200), 100.0 + (step % 300)};
        graph->pointerEvent(event);
        benchmark::DoNotOptimize(graph->cursor(event.location));
    }
    reportAllocations(state, before);
}
BENCHMARK(pointerMove)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void drawUnchangedFrame(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    platform::ImageSurface surface(800, 600);
    {
        platform::GraphicsContext context(surface);
        graph->draw(context);
    }
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        platform::GraphicsContext context(surface);
        graph->draw(context);
    }
    reportAllocations(state, before);
}
BENCHMARK(drawUnchangedFrame)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// A long document's worth of text views (2,000 or 8,000 paragraphs of 2 to 13 words, about 120 KB
// per 2,000) at 600 points wide, shown in an 800 x 600 window:
// - the first screen: build, layout and drawing of what the window shows (a lazy stack under a
//   visible rectangle), from the document's view and with the view made anew, and, for
//   comparison, of the whole document in an ordinary stack;
// - with the document laid out (the host's idle work done): an update that changes one paragraph
//   (out of view), one that changes a visible paragraph and draws, a dark-mode toggle, a pointer
//   move over text without handlers, the drawing of a frame in which nothing changed, and a
//   scroll by one screen;
// - a scroll by one screen through a document laid out only as far as it was shown;
// - the idle layout of 10,000 to 200,000 bars of a few heights, in the host's 4 ms slices, to the
//   last row: the time must grow with the rows, not with their square.
//
// Each case reports the heap allocations it made per iteration ("allocs"): they are exact where
// the times are noisy.

#include "bench/support/AllocationCounter.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
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
    AnyView view(bool lazy = true) const {
        std::vector<int> indices;
        for (int i = 0; i < int(paragraphs.size()); ++i) {
            indices.push_back(i);
        }
        std::vector<AnyView> rows{ForEach(
            indices, [](int i) { return i; },
            [this](int i) { return ParagraphView{paragraphs[std::size_t(i)]}; })};
        if (lazy) {
            return LazyVStack(HorizontalAlignment::leading(), 8.0, std::move(rows));
        }
        return VStack(HorizontalAlignment::leading(), 8.0, std::move(rows));
    }
};

constexpr double kScreenWidth = 800;
constexpr double kScreenHeight = 600;

/// Allocations per iteration, from the count before the loop.
void reportAllocations(benchmark::State& state, std::uint64_t before) {
    state.counters["allocs"] =
        benchmark::Counter(double(bench::allocationCount() - before) /
                           double(std::max<std::int64_t>(state.iterations(), 1)));
}

/// A graph that updates only when asked, laid out at 600 points wide; shown through a window
/// at the top of the document unless `whole`.
std::unique_ptr<ViewGraph> makeGraphOf(AnyView view, EnvironmentValues env = {},
                                       bool whole = false) {
    auto graph = std::make_unique<ViewGraph>(std::move(view), std::move(env));
    graph->setUpdateScheduler([] {});
    graph->setProposal({600.0, std::nullopt});
    if (!whole) {
        graph->setVisibleRect(Rect(0, 0, kScreenWidth, kScreenHeight));
    }
    return graph;
}

std::unique_ptr<ViewGraph> makeGraph(const Document& document, EnvironmentValues env = {},
                                     bool whole = false) {
    return makeGraphOf(document.view(!whole), std::move(env), whole);
}

/// A graph whose rows are all laid out, as after the host's idle work.
std::unique_ptr<ViewGraph> makeLaidOutGraph(const Document& document) {
    auto graph = makeGraph(document);
    graph->update();
    while (graph->layOutDeferred(std::chrono::milliseconds(100))) {
    }
    return graph;
}

/// Draws what the window shows with the document scrolled to `top`.
void drawScreen(const ViewGraph& graph, platform::ImageSurface& surface, double top = 0) {
    platform::GraphicsContext context(surface);
    context.clip(Rect(0, 0, kScreenWidth, kScreenHeight));
    context.translateBy(0, -top);
    graph.draw(context);
}

/// The document's view (its list of paragraph views) is the model's, made once; the graph is
/// built from it, laid out and drawn for the first screen.
template <typename MakeGraph>
void measureFirstScreen(benchmark::State& state, const MakeGraph& makeOne) {
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    std::uint64_t counted = 0;
    for (auto _ : state) {
        const std::uint64_t before = bench::allocationCount();
        auto graph = makeOne();
        graph->update();
        drawScreen(*graph, surface);
        benchmark::DoNotOptimize(graph->size());
        counted += bench::allocationCount() - before;
        state.PauseTiming();
        graph.reset();
        state.ResumeTiming();
    }
    state.counters["allocs"] = benchmark::Counter(double(counted) / double(state.iterations()));
}

void firstScreen(benchmark::State& state) {
    const Document document(int(state.range(0)));
    const AnyView view = document.view();
    measureFirstScreen(state, [&view] { return makeGraphOf(view); });
}
BENCHMARK(firstScreen)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

/// The same with the document's view made anew each time (a list of paragraph views, each
/// allocated).
void firstScreenWithItsView(benchmark::State& state) {
    const Document document(int(state.range(0)));
    measureFirstScreen(state, [&document] { return makeGraph(document); });
}
BENCHMARK(firstScreenWithItsView)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

/// The whole document in an ordinary stack, with no visible rectangle: everything is built and
/// laid out before the first frame.
void firstLayoutAndDraw(benchmark::State& state) {
    const Document document(int(state.range(0)));
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    std::uint64_t counted = 0;
    for (auto _ : state) {
        const std::uint64_t before = bench::allocationCount();
        auto graph = makeGraph(document, {}, true);
        graph->update();
        drawScreen(*graph, surface);
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

/// Closing a whole document laid out and drawn: every node, list and layout goes. Counted are
/// the allocations of building what is torn down (each is freed here).
void tearDownWholeDocument(benchmark::State& state) {
    const Document document(int(state.range(0)));
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    std::uint64_t counted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::uint64_t before = bench::allocationCount();
        auto graph = makeGraph(document, {}, true);
        graph->update();
        drawScreen(*graph, surface);
        counted += bench::allocationCount() - before;
        state.ResumeTiming();
        graph.reset();
    }
    state.counters["allocs"] = benchmark::Counter(double(counted) / double(state.iterations()));
}
BENCHMARK(tearDownWholeDocument)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

void updateOneParagraph(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeLaidOutGraph(document);
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
    auto graph = makeLaidOutGraph(document);
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    int round = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        document.paragraphs[3]->text.set(sentence(++round % 7));
        graph->update();
        drawScreen(*graph, surface);
    }
    reportAllocations(state, before);
}
BENCHMARK(updateAndDrawFirstScreen)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void darkModeToggle(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeLaidOutGraph(document);
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
    auto graph = makeLaidOutGraph(document);
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
    auto graph = makeLaidOutGraph(document);
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    drawScreen(*graph, surface);
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        drawScreen(*graph, surface);
    }
    reportAllocations(state, before);
}
BENCHMARK(drawUnchangedFrame)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

/// One step of scrolling: the window moves down a screen (back to the top past the end), the
/// rows that come into view are laid out and the screen drawn.
void scrollStep(ViewGraph& graph, platform::ImageSurface& surface, double& top) {
    top += kScreenHeight;
    if (top + kScreenHeight > graph.size().height) {
        top = 0;
    }
    graph.setVisibleRect(Rect(0, top, kScreenWidth, kScreenHeight));
    graph.update();
    drawScreen(graph, surface, top);
}

void scrollByOneScreen(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeLaidOutGraph(document);
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    double top = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        scrollStep(*graph, surface, top);
    }
    reportAllocations(state, before);
}
BENCHMARK(scrollByOneScreen)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

/// Scrolling through a document laid out only as far as it was shown: each screen builds and
/// lays out its rows. A new document replaces one scrolled to its end (not counted).
void scrollByOneScreenFirstTime(benchmark::State& state) {
    const Document document(int(state.range(0)));
    auto graph = makeGraph(document);
    graph->update();
    platform::ImageSurface surface{int(kScreenWidth), int(kScreenHeight)};
    double top = 0;
    std::uint64_t counted = 0;
    for (auto _ : state) {
        if (top + 2 * kScreenHeight > graph->size().height) {
            state.PauseTiming();
            graph = makeGraph(document);
            graph->update();
            top = 0;
            state.ResumeTiming();
        }
        const std::uint64_t before = bench::allocationCount();
        scrollStep(*graph, surface, top);
        counted += bench::allocationCount() - before;
    }
    state.counters["allocs"] = benchmark::Counter(double(counted) / double(state.iterations()));
}
BENCHMARK(scrollByOneScreenFirstTime)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

} // namespace

/// A bar whose height depends on its place, the cheapest row there is: what is measured is the
/// stack's own work per row.
AnyView bars(int count) {
    std::vector<int> indices;
    for (int i = 0; i < count; ++i) {
        indices.push_back(i);
    }
    return LazyVStack(
        HorizontalAlignment::leading(), 4.0,
        {ForEach(
            indices, [](int i) { return i; },
            [](int i) {
                return AnyView(platform::Color::gray(0.5)).frame(100, CGFloat(10 + (i * 7) % 30));
            })});
}

void idleLayoutToTheEnd(benchmark::State& state) {
    const AnyView view = bars(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto graph = makeGraphOf(view);
        graph->update();
        state.ResumeTiming();
        int slices = 1;
        while (graph->layOutDeferred(std::chrono::milliseconds(4))) {
            ++slices;
        }
        state.counters["slices"] = slices;
        state.PauseTiming();
        graph.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(idleLayoutToTheEnd)
    ->Arg(10000)
    ->Arg(25000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

/// Whether rows wait, as a host asks after every frame, with every row laid out.
void askWhetherRowsWait(benchmark::State& state) {
    auto graph = makeGraphOf(bars(int(state.range(0))));
    graph->update();
    while (graph->layOutDeferred(std::chrono::milliseconds(100))) {
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(graph->hasDeferredLayout());
    }
}
BENCHMARK(askWhetherRowsWait)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

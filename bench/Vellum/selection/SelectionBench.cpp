// Selection over a long document: 2,000 paragraphs of about 400 characters each, wrapped at
// 600 points, stacked as the block stack places them. A drag update is one hit test for the
// moving end and the highlight rectangles of the range, here the whole document from its start.
// The collection is read once beforehand, as the first hit test of a drag fills the lazy model.

#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

namespace ui = platform::ui;

constexpr int kParagraphs = 2000;
constexpr double kWidth = 600;

std::string paragraph(int n) {
    std::string text = "Paragraph " + std::to_string(n) + ": ";
    while (text.size() < 400) {
        text += "the quick brown fox jumps over the lazy dog, ";
    }
    return text;
}

struct Document {
    std::shared_ptr<const vellum::LiveTextLayoutCollection> collection;
    double height = 0;
};

const Document& document() {
    static const Document doc = [] {
        ui::Text::LayoutKey::Value layouts;
        double y = 0;
        for (int i = 0; i < kParagraphs; ++i) {
            const std::string text = paragraph(i);
            const platform::TextAttributes attributes{.font = platform::Font::system(15)};
            auto laidOut = std::make_shared<const platform::TextLayout>(
                platform::StyledText(text, attributes), platform::ParagraphStyle{.width = kWidth});
            ui::Text::Run run{text,  attributes, std::nullopt,
                              false, false,      {ui::ViewID(vellum::TextFragmentAttribute{})}};
            const double height = laidOut->size().height;
            layouts.push_back({ui::Anchor<platform::Point>(platform::Point{0, y}),
                               ui::Text::Layout(std::move(laidOut), {run})});
            y += height + 10;
        }
        Document d{std::make_shared<const vellum::LiveTextLayoutCollection>(std::move(layouts),
                                                                            ui::GeometryProxy()),
                   y};
        // Fill the lazy model: every line, run and slice.
        const vellum::TextRange all{vellum::startPosition(*d.collection),
                                    vellum::endPosition(*d.collection)};
        benchmark::DoNotOptimize(vellum::buildSelectionRects(*d.collection, all));
        return d;
    }();
    return doc;
}

void HitTestPoint(benchmark::State& state) {
    const Document& doc = document();
    const platform::Point point{kWidth / 3, doc.height * 0.6};
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::closestPosition(*doc.collection, point));
    }
}
BENCHMARK(HitTestPoint)->Unit(benchmark::kMicrosecond);

void SelectionRectsWholeDocument(benchmark::State& state) {
    const Document& doc = document();
    const vellum::TextRange all{vellum::startPosition(*doc.collection),
                                vellum::endPosition(*doc.collection)};
    std::size_t count = 0;
    for (auto _ : state) {
        const auto rects = vellum::buildSelectionRects(*doc.collection, all);
        count = rects.size();
        benchmark::DoNotOptimize(rects.data());
    }
    state.counters["rects"] = static_cast<double>(count);
    std::size_t runs = 0;
    std::size_t slices = 0;
    for (std::size_t l = 0; l < doc.collection->layoutCount(); ++l) {
        const auto& layout = doc.collection->layout(l);
        for (std::size_t n = 0; n < layout.lineCount(); ++n) {
            runs += layout.line(n).runCount();
            for (std::size_t r = 0; r < layout.line(n).runCount(); ++r) {
                slices += layout.line(n).run(r).sliceCount();
            }
        }
    }
    state.counters["runs"] = static_cast<double>(runs);
    state.counters["slices"] = static_cast<double>(slices);
}
BENCHMARK(SelectionRectsWholeDocument)->Unit(benchmark::kMillisecond);

// One drag update: the moving end is hit-tested at the bottom of the document, and the range from
// the start of the document to it yields its rectangles.
void DragUpdateWholeDocument(benchmark::State& state) {
    const Document& doc = document();
    const auto start = vellum::startPosition(*doc.collection);
    for (auto _ : state) {
        const auto end = vellum::closestPosition(*doc.collection, {kWidth / 2, doc.height - 5});
        benchmark::DoNotOptimize(vellum::buildSelectionRects(*doc.collection, {start, *end}));
    }
}
BENCHMARK(DragUpdateWholeDocument)->Unit(benchmark::kMillisecond);

// What the overlay draws while the drag goes on: the share of one on-screen paragraph.
void SelectionRectsInOneLayout(benchmark::State& state) {
    const Document& doc = document();
    const vellum::TextRange all{vellum::startPosition(*doc.collection),
                                vellum::endPosition(*doc.collection)};
    const auto& layout = doc.collection->base()[kParagraphs / 2].layout;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::selectionRectsInLayout(*doc.collection, all, layout));
    }
}
BENCHMARK(SelectionRectsInOneLayout)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

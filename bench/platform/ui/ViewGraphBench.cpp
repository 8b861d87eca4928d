// A long document's worth of text views (2,000 paragraphs of 2 to 13 words, about 120 KB, in a
// vertical stack at 600 points): the first layout and the drawing of the first screen, and an
// update that changes one paragraph.

#include "platform/graphics/ImageSurface.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace platform::ui;

constexpr int kParagraphs = 2000;

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
    Document() {
        for (int i = 0; i < kParagraphs; ++i) {
            paragraphs.push_back(std::make_shared<Paragraph>(sentence(i)));
        }
    }
    AnyView view() const {
        std::vector<int> indices;
        for (int i = 0; i < kParagraphs; ++i) {
            indices.push_back(i);
        }
        return VStack(HorizontalAlignment::leading(), 8.0,
                      {ForEach(
                          indices, [](int i) { return i; },
                          [this](int i) { return ParagraphView{paragraphs[std::size_t(i)]}; })});
    }
};

void firstLayoutAndDraw(benchmark::State& state) {
    const Document document;
    platform::ImageSurface surface(800, 600);
    for (auto _ : state) {
        auto graph = std::make_unique<ViewGraph>(document.view());
        graph->setUpdateScheduler([] {});
        graph->setProposal({600.0, std::nullopt});
        graph->update();
        platform::GraphicsContext context(surface);
        graph->draw(context);
        benchmark::DoNotOptimize(graph->size());
        // Tearing the tree down is not part of showing it.
        state.PauseTiming();
        graph.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(firstLayoutAndDraw)->Unit(benchmark::kMillisecond);

void updateOneParagraph(benchmark::State& state) {
    const Document document;
    ViewGraph graph(document.view());
    graph.setUpdateScheduler([] {});
    graph.setProposal({600.0, std::nullopt});
    graph.update();
    int round = 0;
    for (auto _ : state) {
        document.paragraphs[1000]->text.set(sentence(++round % 7));
        graph.update();
        benchmark::DoNotOptimize(graph.size());
    }
}
BENCHMARK(updateOneParagraph)->Unit(benchmark::kMicrosecond);

void updateAndDrawFirstScreen(benchmark::State& state) {
    const Document document;
    ViewGraph graph(document.view());
    graph.setUpdateScheduler([] {});
    graph.setProposal({600.0, std::nullopt});
    graph.update();
    platform::ImageSurface surface(800, 600);
    int round = 0;
    for (auto _ : state) {
        document.paragraphs[3]->text.set(sentence(++round % 7));
        graph.update();
        platform::GraphicsContext context(surface);
        graph.draw(context);
    }
}
BENCHMARK(updateAndDrawFirstScreen)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// Typesetting and drawing speed over the formula corpus at 20 points, with the fonts loaded
// beforehand, and the first formula of a process, font loading included. Besides the mean per
// formula, each corpus benchmark reports the median over the corpus of each formula's own time.

#include "Math/AtomList.hpp"
#include "Math/DisplayDrawing.hpp"
#include "Math/FontMetrics.hpp"
#include "Math/FontRegistry.hpp"
#include "Math/FontTable.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const Math::Font kFont(Math::Font::Name::latinModern, 20);

std::vector<std::shared_ptr<Math::AtomList>> parsedCorpus() {
    std::vector<std::shared_ptr<Math::AtomList>> lists;
    std::ifstream file(MATH_FORMULA_CORPUS);
    for (std::string line; std::getline(file, line);) {
        if (auto list = line.empty() ? nullptr : Math::parseLatex(line)) {
            lists.push_back(std::move(list));
        }
    }
    return lists;
}

std::shared_ptr<Math::DisplayList> typeset(const Math::AtomList& list) {
    const auto font = Math::PlatformFont::make(kFont);
    return Math::Typesetter::createLine(*Math::finalizedAtomList(list), font,
                                        Math::Style::Level::display, false, 0);
}

void draw(const Math::DisplayList& root) {
    const platform::Size size{std::ceil(root.width()) + 1,
                              std::ceil(root.ascent() + root.descent()) + 1};
    platform::ImageSurface surface = platform::ImageSurface::ofSize(size);
    platform::GraphicsContext context(surface);
    Math::drawInGraphicsContext(root, context, size);
    benchmark::DoNotOptimize(surface);
}

/// Runs `work` over the corpus per iteration, timing each formula on its own as well.
template <class Work>
void runCorpus(benchmark::State& state, Work work) {
    const auto lists = parsedCorpus();
    if (lists.empty() || !Math::PlatformFont::make(kFont)) {
        state.SkipWithError("corpus or font missing");
        return;
    }
    std::vector<double> seconds(lists.size(), 0);
    for (auto _ : state) {
        for (std::size_t i = 0; i < lists.size(); ++i) {
            const auto start = Clock::now();
            work(*lists[i]);
            seconds[i] += std::chrono::duration<double>(Clock::now() - start).count();
        }
    }
    std::nth_element(seconds.begin(),
                     seconds.begin() + static_cast<std::ptrdiff_t>(seconds.size() / 2),
                     seconds.end());
    const double median = seconds[seconds.size() / 2] / static_cast<double>(state.iterations());
    state.counters["median_us"] = median * 1e6;
    state.counters["per_formula"] =
        benchmark::Counter(static_cast<double>(state.iterations() * lists.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TypesetCorpus(benchmark::State& state) {
    runCorpus(state, [](const Math::AtomList& list) { benchmark::DoNotOptimize(typeset(list)); });
}
BENCHMARK(BM_TypesetCorpus)->Unit(benchmark::kMillisecond);

void BM_TypesetAndDrawCorpus(benchmark::State& state) {
    runCorpus(state, [](const Math::AtomList& list) {
        if (const auto root = typeset(list)) {
            draw(*root);
        }
    });
}
BENCHMARK(BM_TypesetAndDrawCorpus)->Unit(benchmark::kMillisecond);

// The formula set in `font`, and drawn.
void setAndDraw(const Math::AtomList& list, std::shared_ptr<const Math::PlatformFont> font) {
    const auto root = Math::Typesetter::createLine(*Math::finalizedAtomList(list), std::move(font),
                                                   Math::Style::Level::display, false, 0);
    if (root) {
        draw(*root);
    }
}

// A registry of its own per iteration: the font file is read and its table decoded, then one
// formula is set (indexing the table as far as it asks) and drawn. (The typesetter's script-size
// fonts come from the shared registry, warm after the first iteration: no loading of their own.)
void BM_ColdFirstFormula(benchmark::State& state) {
    const auto bundle = Math::FontRegistry::locateModuleBundle();
    const auto list = Math::parseLatex(R"(x = \frac{-b \pm \sqrt{b^2 - 4ac}}{2a})");
    if (!bundle || !list) {
        state.SkipWithError("bundle missing");
        return;
    }
    for (auto _ : state) {
        Math::FontRegistry registry(*bundle / "mathFonts.bundle");
        setAndDraw(*list, Math::PlatformFont::make(kFont, registry));
    }
}
BENCHMARK(BM_ColdFirstFormula)->Unit(benchmark::kMillisecond);

// The same formula again in a registry that has its font loaded: what the first one costs beyond
// this is the font's loading.
void BM_WarmSecondFormula(benchmark::State& state) {
    const auto bundle = Math::FontRegistry::locateModuleBundle();
    const auto list = Math::parseLatex(R"(x = \frac{-b \pm \sqrt{b^2 - 4ac}}{2a})");
    if (!bundle || !list) {
        state.SkipWithError("bundle missing");
        return;
    }
    Math::FontRegistry registry(*bundle / "mathFonts.bundle");
    if (!Math::PlatformFont::make(kFont, registry)) {
        state.SkipWithError("font missing");
        return;
    }
    for (auto _ : state) {
        setAndDraw(*list, Math::PlatformFont::make(kFont, registry));
    }
}
BENCHMARK(BM_WarmSecondFormula)->Unit(benchmark::kMillisecond);

// Decoding the largest shipped table file from its bytes, read beforehand.
void BM_DecodeFontTable(benchmark::State& state) {
    const auto bundle = Math::FontRegistry::locateModuleBundle();
    if (!bundle) {
        state.SkipWithError("bundle missing");
        return;
    }
    std::ifstream file(*bundle / "mathFonts.bundle" / "latinmodern-math.plist", std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        state.SkipWithError("table missing");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Math::FontTable::decode(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeFontTable)->Unit(benchmark::kMillisecond);

// Indexing a decoded table against its face for every kind of lookup, the face's loading
// included.
void BM_IndexFontTable(benchmark::State& state) {
    const auto bundle = Math::FontRegistry::locateModuleBundle();
    const auto table = bundle ? Math::FontRegistry(*bundle / "mathFonts.bundle")
                                    .fontTable(Math::Font::Name::latinModern)
                              : nullptr;
    if (!table) {
        state.SkipWithError("table missing");
        return;
    }
    const std::string path = (*bundle / "mathFonts.bundle" / "latinmodern-math.otf").string();
    for (auto _ : state) {
        const auto face = platform::GlyphFace::fromFile(path);
        const Math::FontMetrics metrics(kFont, face->unitsPerEm(),
                                        Math::FontMetrics::index(table, face));
        benchmark::DoNotOptimize(metrics.italicCorrection(1));
        benchmark::DoNotOptimize(metrics.topAccentAdjustment(1));
        benchmark::DoNotOptimize(metrics.largerGlyph(1));
        benchmark::DoNotOptimize(metrics.verticalAssembly(1));
    }
}
BENCHMARK(BM_IndexFontTable)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

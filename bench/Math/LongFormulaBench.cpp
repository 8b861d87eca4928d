// Long formulas: typesetting time must grow with the formula's length, not with its square, and
// the shared cache must stay within its memory budget however many long formulas pass through.
//
//  - BM_TypesetSums: 100 KB of "a+b=" (100,000 atoms), without a width (one text run) and at 400
//    points, where it breaks into some thousands of lines; 25 KB beside it shows the time grows
//    with the length.
//  - BM_TypesetLetters: 100 KB of letters (one fused run of 100,000 characters) at 400 points, and
//    25 KB.
//  - BM_TypesetHeld: what the tree typeset from 100 KB of "a+b=" at 400 points, and of letters,
//    keeps on the heap, per byte of the formula's text ("held/input").
//  - BM_CacheBytesAfterLongFormulas: 60 distinct formulas of 100 KB (no width) through one
//    provider with its default limits; reports what the caches estimate they hold and how much
//    heap they really keep.

#include "Math/AtomList.hpp"
#include "Math/DisplayProvider.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <string>

namespace {

const Math::Font kFont(Math::Font::Name::latinModern, 20);
constexpr std::size_t kLength = 100 * 1024;

std::string repeated(const std::string& unit, std::size_t length) {
    std::string text;
    text.reserve(length + unit.size());
    while (text.size() < length) {
        text += unit;
    }
    return text;
}

std::string letters(std::size_t length) {
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char>('a' + (i * 7) % 26);
    }
    return text;
}

void typesetLong(benchmark::State& state, const std::string& latex, double width) {
    const auto parsed = Math::parseLatex(latex);
    const auto font = Math::PlatformFont::make(kFont);
    if (!parsed || !font) {
        state.SkipWithError("formula or font missing");
        return;
    }
    std::size_t nodes = 0;
    for (auto _ : state) {
        const auto root = Math::Typesetter::createLine(*Math::finalizedAtomList(*parsed), font,
                                                       Math::Style::Level::display, false, width);
        nodes = root ? root->children.size() : 0;
        benchmark::DoNotOptimize(root);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * latex.size()));
}

// Arguments: the width, then the length in KB.
void BM_TypesetSums(benchmark::State& state) {
    typesetLong(state, repeated("a+b=", static_cast<std::size_t>(state.range(1)) * 1024),
                static_cast<double>(state.range(0)));
}
BENCHMARK(BM_TypesetSums)->ArgsProduct({{0, 400}, {25, 100}})->Unit(benchmark::kMillisecond);

// Argument: the length in KB.
void BM_TypesetLetters(benchmark::State& state) {
    typesetLong(state, letters(static_cast<std::size_t>(state.range(0)) * 1024), 400);
}
BENCHMARK(BM_TypesetLetters)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);

// Argument: 0 for "a+b=", 1 for letters.
void BM_TypesetHeld(benchmark::State& state) {
    const std::string latex = state.range(0) == 0 ? repeated("a+b=", kLength) : letters(kLength);
    const auto parsed = Math::parseLatex(latex);
    const auto font = Math::PlatformFont::make(kFont);
    if (!parsed || !font) {
        state.SkipWithError("formula or font missing");
        return;
    }
    std::size_t held = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        const auto root = Math::Typesetter::createLine(*Math::finalizedAtomList(*parsed), font,
                                                       Math::Style::Level::display, false, 400);
        held = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(root);
    }
    state.counters["held/input"] = static_cast<double>(held) / static_cast<double>(latex.size());
}
BENCHMARK(BM_TypesetHeld)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_CacheBytesAfterLongFormulas(benchmark::State& state) {
    const std::string body = repeated("a+b=", kLength);
    for (auto _ : state) {
        const std::size_t heapBefore = mallinfo2().uordblks;
        std::size_t estimated = 0;
        std::size_t entries = 0;
        std::size_t heldHeap = 0;
        {
            Math::DisplayProvider provider;
            for (int i = 0; i < 60; ++i) {
                // Distinct texts: each is parsed and typeset anew.
                const auto root = provider.displayNode(body + std::to_string(i), kFont,
                                                       Math::Style::Level::display, 0);
                benchmark::DoNotOptimize(root);
            }
            estimated = provider.displayNodeBytes() + provider.atomListBytes();
            entries = provider.displayNodeCount();
            heldHeap = mallinfo2().uordblks - heapBefore;
        }
        state.counters["estimated_MB"] = static_cast<double>(estimated) / (1 << 20);
        state.counters["heap_MB"] = static_cast<double>(heldHeap) / (1 << 20);
        state.counters["root_entries"] = static_cast<double>(entries);
    }
}
BENCHMARK(BM_CacheBytesAfterLongFormulas)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

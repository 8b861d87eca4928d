// Long formulas: typesetting time must grow with the formula's length, not with its square, and
// the shared cache must stay within its memory budget however many long formulas pass through.
//
//  - BM_TypesetSums: 100 KB of "a+b=" (100,000 atoms), without a width (one text run) and at 400
//    points, where it breaks into some thousands of lines; 25 KB beside it shows the time grows
//    with the length.
//  - BM_TypesetLetters: 100 KB of letters (one fused run of 100,000 characters) at 400 points, and
//    25 KB.
//  - BM_TypesetHeld: what the tree typeset from 100 KB of "a+b=" at 400 points, and of letters,
//    keeps resident, per byte of the formula's text ("held/input"), and how far the typesetting
//    took the process's resident memory above what it held before ("peak/input").
//  - BM_CacheBytesAfterLongFormulas: 60 distinct formulas of 100 KB (no width) through one
//    provider with its default limits; reports what the caches estimate they hold and how much
//    resident memory the process holds more while the provider lives.
//
// The memory cases run in a process of their own (this program again, with --memory-case) and
// read its resident memory from the kernel: the program's allocator (mimalloc) hands out memory
// that the C library's heap statistics never see.

#include "Math/AtomList.hpp"
#include "Math/DisplayProvider.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "bench/support/ChildMeasure.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <optional>
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

// In the measuring process: the typeset tree of "a+b=" (0) or of letters (1), kept while the
// resident memory is read.
int typesetHeld(int which) {
    const std::string latex = which == 0 ? repeated("a+b=", kLength) : letters(kLength);
    const auto parsed = Math::parseLatex(latex);
    const auto font = Math::PlatformFont::make(kFont);
    if (!parsed || !font) {
        return 1;
    }
    const long before = bench::residentKilobytes();
    const auto root = Math::Typesetter::createLine(*Math::finalizedAtomList(*parsed), font,
                                                   Math::Style::Level::display, false, 400);
    benchmark::DoNotOptimize(root);
    const auto input = static_cast<double>(latex.size());
    bench::report("held/input", double(bench::residentKilobytes() - before) * 1024 / input);
    bench::report("peak/input", double(bench::peakResidentKilobytes() - before) * 1024 / input);
    return bench::finishChild();
}

// In the measuring process: 60 long formulas through one provider.
int cacheHeld() {
    const std::string body = repeated("a+b=", kLength);
    const long before = bench::residentKilobytes();
    Math::DisplayProvider provider;
    for (int i = 0; i < 60; ++i) {
        // Distinct texts: each is parsed and typeset anew.
        const auto root =
            provider.displayNode(body + std::to_string(i), kFont, Math::Style::Level::display, 0);
        benchmark::DoNotOptimize(root);
    }
    bench::report("estimated_MB",
                  double(provider.displayNodeBytes() + provider.atomListBytes()) / (1 << 20));
    bench::report("resident_MB", double(bench::residentKilobytes() - before) / 1024);
    bench::report("root_entries", double(provider.displayNodeCount()));
    return bench::finishChild();
}

void BM_TypesetHeld(benchmark::State& state) {
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--memory-case", "held", std::to_string(state.range(0))});
        if (!result) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        for (const auto& [name, value] : result->values) {
            state.counters[name] = value;
        }
    }
}
BENCHMARK(BM_TypesetHeld)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CacheBytesAfterLongFormulas(benchmark::State& state) {
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--memory-case", "cache", "0"});
        if (!result) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        for (const auto& [name, value] : result->values) {
            state.counters[name] = value;
        }
    }
}
BENCHMARK(BM_CacheBytesAfterLongFormulas)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--memory-case") == 0) {
        return std::strcmp(argv[2], "cache") == 0 ? cacheHeld() : typesetHeld(std::atoi(argv[3]));
    }
    return bench::runBenchmarks(argc, argv);
}

// Resolving list markers and component styles the way the block views do, once per item.

#include "Vellum/Ordinal.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>

namespace {

// The text of 1,000 ordered-list markers in each numbering system.
void BM_OrdinalText(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int64_t n = 1; n <= 1000; ++n) {
            benchmark::DoNotOptimize(vellum::decimalOrdinal(n));
            benchmark::DoNotOptimize(vellum::upperRomanOrdinal(n));
            benchmark::DoNotOptimize(vellum::lowerRomanOrdinal(n));
            benchmark::DoNotOptimize(vellum::lowerAlphaOrdinal(n));
        }
    }
}
BENCHMARK(BM_OrdinalText);

} // namespace

BENCHMARK_MAIN();

// Parsing speed over a corpus of realistic formulas (one per line), plus finalising and writing
// the parsed lists. Reports time per formula.

#include "Math/AtomList.hpp"
#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"

#include <benchmark/benchmark.h>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::vector<std::string>& corpus() {
    static const std::vector<std::string> formulas = [] {
        std::vector<std::string> lines;
        std::ifstream file(MATH_FORMULA_CORPUS);
        for (std::string line; std::getline(file, line);) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        return lines;
    }();
    return formulas;
}

std::vector<std::shared_ptr<Math::AtomList>> parsedCorpus() {
    std::vector<std::shared_ptr<Math::AtomList>> lists;
    for (const auto& formula : corpus()) {
        if (auto list = Math::parseLatex(formula)) {
            lists.push_back(std::move(list));
        }
    }
    return lists;
}

void setPerFormula(benchmark::State& state, std::size_t count) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    // Seconds per formula (printed with an SI prefix, e.g. "2.5u" for 2.5 microseconds).
    state.counters["per_formula"] =
        benchmark::Counter(static_cast<double>(state.iterations() * count),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ParseCorpus(benchmark::State& state) {
    const auto& formulas = corpus();
    if (formulas.empty()) {
        state.SkipWithError("formula corpus not found");
        return;
    }
    for (auto _ : state) {
        for (const auto& formula : formulas) {
            benchmark::DoNotOptimize(Math::parseLatex(formula));
        }
    }
    setPerFormula(state, formulas.size());
}
BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMicrosecond);

void BM_FinalizeCorpus(benchmark::State& state) {
    const auto lists = parsedCorpus();
    for (auto _ : state) {
        for (const auto& list : lists) {
            benchmark::DoNotOptimize(Math::finalizedAtomList(*list));
        }
    }
    setPerFormula(state, lists.size());
}
BENCHMARK(BM_FinalizeCorpus)->Unit(benchmark::kMicrosecond);

void BM_SerializeCorpus(benchmark::State& state) {
    const auto lists = parsedCorpus();
    for (auto _ : state) {
        for (const auto& list : lists) {
            benchmark::DoNotOptimize(Math::serializeAtomList(list));
        }
    }
    setPerFormula(state, lists.size());
}
BENCHMARK(BM_SerializeCorpus)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

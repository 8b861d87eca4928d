// A README of 20 KB with eight code blocks in eight languages (readme-eight-blocks.md), rendered
// whole as vellum-render renders it: parsed, laid out at 800 points, every block's tokens awaited
// and the page drawn. It runs in a process of its own (this program again, with --render), so
// that its memory is its own and its tokenizer starts cold, and reports:
// - "seconds": markup to the page drawn, the time of the case;
// - "workers": the highlighter's worker processes started;
// - "peakMB": the process's peak resident memory, read from the kernel;
// - "workersMB": the peak resident memory of its workers, added up;
// - "totalMB": the two together, what rendering the document takes of the machine.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "bench/support/ChildMeasure.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/ui/UI.hpp"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

namespace ui = platform::ui;

std::string readme() {
    std::ifstream file(std::string(MOSS_BENCH_DOCUMENTS) + "/highlighting/readme-eight-blocks.md",
                       std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The peak resident memory of this process's children (the workers), added up, in kilobytes.
long childrenPeakKilobytes() {
    long total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream children(task.path() / "children");
        for (long child = 0; children >> child;) {
            std::ifstream status("/proc/" + std::to_string(child) + "/status");
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("VmHWM:", 0) == 0) {
                    total += std::stol(line.substr(6));
                }
            }
        }
    }
    return total;
}

int render() {
    const std::string markdown = readme();
    if (markdown.empty()) {
        std::fprintf(stderr, "the README is missing\n");
        return 1;
    }
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    if (!tokenizer) {
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(markdown)).padding(24),
                           {800, std::nullopt});
    // Every block's answer, then whatever the answers set off.
    for (int round = 0; round < 100; ++round) {
        host.runUntil([&] { return tokenizer->pendingCount() == 0; }, std::chrono::minutes(1));
        host.runUntilIdle();
        if (tokenizer->pendingCount() == 0 && !host.graph().needsUpdate() &&
            platform::MainExecutor::shared().pendingCount() == 0) {
            break;
        }
    }
    const platform::Image page = host.render(1.0, platform::Color::white());
    benchmark::DoNotOptimize(page.pixels().data());
    bench::report("seconds",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bench::report("workers", double(tokenizer->workerStatistics().workersStarted));
    bench::report("workersMB", double(childrenPeakKilobytes()) / 1024);
    return bench::finishChild();
}

void BM_ReadmeWithEightCodeBlocks(benchmark::State& state) {
    for (auto _ : state) {
        // The workers' engine reserves far more address space than it uses: no limit on it.
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--render"}, std::int64_t{1} << 22);
        if (!result) {
            state.SkipWithError("the rendering process failed");
            return;
        }
        state.SetIterationTime(result->value("seconds"));
        state.counters["seconds"] = result->value("seconds");
        state.counters["workers"] = result->value("workers");
        state.counters["peakMB"] = result->peakMegabytes;
        state.counters["workersMB"] = result->value("workersMB");
        state.counters["totalMB"] = result->peakMegabytes + result->value("workersMB");
    }
}
BENCHMARK(BM_ReadmeWithEightCodeBlocks)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--render") == 0) {
        return render();
    }
    return bench::runBenchmarks(argc, argv);
}

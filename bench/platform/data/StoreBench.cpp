// Inserting and fetching 1,000 records of a bookmark-shaped model in a store file.

#include "platform/data/ModelContainer.hpp"
#include "platform/data/ModelContext.hpp"
#include "tests/platform/data/TestNote.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace {

using moss_test::TestNote;

constexpr int recordCount = 1000;

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "moss-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

platform::ModelContainer openStore(const std::filesystem::path& file) {
    return platform::ModelContainer(platform::Schema({&TestNote::entityDescription()}, {1, 0, 0}),
                                    platform::ModelConfiguration{file});
}

void fill(platform::ModelContext& context) {
    for (int i = 0; i < recordCount; ++i) {
        context.insert(TestNote::make(i % 2 == 0 ? "mcp" : "skill:openclaw",
                                      "Title " + std::to_string(i), std::nullopt,
                                      "payload-" + std::to_string(i)));
    }
}

// Each insert is its own committed transaction, as the window's bookmark button makes it.
void BM_Insert1000(benchmark::State& state) {
    TempFolder folder;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto container =
            openStore(folder.path() / ("insert-" + std::to_string(round++) + ".store"));
        state.ResumeTiming();
        fill(container.mainContext());
    }
    state.SetItemsProcessed(state.iterations() * recordCount);
}
BENCHMARK(BM_Insert1000)->Unit(benchmark::kMillisecond);

// All records, newest first, through a fresh context (no object cached yet).
void BM_FetchAll1000Sorted(benchmark::State& state) {
    TempFolder folder;
    auto container = openStore(folder.path() / "fetch.store");
    fill(container.mainContext());
    const platform::FetchDescriptor<TestNote> descriptor{
        .predicate = std::nullopt,
        .sortBy = {platform::SortDescriptor(TestNote::updatedAtKey, platform::SortOrder::reverse)}};
    for (auto _ : state) {
        platform::ModelContext context(container);
        auto notes = context.fetch(descriptor);
        benchmark::DoNotOptimize(notes.data());
    }
    state.SetItemsProcessed(state.iterations() * recordCount);
}
BENCHMARK(BM_FetchAll1000Sorted)->Unit(benchmark::kMicrosecond);

// The same fetch where every object is already in the context (the identity map hands them out).
void BM_RefetchAll1000Sorted(benchmark::State& state) {
    TempFolder folder;
    auto container = openStore(folder.path() / "refetch.store");
    fill(container.mainContext());
    const platform::FetchDescriptor<TestNote> descriptor{
        .predicate = std::nullopt,
        .sortBy = {platform::SortDescriptor(TestNote::updatedAtKey, platform::SortOrder::reverse)}};
    auto held = container.mainContext().fetch(descriptor);
    for (auto _ : state) {
        auto notes = container.mainContext().fetch(descriptor);
        benchmark::DoNotOptimize(notes.data());
    }
    state.SetItemsProcessed(state.iterations() * recordCount);
}
BENCHMARK(BM_RefetchAll1000Sorted)->Unit(benchmark::kMicrosecond);

// The bookmark button's question: is this kind and payload stored? (among 1,000 records)
void BM_FetchByKindAndPayload(benchmark::State& state) {
    TempFolder folder;
    auto container = openStore(folder.path() / "match.store");
    fill(container.mainContext());
    const platform::FetchDescriptor<TestNote> descriptor{
        .predicate = (TestNote::kindKey == "mcp") && (TestNote::payloadKey == "payload-500")};
    for (auto _ : state) {
        auto notes = container.mainContext().fetch(descriptor);
        benchmark::DoNotOptimize(notes.data());
    }
}
BENCHMARK(BM_FetchByKindAndPayload)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

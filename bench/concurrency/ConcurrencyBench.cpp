#include "concurrency/AsyncStreamAdapters.hpp"
#include "concurrency/LockIsolated.hpp"
#include "platform/runtime/Runtime.hpp"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

// The font cache's access pattern: a shared pointer guarded by the recursive lock.
void BM_LockIsolatedWithLockedValue(benchmark::State& state) {
    static concurrency::LockIsolated<std::shared_ptr<int>> cache(
        [] { return std::make_shared<int>(1); });
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            cache.withLockedValue([](std::shared_ptr<int>& value) { return *value; }));
    }
}
BENCHMARK(BM_LockIsolatedWithLockedValue)->Threads(1)->Threads(4);

struct Numbers {
    int count;
    struct Iterator {
        int next_ = 0;
        int count;
        platform::Task<std::optional<int>> next() {
            if (next_ == count) {
                co_return std::nullopt;
            }
            co_return next_++;
        }
    };
    Iterator makeAsyncIterator() const { return Iterator{0, count}; }
};

// Elements pulled through a stream made from a sequence (one serialised pull each).
void BM_StreamFromSequence(benchmark::State& state) {
    constexpr int count = 1000;
    for (auto _ : state) {
        auto body = []() -> platform::Task<long> {
            auto stream = concurrency::makeStreamFromSequence(Numbers{count});
            long sum = 0;
            while (auto element = co_await stream.next()) {
                sum += *element;
            }
            co_return sum;
        };
        benchmark::DoNotOptimize(platform::blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StreamFromSequence);

} // namespace

BENCHMARK_MAIN();

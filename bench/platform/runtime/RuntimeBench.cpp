#include "platform/runtime/Runtime.hpp"

#include <benchmark/benchmark.h>

using namespace platform;

namespace {

constexpr int batch = 1000;

Task<int> leaf(int value) {
    co_return value + 1;
}

class Echo : public Actor {
public:
    Task<int> echo(int value) {
        co_await hop();
        co_return value;
    }
};

// Awaiting a coroutine inside the same task: frame allocation plus symmetric transfer.
void BM_AwaitCoroutine(benchmark::State& state) {
    for (auto _ : state) {
        auto body = []() -> Task<int> {
            int sum = 0;
            for (int i = 0; i < batch; ++i) {
                sum += co_await leaf(i);
            }
            co_return sum;
        };
        benchmark::DoNotOptimize(blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_AwaitCoroutine);

// Starting an unstructured task on the pool and awaiting its value, one after another.
void BM_SpawnAndAwaitDetached(benchmark::State& state) {
    for (auto _ : state) {
        auto body = []() -> Task<int> {
            int sum = 0;
            for (int i = 0; i < batch; ++i) {
                auto child = Task<int>::detached([i]() -> Task<int> { co_return i; });
                sum += co_await child.value();
            }
            co_return sum;
        };
        benchmark::DoNotOptimize(blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_SpawnAndAwaitDetached)->UseRealTime();

// A pool task calling an actor method: hop onto the actor's serial executor and back.
void BM_ActorHopRoundTrip(benchmark::State& state) {
    auto actor = std::make_shared<Echo>();
    for (auto _ : state) {
        auto body = [actor]() -> Task<int> {
            co_await hopTo(GlobalExecutor::shared());
            int sum = 0;
            for (int i = 0; i < batch; ++i) {
                sum += co_await actor->echo(i);
            }
            co_return sum;
        };
        benchmark::DoNotOptimize(blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_ActorHopRoundTrip)->UseRealTime();

// A pool task hopping to the main executor and back; the benchmark thread is the main thread
// and pumps the main executor inside blockingWait.
void BM_MainExecutorRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        auto body = []() -> Task<int> {
            co_await hopTo(GlobalExecutor::shared());
            int count = 0;
            for (int i = 0; i < batch; ++i) {
                co_await MainActor::hop();
                co_await hopTo(GlobalExecutor::shared());
                ++count;
            }
            co_return count;
        };
        benchmark::DoNotOptimize(blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_MainExecutorRoundTrip)->UseRealTime();

// A continuation resumed from the callback thread itself (the common shape of bridged callbacks).
void BM_CheckedContinuation(benchmark::State& state) {
    for (auto _ : state) {
        auto body = []() -> Task<int> {
            co_await hopTo(GlobalExecutor::shared());
            int sum = 0;
            for (int i = 0; i < batch; ++i) {
                sum += co_await withCheckedContinuation<int>(
                    [i](Continuation<int> continuation) { continuation.resume(i); });
            }
            co_return sum;
        };
        benchmark::DoNotOptimize(blockingWait(body()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_CheckedContinuation)->UseRealTime();

// Elements through an AsyncStream from a producer thread to a consuming task.
void BM_AsyncStreamThroughput(benchmark::State& state) {
    for (auto _ : state) {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        auto consumer = Task<long>::detached([stream = stream]() -> Task<long> {
            long sum = 0;
            while (auto element = co_await stream.next()) {
                sum += *element;
            }
            co_return sum;
        });
        for (int i = 0; i < batch; ++i) {
            continuation.yield(i);
        }
        continuation.finish();
        benchmark::DoNotOptimize(blockingWait(consumer.value()));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_AsyncStreamThroughput)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

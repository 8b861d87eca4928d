// Highlighting 1,000 lines of code: tokenizing through the shared tokenizer (one request to a
// script worker process, the script's run there and the conversion of its reply), and turning the
// tokens into text with the default theme. Also how long input on which a grammar backtracks
// takes to come back plain: the request's time limit, and then a fresh worker for the next one.

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/highlighting/HighlightedText.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/runtime/Runtime.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using vellum::CodeToken;
using vellum::CodeTokenizer;

// `lines` lines of code made by repeating `block` with numbered names.
std::string repeated(const std::string& block, int lines) {
    std::string code;
    int count = 0;
    for (int copy = 0; count < lines; ++copy) {
        std::string text = block;
        for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
            text.replace(at, 1, std::to_string(copy));
        }
        for (const char c : text) {
            code += c;
            if (c == '\n' && ++count == lines) {
                break;
            }
        }
    }
    return code;
}

const std::string& cppCode() {
    static const std::string code = repeated(R"(#include <vector>
// Sums the weights of the items that pass.
template <class T>
class Accumulator@ : public Base {
public:
    explicit Accumulator@(std::vector<T> items) : items_(std::move(items)) {}
    [[nodiscard]] double total(const Filter& filter) const noexcept {
        double sum = 0.0;
        for (const T& item : items_) {
            if (filter.accepts(item) && item.weight > 0x1F) {
                sum += item.weight * 1.5e-3; /* scaled */
            }
        }
        return sum;
    }
private:
    std::vector<T> items_;
    static constexpr const char* name = "accumulator@";
};
)",
                                             1000);
    return code;
}

const std::string& javaScriptCode() {
    static const std::string code = repeated(R"(import { fetchJSON } from './net.js';
// Loads the records of one page and keeps the visible ones.
export async function loadPage@(page, { limit = 20 } = {}) {
    const url = `https://example.com/api?page=${page}&limit=${limit}`;
    const records = await fetchJSON(url);
    let visible = records.filter((r) => r.visible && !r.deleted);
    if (visible.length === 0) {
        return null;
    }
    const pattern = /^[a-z]+\d*$/i;
    visible = visible.map((record, index) => ({ ...record, index, ok: pattern.test(record.name) }));
    console.log('loaded', visible.length, 'of', records.length);
    return { page, visible, total: records.length * 1.0 };
}
class Cache@ extends Map {
    get size() { return super.size; }
}
)",
                                             1000);
    return code;
}

const std::shared_ptr<CodeTokenizer>& tokenizer(benchmark::State& state) {
    const std::shared_ptr<CodeTokenizer>& shared = CodeTokenizer::shared();
    if (!shared) {
        state.SkipWithError("no tokenizer: the highlighting script is missing");
    }
    return shared;
}

void tokenize(benchmark::State& state, const std::string& code, const char* language) {
    const std::shared_ptr<CodeTokenizer>& shared = tokenizer(state);
    if (!shared) {
        return;
    }
    std::size_t tokens = 0;
    for (auto _ : state) {
        const std::vector<CodeToken> result =
            platform::blockingWait(shared->tokenize(code, language));
        tokens = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["tokens"] = static_cast<double>(tokens);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(code.size()));
}

void attribute(benchmark::State& state, const std::string& code, const char* language) {
    const std::shared_ptr<CodeTokenizer>& shared = tokenizer(state);
    if (!shared) {
        return;
    }
    const std::vector<CodeToken> tokens = platform::blockingWait(shared->tokenize(code, language));
    const platform::AttributedString content(code);
    const vellum::TextEnvironmentValues environment;
    for (auto _ : state) {
        platform::AttributedString text =
            vellum::highlightCode(tokens, content[{content.startIndex(), content.endIndex()}],
                                  vellum::HighlighterTheme::defaultTheme(), environment);
        benchmark::DoNotOptimize(text);
    }
}

void BM_TokenizeCpp1000Lines(benchmark::State& state) {
    tokenize(state, cppCode(), "cpp");
}
void BM_TokenizeJavaScript1000Lines(benchmark::State& state) {
    tokenize(state, javaScriptCode(), "javascript");
}
void BM_AttributeCpp1000Lines(benchmark::State& state) {
    attribute(state, cppCode(), "cpp");
}
void BM_AttributeJavaScript1000Lines(benchmark::State& state) {
    attribute(state, javaScriptCode(), "javascript");
}

// 100 KB of markup on which the grammar backtracks for tens of seconds, until it comes back
// plain; then a small block, which waits for the replacement of the stopped worker.
void BM_BacktrackingMarkupToPlain(benchmark::State& state) {
    const std::shared_ptr<CodeTokenizer>& shared = tokenizer(state);
    if (!shared) {
        return;
    }
    std::string code;
    while (code.size() < 100'000) {
        code += "<a b=";
    }
    bool plain = true;
    for (auto _ : state) {
        const std::vector<CodeToken> result =
            platform::blockingWait(shared->tokenize(code, "markup"));
        plain = plain && result == vellum::plainCodeTokens(code);
        state.PauseTiming();
        benchmark::DoNotOptimize(platform::blockingWait(shared->tokenize("<a>", "markup")));
        state.ResumeTiming();
    }
    state.counters["plain"] = plain ? 1 : 0;
}

// The first small block of a new tokenizer: starting a worker process, which evaluates the whole
// script, then the request. What a block waits for after a worker was stopped.
void BM_FirstBlockOnANewTokenizer(benchmark::State& state) {
    if (!tokenizer(state)) {
        return;
    }
    for (auto _ : state) {
        const std::shared_ptr<CodeTokenizer> fresh =
            CodeTokenizer::make(vellum::locateResourceBundle(), platform::Logger::disabled());
        benchmark::DoNotOptimize(platform::blockingWait(fresh->tokenize("int x;", "cpp")));
    }
}

BENCHMARK(BM_TokenizeCpp1000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenizeJavaScript1000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttributeCpp1000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttributeJavaScript1000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BacktrackingMarkupToPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstBlockOnANewTokenizer)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

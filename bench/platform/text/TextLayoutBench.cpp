// Paragraph layout of 100 KB of text at a fixed width, as plain text and as attributed runs, at
// several widths in a row (what resizing a window asks), of right-to-left text, the memory laid-out
// paragraphs hold, and the shaping of short math runs.

#include "bench/support/ChildMeasure.hpp"
#include "platform/text/GlyphFont.hpp"
#include "platform/text/TextLayout.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace platform;

constexpr std::size_t kTextSize = 100 * 1024;

/// Prose-like text: words of varying length, a paragraph break every ~600 characters.
std::string sampleText() {
    static const char* const words[] = {"layout", "the",  "of",       "paragraph", "glyph",
                                        "a",      "text", "wrapping", "measures",  "line",
                                        "width",  "and",  "font",     "baseline",  "runs"};
    std::string text;
    std::size_t i = 0;
    while (text.size() < kTextSize) {
        text += words[(i * 7 + i / 3) % std::size(words)];
        text += (i % 97 == 96) ? ".\n" : (i % 11 == 10 ? ", " : " ");
        ++i;
    }
    text.resize(kTextSize);
    return text;
}

void layoutPlain(benchmark::State& state) {
    const StyledText text(sampleText());
    const ParagraphStyle style{.width = 480};
    std::size_t lines = 0;
    for (auto _ : state) {
        const TextLayout layout(text, style);
        lines = layout.lines().size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTextSize));
}
BENCHMARK(layoutPlain)->Unit(benchmark::kMillisecond);

void layoutOneParagraph(benchmark::State& state) {
    // The same text with its paragraph breaks turned into spaces: one 100 KB paragraph.
    std::string all = sampleText();
    std::replace(all.begin(), all.end(), '\n', ' ');
    const StyledText text(all);
    const ParagraphStyle style{.width = 480};
    for (auto _ : state) {
        const TextLayout layout(text, style);
        benchmark::DoNotOptimize(layout.lines().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTextSize));
}
BENCHMARK(layoutOneParagraph)->Unit(benchmark::kMillisecond);

void layoutAttributed(benchmark::State& state) {
    // A run change every 40 bytes (at a word boundary), cycling through bold, colour and code.
    const std::string all = sampleText();
    StyledText text;
    std::size_t start = 0;
    std::size_t n = 0;
    while (start < all.size()) {
        std::size_t end = all.find(' ', std::min(start + 40, all.size()));
        end = end == std::string::npos ? all.size() : end;
        TextAttributes attributes;
        switch (n++ % 4) {
        case 1:
            attributes.font = Font::body().bold();
            break;
        case 2:
            attributes.foregroundColor = Color(0.8, 0.1, 0.1);
            break;
        case 3:
            attributes.font = Font::body().monospaced();
            break;
        default:
            break;
        }
        text.append(std::string_view(all).substr(start, end - start), attributes);
        start = end;
    }
    const ParagraphStyle style{.width = 480};
    for (auto _ : state) {
        const TextLayout layout(text, style);
        benchmark::DoNotOptimize(layout.lines().size());
    }
    state.counters["runs"] = static_cast<double>(text.runs().size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTextSize));
}
BENCHMARK(layoutAttributed)->Unit(benchmark::kMillisecond);

void layoutAtSeveralWidths(benchmark::State& state) {
    // Words already shaped at one width serve every other width.
    const StyledText text(sampleText());
    for (auto _ : state) {
        for (const double width : {320.0, 400.0, 480.0, 560.0, 640.0}) {
            const TextLayout layout(text, ParagraphStyle{.width = width});
            benchmark::DoNotOptimize(layout.lines().size());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTextSize * 5));
}
BENCHMARK(layoutAtSeveralWidths)->Unit(benchmark::kMillisecond);

void layoutRightToLeft(benchmark::State& state) {
    // The same text with every word followed by a Hebrew one: bidirectional lines, laid out by
    // Pango.
    std::string text;
    for (const char c : sampleText().substr(0, kTextSize / 4)) {
        text += c == ' ' ? " \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D " : std::string(1, c);
    }
    const StyledText styled(text);
    const ParagraphStyle style{.width = 480};
    for (auto _ : state) {
        const TextLayout layout(styled, style);
        benchmark::DoNotOptimize(layout.lines().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(layoutRightToLeft)->Unit(benchmark::kMillisecond);

/// The memory a laid-out document holds: the sample's paragraphs each laid out on its own (as a
/// document lays out per block), plain (from word shapes) or with a Hebrew word after every
/// English one (by Pango), and kept. Counted in resident bytes per glyph, the shape cache already
/// warm so that only the layouts count, in a process of its own (this program again, with
/// --memory-case): the program's allocator (mimalloc) hands out memory that the C library's heap
/// statistics never see.
int memoryHeldByLayoutsChild(bool rightToLeft) {
    std::vector<StyledText> paragraphs;
    std::string all = sampleText();
    if (rightToLeft) {
        std::string mixed;
        for (const char c : all.substr(0, kTextSize / 4)) {
            mixed += c == ' ' ? " \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D " : std::string(1, c);
        }
        all = std::move(mixed);
    }
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = std::min(all.find('\n', start), all.size());
        paragraphs.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    const ParagraphStyle style{.width = 480};
    for (const StyledText& p : paragraphs) {
        benchmark::DoNotOptimize(TextLayout(p, style).lines().size());
    }
    const long before = bench::residentKilobytes();
    std::vector<TextLayout> layouts;
    layouts.reserve(paragraphs.size());
    for (const StyledText& p : paragraphs) {
        layouts.emplace_back(p, style);
    }
    const long held = bench::residentKilobytes() - before;
    std::size_t glyphs = 0;
    for (const TextLayout& layout : layouts) {
        for (const TextLayout::Line& line : layout.lines()) {
            for (const TextLayout::Run& run : line.runs) {
                glyphs += run.slices.size();
            }
        }
    }
    bench::report("bytesPerGlyph", static_cast<double>(held) * 1024 /
                                       static_cast<double>(std::max<std::size_t>(glyphs, 1)));
    return bench::finishChild();
}

void memoryHeldByLayouts(benchmark::State& state) {
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--memory-case", std::to_string(state.range(0))});
        if (!result || !result->values.contains("bytesPerGlyph")) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        state.counters["bytesPerGlyph"] = result->values.at("bytesPerGlyph");
    }
}
BENCHMARK(memoryHeldByLayouts)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

/// `letters` letters without a break opportunity between them, a different word for each `seed`.
std::string longWord(std::size_t letters, std::size_t seed = 0) {
    std::string word;
    word.reserve(letters);
    for (std::size_t i = 0; i < letters; ++i) {
        word += static_cast<char>('a' + (i * 7 + i / 5 + seed) % 26);
    }
    return word;
}

void layoutLongWord(benchmark::State& state) {
    // One word with no break opportunity at a phone's width (a pasted hash, a URL without
    // slashes): it is broken between letters, so its cost must grow with its length only.
    const StyledText text(longWord(static_cast<std::size_t>(state.range(0))));
    const ParagraphStyle style{.width = 360};
    std::size_t lines = 0;
    for (auto _ : state) {
        const TextLayout layout(text, style);
        lines = layout.lines().size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(layoutLongWord)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void layoutLongWordFirstTime(benchmark::State& state) {
    // The same, with a word the shape cache has not seen in each iteration.
    const auto letters = static_cast<std::size_t>(state.range(0));
    std::size_t seed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const StyledText text(longWord(letters, ++seed));
        state.ResumeTiming();
        const TextLayout layout(text, ParagraphStyle{.width = 360});
        benchmark::DoNotOptimize(layout.lines().size());
    }
}
// Fewer iterations than the 26 words the seed gives.
BENCHMARK(layoutLongWordFirstTime)->Arg(100000)->Iterations(20)->Unit(benchmark::kMillisecond);

void shapeMathRun(benchmark::State& state) {
    const auto face =
        GlyphFace::fromFile("/usr/share/texmf/fonts/opentype/public/lm-math/latinmodern-math.otf");
    if (!face) {
        state.SkipWithError("Latin Modern Math is not installed");
        return;
    }
    const GlyphFont font(face, 12);
    for (auto _ : state) {
        benchmark::DoNotOptimize(font.shape("sin(x)+cos(y)=1").width);
    }
}
BENCHMARK(shapeMathRun);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--memory-case") == 0) {
        return memoryHeldByLayoutsChild(std::strcmp(argv[2], "0") != 0);
    }
    return bench::runBenchmarks(argc, argv);
}

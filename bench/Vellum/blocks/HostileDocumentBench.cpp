// The shapes of document that make a document view slow or hungry, each about a megabyte of
// markdown, shown as a window shows them: parsed, then the lazy block stack laid out for an
// 800 × 600 visible window at the top, and that screen drawn. Every shape runs in a process of
// its own (this program again, with --show-shape), which reports:
// - "seconds": markup to the first screen drawn, the time of the case;
// - "cpu": the processor time of all the process's threads over the same span, steadier than
//   the time on a busy machine;
// - "parse": the parse alone (done once before, on its own), part of that;
// - "settled": the time until nothing more came in for a while (formulas and emoji load after
//   the first update), quiet time left out;
// - "peakMB": the process's peak resident memory, the program itself included (a tiny document
//   shows what that is), read from the kernel, so that every allocator counts.
// A shape that runs out of the child's address-space limit (8 GB) is reported as an error.

#include "Vellum/blocks/StructuredText.hpp"
#include "bench/support/ChildMeasure.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/ui/UI.hpp"

#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace ui = platform::ui;

constexpr platform::Size screen{800, 600};
constexpr std::size_t megabyte = 1 << 20;

enum Shape : int {
    tiny,
    listItems,
    tableRows,
    columns10k,
    columns1k,
    zwjFamilies,
    zwjChain,
    inlineFormulas,
    sumFormula,
    scriptFormula,
    nestedQuotes,
    failedFormulas,
    hebrewFailedFormulas,
    hebrewFormulas,
    peopleChain,
    familyChains,
    shapeCount
};

constexpr std::array<const char*, shapeCount> names = {"tiny document",
                                                       "100k list items",
                                                       "100k table rows",
                                                       "10,000 columns",
                                                       "1,000 columns",
                                                       "ZWJ families, no spaces",
                                                       "one ZWJ chain",
                                                       "line of '$x$ '",
                                                       "display formula of sums",
                                                       "display formula of scripts",
                                                       "100 KB nested quotes",
                                                       "line of '$\\frac{$ '",
                                                       "Hebrew, line of '$\\frac{$ '",
                                                       "Hebrew, line of '$x$ '",
                                                       "one ZWJ chain of people",
                                                       "ZWJ chains of 100 families"};

// A table of `columns` columns, rows added until the text is a megabyte.
std::string wideTable(int columns) {
    std::string row = "|";
    std::string rule = "|";
    for (int column = 0; column < columns; ++column) {
        row += " c" + std::to_string(column % 10) + " |";
        rule += "---|";
    }
    std::string text = row + "\n" + rule + "\n";
    while (text.size() < megabyte) {
        text += row + "\n";
    }
    return text;
}

// `piece` repeated until the text is a megabyte.
std::string repeated(const std::string& prefix, const std::string& piece,
                     const std::string& suffix) {
    std::string text = prefix;
    while (text.size() < megabyte) {
        text += piece;
    }
    return text + suffix;
}

std::string shapeText(int shape) {
    switch (shape) {
    case tiny:
        return "# A note\n\nA short paragraph with *emphasis*, a [link](a.md) and $x^2$.\n\n"
               "- one\n- two\n";
    case listItems: {
        std::string text;
        for (int item = 0; item < 100'000; ++item) {
            text += "- item " + std::to_string(item % 100) + "\n";
        }
        return text;
    }
    case tableRows: {
        std::string text = "| a | b |\n|---|---|\n";
        for (int row = 0; row < 100'000; ++row) {
            text += "| x" + std::to_string(row % 10) + " | y |\n";
        }
        return text;
    }
    case columns10k:
        return wideTable(10'000);
    case columns1k:
        return wideTable(1'000);
    case zwjFamilies:
        // Man, woman, girl, boy joined into one family, family after family without a space:
        // one word of a megabyte that breaks only between the families.
        return repeated("", "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", "\n");
    case zwjChain:
        // Thumbs up joined to the next one, with no end: a single cluster of a megabyte.
        return repeated("", "\U0001F44D\u200D", "\U0001F44D\n");
    case inlineFormulas:
        return repeated("", "$x$ ", "\n");
    case sumFormula:
        return repeated("$$\n", "\\sum_{i=0}^{n} x_i + ", "1\n$$\n");
    case scriptFormula:
        return repeated("$$\n", "x_{i}^{2} + ", "1\n$$\n");
    case nestedQuotes:
        return std::string(100'000, '>') + " deep\n";
    case failedFormulas:
        // Formulas that do not parse, each set as an empty box: a paragraph of over a hundred
        // thousand boxes that take no room.
        return repeated("", "$\\frac{$ ", "\n");
    case hebrewFailedFormulas:
        // The same after one Hebrew word, which gives the paragraph to Pango.
        return repeated("\u05E9\u05DC\u05D5\u05DD ", "$\\frac{$ ", "\n");
    case hebrewFormulas:
        return repeated("\u05E9\u05DC\u05D5\u05DD ", "$x$ ", "\n");
    case peopleChain:
        // Man joined to man: every one of them may start a family, which the emoji face tries.
        return repeated("", "\U0001F468\u200D", "\U0001F468\n");
    case familyChains: {
        // A hundred families joined into one cluster, then a space.
        const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
        std::string chain = family;
        for (int k = 1; k < 100; ++k) {
            chain += "\u200D" + family;
        }
        return repeated("", chain + " ", "\n");
    }
    default:
        return {};
    }
}

void drawScreen(const ui::ViewGraph& graph, platform::ImageSurface& surface) {
    platform::GraphicsContext context(surface);
    context.fill(platform::Rect({0, 0}, screen), platform::Color::gray(1));
    context.clip(platform::Rect({0, 0}, screen));
    graph.draw(context);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time of the process so far, all its threads.
double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The child: shows `text` and reports.
int show(const std::string& text) {
    using Clock = std::chrono::steady_clock;
    platform::ImageSurface surface = platform::ImageSurface::ofSize(screen);
    const auto start = Clock::now();
    {
        const vellum::AttributedStringMarkdownParser parser =
            vellum::AttributedStringMarkdownParser::markdown();
        const platform::AttributedString parsed = vellum::StructuredText::parse(parser, text);
        benchmark::DoNotOptimize(&parsed);
        bench::report("parse", secondsSince(start));
    }
    const auto shown = Clock::now();
    const double processorAtStart = processorSeconds();
    ui::OffscreenHost host(ui::AnyView(vellum::StructuredText(text)), {screen.width, std::nullopt});
    host.setVisibleRect(platform::Rect({0, 0}, screen));
    host.runUntilIdle(std::chrono::minutes(10));
    drawScreen(host.graph(), surface);
    // The view parses the markup again itself: its time is the case's.
    bench::report("seconds", secondsSince(shown));
    bench::report("cpu", processorSeconds() - processorAtStart);

    // Formulas and emoji come in after the first update; the screen settles when nothing more
    // has come for a quarter of a second (bounded, should something keep coming).
    constexpr auto quiet = std::chrono::milliseconds(250);
    int quietRounds = 0;
    for (int round = 0; round < 100; ++round) {
        host.runUntilIdle(std::chrono::minutes(10));
        ++quietRounds;
        if (!host.runUntil([&] { return host.graph().needsUpdate(); }, quiet)) {
            break;
        }
    }
    drawScreen(host.graph(), surface);
    bench::report("settled",
                  secondsSince(shown) - std::chrono::duration<double>(quiet).count() * quietRounds);
    bench::report("height", host.graph().size().height);
    return bench::finishChild();
}

void hostileFirstScreen(benchmark::State& state) {
    const int shape = int(state.range(0));
    state.SetLabel(names.at(std::size_t(shape)));
    for (auto _ : state) {
        const std::optional<bench::ChildResult> result =
            bench::runChild({"--show-shape", std::to_string(shape)});
        if (!result) {
            state.SkipWithError("the showing process failed or ran out of its memory limit");
            return;
        }
        state.SetIterationTime(result->value("seconds"));
        state.counters["seconds"] = result->value("seconds");
        state.counters["cpu"] = result->value("cpu");
        state.counters["parse"] = result->value("parse");
        state.counters["settled"] = result->value("settled");
        state.counters["peakMB"] = result->peakMegabytes;
    }
}
BENCHMARK(hostileFirstScreen)
    ->DenseRange(0, shapeCount - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--show-shape") == 0) {
        return show(shapeText(std::atoi(argv[2])));
    }
    // Any markdown file shown the same way, for looking into a shape met elsewhere.
    if (argc == 3 && std::strcmp(argv[1], "--show-file") == 0) {
        std::ifstream file(argv[2], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        return show(
            std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    }
    return bench::runBenchmarks(argc, argv);
}

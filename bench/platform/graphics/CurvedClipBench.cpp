// Drawing a screen of code inside a rounded panel, as the document views show code blocks: the
// panel clips its background and thirty lines of monospaced text to its rounded corners. Every
// line lies where the rounding changes nothing, so the cost should be that of the glyphs, not of
// the clip. And a code block three screens tall drawn screen after screen, as a reader scrolls
// through it: each screen should cost the lines it shows, not the whole block.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayout.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <string>

namespace {

using namespace platform;

TextLayout codeScreen(int lines = 30) {
    StyledText text;
    const TextAttributes code{.font = Font::body().monospaced()};
    const TextAttributes keyword{.font = Font::body().monospaced(),
                                 .foregroundColor = Color(0.6, 0.1, 0.5)};
    for (int line = 0; line < lines; ++line) {
        text.append("    static constexpr ", keyword);
        text.append("Weight weight" + std::to_string(line) + "() { return {-0." +
                        std::to_string(line % 10) + "}; } // ultraLight to black\n",
                    code);
    }
    return TextLayout(text, ParagraphStyle{});
}

void drawCodePanel(benchmark::State& state) {
    const TextLayout lines = codeScreen();
    ImageSurface surface = ImageSurface::ofSize({800, 600});
    for (auto _ : state) {
        GraphicsContext context(surface);
        context.fill(Rect(0, 0, 800, 600), Color::white());
        context.save();
        context.clip(
            Path::roundedRect(Rect(24.5, 10.25, 751, 580), 6, RoundedCornerStyle::continuous));
        context.fill(Rect(24.5, 10.25, 751, 580), Color(0.96, 0.97, 0.98));
        lines.draw(context, {38.5, 18.25}, Color(0.1, 0.1, 0.1));
        context.restore();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(drawCodePanel)->Unit(benchmark::kMicrosecond);

void drawTallCodeByScreens(benchmark::State& state) {
    const TextLayout lines = codeScreen(90);
    const double height = lines.size().height + 16;
    ImageSurface surface = ImageSurface::ofSize({800, 600});
    for (auto _ : state) {
        for (double top = 0; top < height; top += 600) {
            GraphicsContext context(surface);
            context.fill(Rect(0, 0, 800, 600), Color::white());
            context.translateBy(0, -top);
            context.save();
            context.clip(Path::roundedRect(Rect(24.5, 0.25, 751, height), 6,
                                           RoundedCornerStyle::continuous));
            context.fill(Rect(24.5, 0.25, 751, height), Color(0.96, 0.97, 0.98));
            lines.draw(context, {38.5, 8.25}, Color(0.1, 0.1, 0.1));
            context.restore();
        }
        benchmark::ClobberMemory();
    }
    state.counters["screens"] = std::ceil(height / 600);
}
BENCHMARK(drawTallCodeByScreens)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

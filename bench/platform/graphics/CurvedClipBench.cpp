// Drawing a screen of code inside a rounded panel, as the document views show code blocks: the
// panel clips its background and thirty lines of monospaced text to its rounded corners. Every
// line lies where the rounding changes nothing, so the cost should be that of the glyphs, not of
// the clip.

#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/text/TextLayout.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using namespace platform;

TextLayout codeScreen() {
    StyledText text;
    const TextAttributes code{.font = Font::body().monospaced()};
    const TextAttributes keyword{.font = Font::body().monospaced(),
                                 .foregroundColor = Color(0.6, 0.1, 0.5)};
    for (int line = 0; line < 30; ++line) {
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

} // namespace

BENCHMARK_MAIN();

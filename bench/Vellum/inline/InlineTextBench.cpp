// InlineText from markup to pixels: a paragraph with five formulas and three emoji, parsed,
// resolved, styled, laid out at 480 points and drawn at 2x. The first case pays for everything
// (a new view each time); the second redraws a view already laid out; the third changes the
// markup of a live view, which re-parses and lays out again while caches stay warm.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

namespace ui = platform::ui;
using vellum::AnyAttachment;
using Parser = vellum::AttributedStringMarkdownParser;

const std::string markup =
    "The *energy* of a **particle** at rest is $E = mc^2$ :sparkles:, its momentum $p = mv$ and "
    "the ratio $\\frac{v}{c}$ stays below one; see [the notes](https://example.com/notes) for "
    "`details` :rocket:. Summing $\\sum_{i=1}^{n} x_i$ over the sample gives "
    "$\\sqrt{a^2 + b^2}$ as the length :smile:.";

// Emoji pictures at hand, so that the measure is of the view, not of a download.
class PictureLoader final : public vellum::AttachmentLoader {
public:
    PictureLoader() {
        image_.frames.push_back(
            {platform::Image(16, 16, std::vector<std::uint32_t>(256, 0xffffaa00u)), 0});
        image_.size = {16, 16};
    }
    platform::Task<AnyAttachment>
    attachment(platform::URL /*url*/, std::string text,
               vellum::ColorEnvironmentValues /*env*/) const override {
        co_return AnyAttachment(vellum::EmojiAttachment(image_, text));
    }

private:
    vellum::Image image_;
};

std::vector<Parser::SyntaxExtension> extensions() {
    Parser::PatternOptions options;
    for (const char* name : {"sparkles", "rocket", "smile"}) {
        options.emoji.insert(
            {name, *platform::URL::fromString(std::string("https://example.com/") + name)});
    }
    options.mathExpressions = true;
    return Parser::syntaxExtensions(options);
}

// The view and a flag raised once all eight attachments have their boxes.
struct Harness {
    std::shared_ptr<int> boxes = std::make_shared<int>(0);
    ui::AnyView view(const std::string& text) const {
        static const auto loader = std::make_shared<const PictureLoader>();
        static const std::vector<Parser::SyntaxExtension> syntax = extensions();
        return ui::AnyView(vellum::InlineText(text, std::nullopt, syntax))
            .environment<vellum::EmojiAttachmentLoaderKey>(loader)
            .frame(480)
            .onPreferenceChange<ui::Text::LayoutKey>([boxes = boxes](const auto& layouts) {
                int count = 0;
                for (const auto& anchored : layouts) {
                    for (const auto& line : anchored.layout.lines()) {
                        for (const auto& run : line.runs) {
                            count += run.isInlineBox ? 1 : 0;
                        }
                    }
                }
                *boxes = count;
            });
    }
};

void InlineTextMarkupToPixels(benchmark::State& state) {
    for (auto _ : state) {
        const Harness harness;
        ui::OffscreenHost host(harness.view(markup));
        host.runUntil([&] { return *harness.boxes == 8; });
        if (*harness.boxes != 8) {
            state.SkipWithError("attachments did not resolve");
            return;
        }
        benchmark::DoNotOptimize(host.render(2.0, platform::Color::white()));
    }
}
BENCHMARK(InlineTextMarkupToPixels)->Unit(benchmark::kMillisecond);

void InlineTextRedraw(benchmark::State& state) {
    const Harness harness;
    ui::OffscreenHost host(harness.view(markup));
    host.runUntil([&] { return *harness.boxes == 8; });
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.render(2.0, platform::Color::white()));
    }
}
BENCHMARK(InlineTextRedraw)->Unit(benchmark::kMillisecond);

void InlineTextMarkupChange(benchmark::State& state) {
    const Harness harness;
    ui::OffscreenHost host(harness.view(markup));
    host.runUntil([&] { return *harness.boxes == 8; });
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        *harness.boxes = 0;
        host.setRootView(harness.view(flip ? markup + " Again." : markup));
        host.runUntil([&] { return *harness.boxes == 8; });
        benchmark::DoNotOptimize(host.render(2.0, platform::Color::white()));
    }
}
BENCHMARK(InlineTextMarkupChange)->Unit(benchmark::kMillisecond);

// Many short styled runs (`*a* b ` repeated) up to the given size in bytes: the text builder
// appends run after run, so this shows whether building stays linear in the runs.
void InlineTextStyledRuns(benchmark::State& state) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) {
        text += "*a* b ";
    }
    for (auto _ : state) {
        ui::OffscreenHost host(ui::AnyView(vellum::InlineText(text)).frame(480));
        benchmark::DoNotOptimize(host.render(1.0, platform::Color::white()));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(InlineTextStyledRuns)
    ->Arg(25'000)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();

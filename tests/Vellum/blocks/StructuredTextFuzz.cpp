// libFuzzer target: arbitrary bytes as a document through StructuredText, laid out and drawn
// offscreen. The first two bytes choose the width (1 to 1600 points), the third the style set and
// the appearance; the rest is the markdown, with formulas and one custom emoji on. Images and
// emoji come from a loader that hands out one small picture, so no input reaches the network.
// Whatever the input, the document must lay out to a finite, non-negative size and draw without
// failing; a crash, a hang or runaway memory is a find.
//
// Code in a named language is coloured by the shared tokenizer, whose worker processes serve
// requests in arrival order; each input waits for its own requests to be taken before the next,
// so that the queue cannot grow without bound while the fuzzer runs at full speed (the tokenizer
// is fuzzed on its own).
//
// Built into the test program as well, where it runs over the seed inputs and the hostile
// documents that once broke it.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/ImageAttachment.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/UI.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace ui = platform::ui;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

vellum::Image picture() {
    std::vector<std::uint32_t> pixels(std::size_t{12} * 8, 0xff3a8254u);
    vellum::Image image;
    image.frames.push_back({platform::Image(12, 8, std::move(pixels)), 0});
    image.size = {12, 8};
    return image;
}

template <class A>
class PictureLoader final : public vellum::AttachmentLoader {
public:
    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL /*url*/, std::string text,
               vellum::ColorEnvironmentValues /*environment*/) const override {
        co_return vellum::AnyAttachment(A(picture(), std::move(text)));
    }
};

const std::vector<vellum::AttributedStringMarkdownParser::SyntaxExtension>& extensions() {
    static const auto* const list = [] {
        vellum::AttributedStringMarkdownParser::PatternOptions options;
        options.mathExpressions = true;
        options.emoji = {
            vellum::Emoji{"moss", *platform::URL::fromString("https://example.com/moss.png")}};
        return new std::vector(vellum::AttributedStringMarkdownParser::syntaxExtensions(options));
    }();
    return *list;
}

// Waits, within a bound, until the tokenizer has taken every request made so far: its queue is
// served in order, so a request of our own is answered only after those before it were taken up.
void drainTokenizer() {
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    if (!tokenizer) {
        return;
    }
    const auto answered = std::make_shared<std::atomic<bool>>(false);
    // The answer arrives off the main thread; a job of its own wakes the main loop for it.
    auto marker = platform::Task<void>::run([tokenizer, answered]() -> platform::Task<void> {
        return [](std::shared_ptr<vellum::CodeTokenizer> tokenizer,
                  std::shared_ptr<std::atomic<bool>> answered) -> platform::Task<void> {
            (void)co_await tokenizer->tokenize("x", "c");
            answered->store(true);
            platform::MainExecutor::shared().enqueue([] {});
        }(tokenizer, answered);
    });
    ui::OffscreenHost idle{ui::EmptyView()};
    idle.runUntil([&] { return answered->load(); }, std::chrono::seconds(30));
}

} // namespace

int fuzzStructuredText(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const double width = 1 + double((data[0] | data[1] << 8) % 1600);
    const bool gitHub = (data[2] & 1) != 0;
    const bool dark = (data[2] & 2) != 0;
    const std::string markdown(reinterpret_cast<const char*>(data + 3), size - 3);

    ui::AnyView view{vellum::StructuredText(markdown, std::nullopt, extensions())};
    view = gitHub
               ? vellum::vellum(view).structuredTextStyle(vellum::StructuredText::GitHubStyle())
               : vellum::vellum(view).structuredTextStyle(vellum::StructuredText::DefaultStyle());
    view = view.environment<vellum::ImageAttachmentLoaderKey>(
                   std::make_shared<PictureLoader<vellum::ImageAttachment>>())
               .environment<vellum::EmojiAttachmentLoaderKey>(
                   std::make_shared<PictureLoader<vellum::EmojiAttachment>>());
    ui::EnvironmentValues environment;
    environment.set<ui::ColorSchemeKey>(dark ? platform::ColorScheme::dark
                                             : platform::ColorScheme::light);
    {
        ui::OffscreenHost host(view, {width, std::nullopt}, environment);
        host.runUntilIdle(std::chrono::milliseconds(2000));
        const platform::Size laidOut = host.size();
        require(std::isfinite(laidOut.width) && std::isfinite(laidOut.height));
        require(laidOut.width >= 0 && laidOut.height >= 0);
        // Drawn small: the drawing code runs over every block without a large surface. A
        // document that lays out to nothing (an empty one) has no surface to draw on, and one
        // too large for a surface at this scale is drawn smaller still.
        if (laidOut.width > 0 && laidOut.height > 0) {
            const double pixels = laidOut.width * laidOut.height;
            const double largest = double(platform::ImageSurface::maxPixelCount) / 4;
            const double scale = std::min(0.125, std::sqrt(largest / pixels));
            const double drawn =
                std::ceil(laidOut.width * scale) * std::ceil(laidOut.height * scale);
            if (drawn <= double(platform::ImageSurface::maxPixelCount)) {
                (void)host.render(scale);
            }
        }
    }
    drainTokenizer();
    return 0;
}

#ifdef MOSS_STRUCTURED_TEXT_FUZZ_TARGET
// Fontconfig keeps parts of its parsed configuration for the life of the process; it is not ours
// to free. (The test program gets the same from its font environment.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzStructuredText(data, size);
}
#endif

#ifndef MOSS_STRUCTURED_TEXT_FUZZ_TARGET
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

void run(const std::string& input) {
    fuzzStructuredText(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(StructuredTextFuzzTest, AnEmptyDocumentLaysOutToNothingAndIsNotDrawn) {
    // Width bytes, then style bytes; no markdown, or only white space.
    run(std::string("\x40\x01\x00", 3));
    run(std::string("\x40\x01\x03\n\n   \n", 9));
}

TEST(StructuredTextFuzzTest, SeedsLayOutAndDraw) {
    int seeds = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(MOSS_VELLUM_DOCUMENTS "/fuzz-seeds")) {
        std::ifstream in(entry.path(), std::ios::binary);
        run(std::string{std::istreambuf_iterator<char>(in), {}});
        ++seeds;
    }
    EXPECT_GT(seeds, 0);
}

} // namespace
#endif

// The fixture document with every kind of block (tests/fixtures/vellum-documents/every-block.md),
// drawn offscreen with its images read from disk and its code coloured, against PNG snapshots:
// the default set in light and the GitHub set in dark. Regenerate them after an intended change
// with
//
//     MOSS_UPDATE_SNAPSHOTS=1 build/<dir>/tests/Vellum/vellum_tests
//     --gtest_filter='DocumentSnapshot*'
//
// run from the repository root, and look at every image before committing it. A mismatch names
// the region that differs and writes the picture drawn beside the snapshot as *.actual.png.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/Emoji.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/UI.hpp"
#include "tests/Vellum/attachments/CountingLoader.hpp"
#include "tests/support/FileContents.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace ui = platform::ui;

const std::string folder = MOSS_VELLUM_DOCUMENTS;
constexpr double pageWidth = 800;

using moss_test::readFile;

// How far a picture is from its snapshot.
struct Difference {
    int worst = 0;                                // largest difference of one channel, 0…255
    std::size_t differing = 0;                    // pixels off by more than the tolerance
    int minX = 0, minY = 0, maxX = -1, maxY = -1; // where those pixels lie
    int worstX = 0, worstY = 0;
};

Difference compare(const platform::Image& actual, const platform::Image& expected, int tolerance) {
    Difference d;
    d.minX = actual.width();
    d.minY = actual.height();
    const std::vector<std::uint8_t> a = actual.rgba();
    const std::vector<std::uint8_t> b = expected.rgba();
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::size_t i =
                (std::size_t(y) * std::size_t(actual.width()) + std::size_t(x)) * 4;
            int off = 0;
            for (std::size_t c = 0; c < 4; ++c) {
                off = std::max(off, std::abs(int(a[i + c]) - int(b[i + c])));
            }
            if (off > d.worst) {
                d.worst = off;
                d.worstX = x;
                d.worstY = y;
            }
            if (off > tolerance) {
                ++d.differing;
                d.minX = std::min(d.minX, x);
                d.minY = std::min(d.minY, y);
                d.maxX = std::max(d.maxX, x);
                d.maxY = std::max(d.maxY, y);
            }
        }
    }
    return d;
}

// Passes when at most `maxShare` of the pixels differ by more than `tolerance` in some channel:
// antialiasing and glyph edges may move a little between library versions, a moved block moves
// thousands of pixels.
void expectMatchesSnapshot(const platform::Image& image, const std::string& path, int tolerance,
                           double maxShare) {
    const auto write = [&](const std::string& to) {
        const auto png = platform::encodePNG(image);
        ASSERT_TRUE(png.has_value());
        std::ofstream(to, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
    };
    if (const char* update = std::getenv("MOSS_UPDATE_SNAPSHOTS"); update && *update == '1') {
        write(path);
        return;
    }
    const std::string bytes = readFile(path);
    ASSERT_FALSE(bytes.empty()) << "missing snapshot " << path;
    const platform::Image expected =
        platform::ImageSource::decode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()))
            .frames()
            .at(0)
            .image;
    const std::string actualPath = path.substr(0, path.size() - 4) + ".actual.png";
    if (expected.width() != image.width() || expected.height() != image.height()) {
        write(actualPath);
        ADD_FAILURE() << path << ": drawn " << image.width() << " x " << image.height()
                      << ", snapshot " << expected.width() << " x " << expected.height()
                      << " (drawn picture in " << actualPath << ")";
        return;
    }
    const Difference d = compare(image, expected, tolerance);
    const std::size_t pixels = std::size_t(image.width()) * std::size_t(image.height());
    if (double(d.differing) > double(pixels) * maxShare) {
        write(actualPath);
        ADD_FAILURE() << path << ": " << d.differing << " of " << pixels
                      << " pixels differ by more than " << tolerance << " (allowed "
                      << std::size_t(double(pixels) * maxShare) << "), within x " << d.minX << "…"
                      << d.maxX << ", y " << d.minY << "…" << d.maxY << "; worst " << d.worst
                      << " at (" << d.worstX << ", " << d.worstY << "); drawn picture in "
                      << actualPath;
    }
}

platform::Image render(bool gitHub, platform::ColorScheme scheme) {
    vellum::AttributedStringMarkdownParser::PatternOptions patterns;
    patterns.mathExpressions = true;
    for (vellum::Emoji emoji : platform::JSONDecoder().decode<std::vector<vellum::Emoji>>(
             readFile(folder + "/emoji.json"))) {
        emoji.url =
            *platform::URL::fromString("file://" + folder + "/" + emoji.url.absoluteString());
        patterns.emoji.insert(emoji);
    }
    const auto ended = std::make_shared<std::atomic<int>>(0);
    // Started before the count: the tokenizer's workers outlive the document.
    (void)vellum::CodeTokenizer::shared();
    const long baseline = platform::detail::liveFrameCount();

    ui::AnyView view{vellum::StructuredText(
        readFile(folder + "/every-block.md"), platform::URL::fromString("file://" + folder + "/"),
        vellum::AttributedStringMarkdownParser::syntaxExtensions(patterns))};
    view = gitHub
               ? vellum::vellum(view).structuredTextStyle(vellum::StructuredText::GitHubStyle())
               : vellum::vellum(view).structuredTextStyle(vellum::StructuredText::DefaultStyle());
    view = view.environment<vellum::ImageAttachmentLoaderKey>(
                   std::make_shared<moss_test::CountingLoader>(
                       vellum::ImageAttachmentLoaderKey::defaultValue(), ended))
               .environment<vellum::EmojiAttachmentLoaderKey>(
                   std::make_shared<moss_test::CountingLoader>(
                       vellum::EmojiAttachmentLoaderKey::defaultValue(), ended));
    ui::EnvironmentValues environment;
    environment.set<ui::ColorSchemeKey>(scheme);
    ui::OffscreenHost host(view.padding(24), {pageWidth, std::nullopt}, environment);
    // The picture of the hill and the badge emoji; then every task of the document (loads,
    // colouring of the four code blocks) ends.
    EXPECT_TRUE(host.runUntil([&] { return ended->load() == 2; }, std::chrono::seconds(60)));
    EXPECT_TRUE(host.runUntil([&] { return platform::detail::liveFrameCount() <= baseline; },
                              std::chrono::seconds(60)));
    host.runUntilIdle();
    const platform::Color paper = scheme == platform::ColorScheme::dark
                                      ? platform::Color::gray(0.12)
                                      : platform::Color::white();
    return host.render(1.0, paper);
}

TEST(DocumentSnapshot, EveryBlockKindInTheDefaultSetLight) {
    if (platform::detail::liveFrameCount() < 0) {
        GTEST_SKIP() << "needs a build that counts tasks to know when the document settled";
    }
    expectMatchesSnapshot(render(false, platform::ColorScheme::light),
                          folder + "/snapshot-default-light.png", 40, 0.0002);
}

TEST(DocumentSnapshot, EveryBlockKindInTheGitHubSetDark) {
    if (platform::detail::liveFrameCount() < 0) {
        GTEST_SKIP() << "needs a build that counts tasks to know when the document settled";
    }
    expectMatchesSnapshot(render(true, platform::ColorScheme::dark),
                          folder + "/snapshot-github-dark.png", 40, 0.0002);
}

} // namespace

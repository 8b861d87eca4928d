// The render tool: pictures written in strips come out as drawn, and a document taller than a
// drawing surface renders whole, its code coloured down to the last block.

#include "platform/graphics/ImageSource.hpp"
#include "tools/vellum-render/PngStripWriter.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::Image;
using platform::ImageSource;

class TemporaryFolder {
public:
    TemporaryFolder()
        : path_(fs::temp_directory_path() / ("vellum-render-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    [[nodiscard]] const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

Image decode(const fs::path& path) {
    platform::ImageDecodeLimits limits;
    limits.maxPixelCount = std::int64_t{1} << 26;
    limits.maxTotalPixelCount = std::int64_t{1} << 26;
    return ImageSource::decode(readBytes(path), limits).frames().at(0).image;
}

// A picture whose every pixel differs from its neighbours, in premultiplied ARGB.
Image pattern(int width, int height, std::uint32_t alpha) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = std::uint32_t(x * 5) % 256 * alpha / 255;
            const std::uint32_t g = std::uint32_t(y * 7) % 256 * alpha / 255;
            const std::uint32_t b = std::uint32_t(x + y) % 256 * alpha / 255;
            pixels.push_back(alpha << 24 | r << 16 | g << 8 | b);
        }
    }
    return Image(width, height, std::move(pixels));
}

TEST(PngStripWriter, StripsMakeOnePictureAsDrawn) {
    const TemporaryFolder folder;
    for (const std::uint32_t alpha : {255U, 128U}) {
        SCOPED_TRACE(alpha);
        const Image top = pattern(40, 30, alpha);
        const Image bottom = pattern(40, 30, alpha);
        const fs::path file = folder.path() / "strips.png";
        {
            vellum_render::PngStripWriter writer(file, 40, 45, alpha == 255);
            writer.write(top, 30);
            // Only the rows the picture has left are taken from the last strip.
            writer.write(bottom, 15);
            writer.finish();
        }
        const Image read = decode(file);
        ASSERT_EQ(read.width(), 40);
        ASSERT_EQ(read.height(), 45);
        for (int y = 0; y < 45; ++y) {
            for (int x = 0; x < 40; ++x) {
                const Image::Pixel want = (y < 30 ? top : bottom).pixel(x, y < 30 ? y : y - 30);
                const Image::Pixel got = read.pixel(x, y);
                ASSERT_NEAR(got.red, want.red, 2) << x << "," << y;
                ASSERT_NEAR(got.green, want.green, 2) << x << "," << y;
                ASSERT_NEAR(got.blue, want.blue, 2) << x << "," << y;
                ASSERT_EQ(got.alpha, want.alpha) << x << "," << y;
            }
        }
    }
    // A picture left short of its rows is an error, not a file that looks whole.
    vellum_render::PngStripWriter writer(folder.path() / "short.png", 40, 45, true);
    writer.write(pattern(40, 30, 255), 30);
    EXPECT_THROW(writer.finish(), std::runtime_error);
    EXPECT_THROW(writer.write(pattern(41, 30, 255), 10), std::runtime_error);
}

TEST(PngStripWriter, APictureNotFinishedLeavesTheFileItWasToReplace) {
    const TemporaryFolder folder;
    const fs::path file = folder.path() / "kept.png";
    {
        vellum_render::PngStripWriter writer(file, 40, 30, true);
        writer.write(pattern(40, 30, 255), 30);
        writer.finish();
    }
    const std::vector<std::uint8_t> before = readBytes(file);
    {
        vellum_render::PngStripWriter writer(file, 40, 45, true);
        writer.write(pattern(40, 30, 255), 30);
        EXPECT_THROW(writer.finish(), std::runtime_error);
    }
    {
        // Given up part-way, as a render that fails between strips does.
        vellum_render::PngStripWriter writer(file, 40, 45, true);
        writer.write(pattern(40, 30, 255), 30);
    }
    EXPECT_EQ(readBytes(file), before);
    // Nothing left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    // Finished, the new picture takes the file's place.
    {
        vellum_render::PngStripWriter writer(file, 40, 45, true);
        writer.write(pattern(40, 30, 255), 30);
        writer.write(pattern(40, 30, 255), 15);
        writer.finish();
    }
    EXPECT_EQ(decode(file).height(), 45);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

// Rows of `image` from `top` on (at most `rows`) holding a pixel in the light theme's keyword
// colour, a magenta no text or background of the page has.
bool hasKeywordColour(const Image& image, int top, int rows) {
    for (int y = top; y < std::min(image.height(), top + rows); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const Image::Pixel p = image.pixel(x, y);
            if (p.red > 140 && p.green < 90 && p.blue > 90) {
                return true;
            }
        }
    }
    return false;
}

TEST(VellumRender, HelpPrintsTheUsageAndSucceeds) {
    const std::string command = std::string(MOSS_VELLUM_RENDER) + " --help";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_TRUE(out.starts_with("usage: vellum-render")) << out;
}

TEST(VellumRender, DocumentTallerThanASurfaceRendersWholeWithItsCodeColoured) {
    const TemporaryFolder folder;
    std::string markdown = "```cpp\nint first() { return 1; }\n```\n\n";
    for (int part = 0; part < 500; ++part) {
        markdown += "## Part " + std::to_string(part) +
                    "\n\nA paragraph of the part, long enough to be a line of text.\n\n";
    }
    markdown += "```cpp\nint last() { return 2; }\n```\n";
    std::ofstream(folder.path() / "tall.md") << markdown;
    const fs::path output = folder.path() / "tall.png";
    const std::string command = std::string(MOSS_VELLUM_RENDER) + " '" +
                                (folder.path() / "tall.md").string() + "' '" + output.string() +
                                "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const Image page = decode(output);
    EXPECT_EQ(page.width(), 800);
    EXPECT_GT(page.height(), 32767);
    // Opaque: written without alpha.
    const std::vector<std::uint8_t> bytes = readBytes(output);
    ASSERT_GT(bytes.size(), 26U);
    EXPECT_EQ(bytes[25], 2) << "colour type RGB";
    // Both code blocks coloured: the renderer waited for every answer, the last one included.
    EXPECT_TRUE(hasKeywordColour(page, 0, 200));
    EXPECT_TRUE(hasKeywordColour(page, page.height() - 200, 200));
    // Text on every strip: the strips join into one page.
    for (int strip = 0; strip * 4096 + 2048 < page.height(); ++strip) {
        bool ink = false;
        for (int y = strip * 4096; y < strip * 4096 + 400 && !ink; ++y) {
            ink = page.pixel(30, y).red < 128 || page.pixel(60, y).red < 128 ||
                  page.pixel(90, y).red < 128;
        }
        EXPECT_TRUE(ink) << "strip " << strip;
    }
}

} // namespace

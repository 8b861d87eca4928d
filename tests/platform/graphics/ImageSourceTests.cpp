#include "platform/graphics/ImageCodecs.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "tests/platform/graphics/ImageFixtures.hpp"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using namespace fixtures;

namespace {

using Pixel = Image::Pixel;

Pixel px(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
    return {r, g, b, a};
}

ImageDecodeError::Kind decodeErrorKind(const Bytes& data, const ImageDecodeLimits& limits = {}) {
    try {
        ImageSource::decode(data, limits);
    } catch (const ImageDecodeError& e) {
        EXPECT_FALSE(e.localizedDescription().empty());
        return e.kind();
    }
    ADD_FAILURE() << "decoded without error";
    return ImageDecodeError::Kind::malformed;
}

Bytes prefix(const Bytes& data, std::size_t n) {
    return {data.begin(), data.begin() + long(n)};
}

// Palette: 0 red, 1 green, 2 blue, 3 white.
const std::vector<std::uint8_t> palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

GifFrame gifFrame(int left, int top, int w, int h, std::uint8_t index, int delay,
                  int disposal = 0) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.width = w;
    f.height = h;
    f.indices.assign(std::size_t(w * h), index);
    f.delayCentiseconds = delay;
    f.disposal = disposal;
    return f;
}

} // namespace

TEST(ImageSource, StillPNGRoundTripsThroughEncoder) {
    RGBAFrame f = solid(3, 2, 10, 20, 30, 255);
    // One half-transparent pixel checks the alpha handling both ways.
    f.rgba[4 * 4 + 0] = 200;
    f.rgba[4 * 4 + 3] = 128;
    const ImageSource source = ImageSource::decode(makePNG(f));
    EXPECT_EQ(source.format(), ImageFormat::png);
    EXPECT_FALSE(source.isAnimationContainer());
    ASSERT_EQ(source.count(), 1u);
    EXPECT_FALSE(source.frames()[0].delayTime.has_value());
    EXPECT_FALSE(source.loopCount().has_value());
    const Image& image = source.frames()[0].image;
    EXPECT_EQ(image.width(), 3);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(image.pixel(0, 0), px(10, 20, 30));
    const Pixel half = image.pixel(1, 1);
    EXPECT_NEAR(half.red, 200, 2);
    EXPECT_EQ(half.alpha, 128);

    const auto encoded = encodePNG(image);
    ASSERT_TRUE(encoded.has_value());
    const Image again = ImageSource::decode(*encoded).frames()[0].image;
    EXPECT_EQ(again.rgba(), image.rgba());
    EXPECT_FALSE(encodePNG(Image()).has_value());
}

TEST(ImageSource, AnimatedPNGComposesFramesWithDisposeAndBlend) {
    // Frame 0: red 4×4, dispose to background. Frame 1: green 2×2 at (2, 2) blended over a
    // cleared canvas, dispose previous. Frame 2: half-transparent blue 2×2 at (0, 0) over frame 1's
    // backdrop (restored to the state before frame 1: cleared).
    std::vector<ApngFrame> frames(3);
    frames[0].pixels = solid(4, 4, 255, 0, 0);
    frames[0].dispose = 1;
    frames[0].delayNum = 1;
    frames[0].delayDen = 4;
    frames[1].pixels = solid(2, 2, 0, 255, 0);
    frames[1].x = 2;
    frames[1].y = 2;
    frames[1].dispose = 2;
    frames[1].blend = 1;
    frames[1].delayNum = 30;
    frames[1].delayDen = 0; // a zero denominator means hundredths
    frames[2].pixels = solid(2, 2, 0, 0, 255, 128);
    frames[2].blend = 1;
    const ImageSource s = ImageSource::decode(makeAPNG(4, 4, frames, 3));
    EXPECT_TRUE(s.isAnimationContainer());
    ASSERT_EQ(s.count(), 3u);
    EXPECT_EQ(s.loopCount(), 3);
    EXPECT_EQ(s.canvasWidth(), 4);
    EXPECT_DOUBLE_EQ(*s.frames()[0].delayTime, 0.25);
    EXPECT_DOUBLE_EQ(*s.frames()[1].delayTime, 0.30);
    EXPECT_DOUBLE_EQ(*s.frames()[2].delayTime, 0.10);

    EXPECT_EQ(s.frames()[0].image.pixel(3, 3), px(255, 0, 0));
    const Image& f1 = s.frames()[1].image;
    EXPECT_EQ(f1.pixel(0, 0).alpha, 0); // frame 0 was disposed to transparency
    EXPECT_EQ(f1.pixel(3, 3), px(0, 255, 0));
    const Image& f2 = s.frames()[2].image;
    EXPECT_EQ(f2.pixel(3, 3).alpha, 0); // frame 1 was disposed to the previous (clear) canvas
    EXPECT_EQ(f2.pixel(0, 0).alpha, 128);
    EXPECT_NEAR(f2.pixel(0, 0).blue, 255, 2);
}

TEST(ImageSource, AnimatedPNGWithoutValidFramesFallsBackToStill) {
    // A frame that does not fit the canvas makes the animation unusable; the default image stays.
    std::vector<ApngFrame> frames(2);
    frames[0].pixels = solid(2, 2, 1, 2, 3);
    frames[1].pixels = solid(2, 2, 9, 9, 9);
    frames[1].x = 1;
    const ImageSource s = ImageSource::decode(makeAPNG(2, 2, frames, 0));
    EXPECT_FALSE(s.isAnimationContainer());
    ASSERT_EQ(s.count(), 1u);
    EXPECT_EQ(s.frames()[0].image.pixel(1, 1), px(1, 2, 3));
}

TEST(ImageSource, GIFFramesDelaysLoopCountAndDisposal) {
    std::vector<GifFrame> frames;
    frames.push_back(gifFrame(0, 0, 4, 4, 0, 10, 1));  // red, keep
    frames.push_back(gifFrame(1, 1, 2, 2, 1, 0, 2));   // green, restore to background
    frames.push_back(gifFrame(0, 0, 1, 1, 2, 250, 3)); // blue, restore previous
    frames.push_back(gifFrame(3, 3, 1, 1, 3, -1));     // white, no control block
    frames[3].transparentIndex = -1;
    const ImageSource s = ImageSource::decode(makeGIF(4, 4, palette, frames, 0));
    EXPECT_EQ(s.format(), ImageFormat::gif);
    ASSERT_EQ(s.count(), 4u);
    EXPECT_EQ(s.loopCount(), 0);
    EXPECT_DOUBLE_EQ(*s.frames()[0].delayTime, 0.10);
    EXPECT_DOUBLE_EQ(*s.frames()[1].delayTime, 0.0);
    EXPECT_DOUBLE_EQ(*s.frames()[2].delayTime, 2.5);
    EXPECT_FALSE(s.frames()[3].delayTime.has_value());

    EXPECT_EQ(s.frames()[1].image.pixel(0, 0), px(255, 0, 0));
    EXPECT_EQ(s.frames()[1].image.pixel(1, 1), px(0, 255, 0));
    const Image& f2 = s.frames()[2].image;
    EXPECT_EQ(f2.pixel(1, 1).alpha, 0); // green area cleared
    EXPECT_EQ(f2.pixel(0, 0), px(0, 0, 255));
    const Image& f3 = s.frames()[3].image;
    EXPECT_EQ(f3.pixel(0, 0), px(255, 0, 0)); // blue frame undone
    EXPECT_EQ(f3.pixel(3, 3), px(255, 255, 255));
}

TEST(ImageSource, GIFTransparencyInterlaceAndMissingLoop) {
    GifFrame base = gifFrame(0, 0, 3, 9, 0, 5);
    GifFrame top = gifFrame(0, 0, 3, 9, 3, 5);
    top.interlaced = true;
    top.transparentIndex = 1;
    for (int y = 0; y < 9; ++y)
        top.indices[std::size_t(y * 3)] = std::uint8_t(y % 2 == 0 ? 1 : 2);
    const ImageSource s = ImageSource::decode(makeGIF(3, 9, palette, {base, top}, -1));
    EXPECT_FALSE(s.loopCount().has_value());
    const Image& f = s.frames()[1].image;
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(f.pixel(0, y), y % 2 == 0 ? px(255, 0, 0) : px(0, 0, 255)) << "row " << y;
        EXPECT_EQ(f.pixel(1, y), px(255, 255, 255));
    }
}

TEST(ImageSource, JPEGAndWebPStills) {
    const ImageSource jpeg = ImageSource::decode(makeJPEG(solid(16, 8, 200, 100, 50)));
    EXPECT_EQ(jpeg.format(), ImageFormat::jpeg);
    ASSERT_EQ(jpeg.count(), 1u);
    EXPECT_EQ(jpeg.frames()[0].image.width(), 16);
    const Pixel p = jpeg.frames()[0].image.pixel(5, 5);
    EXPECT_NEAR(p.red, 200, 4);
    EXPECT_NEAR(p.green, 100, 4);
    EXPECT_NEAR(p.blue, 50, 4);
    EXPECT_EQ(p.alpha, 255);

    // Adobe CMYK stores inverted ink: full magenta ink (0) with no other ink reads as magenta.
    const std::uint8_t magenta[4] = {255, 0, 255, 255};
    const Pixel m = ImageSource::decode(makeCMYKJPEG(8, 8, magenta)).frames()[0].image.pixel(3, 3);
    EXPECT_NEAR(m.red, 255, 4);
    EXPECT_NEAR(m.green, 0, 4);
    EXPECT_NEAR(m.blue, 255, 4);

    const ImageSource webp = ImageSource::decode(makeWebP(solid(5, 3, 1, 2, 3, 128)));
    EXPECT_EQ(webp.format(), ImageFormat::webp);
    EXPECT_FALSE(webp.isAnimationContainer());
    ASSERT_EQ(webp.count(), 1u);
    EXPECT_FALSE(webp.frames()[0].delayTime.has_value());
    EXPECT_EQ(webp.frames()[0].image.pixel(4, 2).alpha, 128);
}

TEST(ImageSource, AnimatedWebPFramesDelaysAndLoopCount) {
    const std::vector<RGBAFrame> frames = {solid(4, 4, 255, 0, 0), solid(4, 4, 0, 255, 0),
                                           solid(4, 4, 0, 0, 255)};
    const ImageSource s = ImageSource::decode(makeAnimatedWebP(frames, {100, 250, 40}, 7));
    EXPECT_TRUE(s.isAnimationContainer());
    ASSERT_EQ(s.count(), 3u);
    EXPECT_EQ(s.loopCount(), 7);
    EXPECT_DOUBLE_EQ(*s.frames()[0].delayTime, 0.10);
    EXPECT_DOUBLE_EQ(*s.frames()[1].delayTime, 0.25);
    EXPECT_DOUBLE_EQ(*s.frames()[2].delayTime, 0.04);
    EXPECT_EQ(s.frames()[1].image.pixel(2, 2), px(0, 255, 0));
    EXPECT_EQ(s.frames()[2].image.pixel(0, 3), px(0, 0, 255));
}

TEST(ImageSource, TruncatedFilesAreRejectedAtEveryLength) {
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"png", makePNG(solid(8, 8, 1, 2, 3))},
        {"apng",
         makeAPNG(2, 2, {ApngFrame{solid(2, 2, 1, 1, 1)}, ApngFrame{solid(2, 2, 3, 3, 3)}}, 0)},
        {"jpeg", makeJPEG(solid(8, 8, 1, 2, 3))},
        {"gif", makeGIF(4, 4, palette, {gifFrame(0, 0, 4, 4, 1, 10)}, 0)},
        {"webp", makeWebP(solid(8, 8, 1, 2, 3))},
    };
    for (const auto& [name, file] : files) {
        // Every cut before the image data is complete must fail cleanly, never decode garbage.
        for (std::size_t n = 0; n + 2 < file.size(); ++n) {
            const Bytes cut = prefix(file, n);
            bool failed = false;
            try {
                ImageSource::decode(cut);
            } catch (const ImageDecodeError&) {
                failed = true;
            }
            EXPECT_TRUE(failed) << name << " cut at " << n << " of " << file.size();
        }
    }
    EXPECT_EQ(decodeErrorKind(prefix(makePNG(solid(8, 8, 1, 2, 3)), 40)),
              ImageDecodeError::Kind::truncated);
    EXPECT_EQ(decodeErrorKind(Bytes{'h', 'e', 'l', 'l', 'o'}),
              ImageDecodeError::Kind::unknownFormat);
    EXPECT_EQ(decodeErrorKind(Bytes{}), ImageDecodeError::Kind::unknownFormat);
}

TEST(ImageSource, OversizedImagesAreRejectedBeforeAllocation) {
    ImageDecodeLimits small;
    small.maxPixelCount = 1000;
    small.maxTotalPixelCount = 2000;
    EXPECT_EQ(decodeErrorKind(makePNG(solid(40, 40, 0, 0, 0)), small),
              ImageDecodeError::Kind::tooLarge);
    EXPECT_EQ(decodeErrorKind(makeJPEG(solid(40, 40, 0, 0, 0)), small),
              ImageDecodeError::Kind::tooLarge);
    EXPECT_EQ(decodeErrorKind(makeWebP(solid(40, 40, 0, 0, 0)), small),
              ImageDecodeError::Kind::tooLarge);
    // Each frame fits, but three full canvases exceed the total.
    std::vector<GifFrame> frames(3, gifFrame(0, 0, 30, 30, 0, 1));
    EXPECT_EQ(decodeErrorKind(makeGIF(30, 30, palette, frames, 0), small),
              ImageDecodeError::Kind::tooLarge);

    // A GIF whose header claims a 65535 × 65535 screen is refused under the default limits.
    Bytes huge = makeGIF(4, 4, palette, {gifFrame(0, 0, 4, 4, 1, 10)}, 0);
    huge[6] = huge[7] = huge[8] = huge[9] = 0xff;
    EXPECT_EQ(decodeErrorKind(huge), ImageDecodeError::Kind::tooLarge);
}

// Small files that claim a large canvas and make the decoder keep copies of it.
TEST(ImageSource, DefaultLimitsHoldHostileAnimationsToAFewHundredMegabytes) {
    // Just past a 4096 × 4096 canvas: refused by every format before anything is allocated.
    Bytes gif = makeGIF(1, 1, palette, {gifFrame(0, 0, 1, 1, 1, 10)}, 0);
    gif[6] = 0x01, gif[7] = 0x10, gif[8] = 0x00, gif[9] = 0x10; // 4097 × 4096
    EXPECT_EQ(decodeErrorKind(gif), ImageDecodeError::Kind::tooLarge);
    Bytes png = makePNG(solid(1, 1, 1, 2, 3));
    png[16 + 2] = 0x10, png[16 + 3] = 0x01, png[20 + 2] = 0x10, png[20 + 3] = 0x00;
    EXPECT_EQ(decodeErrorKind(png), ImageDecodeError::Kind::tooLarge);
    Bytes webp = makeAnimatedWebP({solid(1, 1, 255, 0, 0), solid(1, 1, 0, 255, 0)}, {10, 10}, 0);
    ASSERT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8X");
    webp[24] = 0x00, webp[25] = 0x10, webp[26] = 0x00; // width − 1 = 4096
    webp[27] = 0xff, webp[28] = 0x0f, webp[29] = 0x00; // height − 1 = 4095
    EXPECT_EQ(decodeErrorKind(webp), ImageDecodeError::Kind::tooLarge);

    // The largest canvas with two one-pixel frames, the first undone by restoring the canvas
    // before it: two frames and the saved canvas are more than the defaults hold.
    std::vector<GifFrame> frames = {gifFrame(0, 0, 1, 1, 1, 10, 3), gifFrame(0, 0, 1, 1, 2, 10)};
    Bytes restoring = makeGIF(1, 1, palette, frames, 0);
    restoring[6] = 0x00, restoring[7] = 0x10, restoring[8] = 0x00, restoring[9] = 0x10;
    EXPECT_EQ(decodeErrorKind(restoring), ImageDecodeError::Kind::tooLarge);
}

TEST(ImageSource, CanvasesKeptForDisposalCountAgainstTheTotal) {
    ImageDecodeLimits small;
    small.maxPixelCount = 1000;
    small.maxTotalPixelCount = 2000;
    // Two 30 × 30 frames fit the total; a third canvas kept to restore does not.
    std::vector<GifFrame> gifFrames(2, gifFrame(0, 0, 30, 30, 0, 1));
    EXPECT_EQ(ImageSource::decode(makeGIF(30, 30, palette, gifFrames, 0), small).count(), 2u);
    gifFrames[0].disposal = 3;
    EXPECT_EQ(decodeErrorKind(makeGIF(30, 30, palette, gifFrames, 0), small),
              ImageDecodeError::Kind::tooLarge);

    std::vector<ApngFrame> apngFrames(2, ApngFrame{solid(30, 30, 1, 2, 3)});
    EXPECT_EQ(ImageSource::decode(makeAPNG(30, 30, apngFrames, 0), small).count(), 2u);
    apngFrames[1].dispose = 2;
    EXPECT_EQ(decodeErrorKind(makeAPNG(30, 30, apngFrames, 0), small),
              ImageDecodeError::Kind::tooLarge);

    // WebP's animation decoder always keeps a second canvas: a still fits, two frames do not.
    EXPECT_EQ(ImageSource::decode(makeWebP(solid(30, 30, 1, 2, 3)), small).count(), 1u);
    const std::vector<RGBAFrame> webpFrames = {solid(30, 30, 255, 0, 0), solid(30, 30, 0, 0, 255)};
    EXPECT_EQ(decodeErrorKind(makeAnimatedWebP(webpFrames, {10, 10}, 0), small),
              ImageDecodeError::Kind::tooLarge);
}

TEST(ImageSource, GIFFramesAreDecodedOnlyWhereTheyMeetTheCanvas) {
    // Frames far taller than a one-pixel canvas, in turn green and blue, plain and interlaced:
    // only their first row is decoded, so neither their declared size nor their data below the
    // canvas costs anything.
    ImageDecodeLimits small;
    small.maxPixelCount = 1000;
    small.maxTotalPixelCount = 2000;
    std::vector<GifFrame> tall;
    for (int i = 0; i < 6; ++i) {
        tall.push_back(gifFrame(0, 0, 1, 3000, std::uint8_t(1 + i % 2), 1));
        tall.back().indices[0] = std::uint8_t(1 + i % 2);
        tall.back().indices[1] = 0; // the rest of the frame is other colours
        tall.back().interlaced = i >= 3;
    }
    // One frame entirely beside the canvas, decoded not at all.
    tall.push_back(gifFrame(5, 0, 2, 2, 0, 1));
    const Bytes tallFile = makeGIF(1, 1, palette, tall, 0);
    const ImageSource s = ImageSource::decode(tallFile, small);
    ASSERT_EQ(s.count(), 7u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(s.frames()[i].image.pixel(0, 0), i % 2 == 0 ? px(0, 255, 0) : px(0, 0, 255))
            << "frame " << i;
    EXPECT_EQ(s.frames()[6].image.pixel(0, 0), px(0, 0, 255)); // unchanged by it
    // The skipped data must still be there.
    for (const std::size_t cut : {tallFile.size() / 3, tallFile.size() / 2, tallFile.size() - 4})
        EXPECT_NE(decodeErrorKind(prefix(tallFile, cut), small), ImageDecodeError::Kind::tooLarge);

    // Frames wider than the canvas: their rows are decoded whole, and the pixels beside the
    // canvas are charged.
    std::vector<GifFrame> wide(3, gifFrame(0, 0, 900, 1, 2, 1));
    EXPECT_EQ(decodeErrorKind(makeGIF(1, 1, palette, wide, 0), small),
              ImageDecodeError::Kind::tooLarge);
    wide.resize(2);
    EXPECT_EQ(ImageSource::decode(makeGIF(1, 1, palette, wide, 0), small).count(), 2u);

    // A frame overhanging the canvas's corner, interlaced: each canvas pixel shows the frame
    // pixel over it.
    GifFrame corner = gifFrame(1, 2, 4, 9, 0, 1);
    corner.interlaced = true;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 4; ++x)
            corner.indices[std::size_t(y * 4 + x)] = std::uint8_t((x + y) % 4);
    const Image image = ImageSource::decode(makeGIF(3, 7, palette, {corner}, 0)).frames()[0].image;
    const Pixel colours[4] = {px(255, 0, 0), px(0, 255, 0), px(0, 0, 255), px(255, 255, 255)};
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixel(x, y),
                      x < 1 || y < 2 ? px(0, 0, 0, 0) : colours[(x - 1 + y - 2) % 4])
                << x << ", " << y;
}

namespace {

// Quadrants red (top left), green (top right), blue (bottom left), white (bottom right), so
// every rotation and mirror puts a different colour in the top-left corner.
RGBAFrame quadrants(int width, int height) {
    RGBAFrame f{width, height, std::vector<std::uint8_t>(std::size_t(width * height) * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            std::uint8_t* p = &f.rgba[std::size_t(y * width + x) * 4];
            p[0] = (!right || bottom) ? 255 : 0;
            p[1] = (right) ? 255 : 0;
            p[2] = (bottom) ? 255 : 0;
            p[3] = 255;
            if (!right && bottom)
                p[0] = 0;
        }
    }
    return f;
}

// The colour name at the centre of one quadrant of an upright picture, compared with
// tolerance because JPEG and HEVC are lossy.
std::string quadrant(const Image& image, int qx, int qy) {
    const Pixel p = image.pixel(image.width() / 4 + qx * image.width() / 2,
                                image.height() / 4 + qy * image.height() / 2);
    auto on = [](std::uint8_t c) { return c > 170; };
    auto off = [](std::uint8_t c) { return c < 85; };
    if (on(p.red) && on(p.green) && on(p.blue))
        return "white";
    if (on(p.red) && off(p.green) && off(p.blue))
        return "red";
    if (off(p.red) && on(p.green) && off(p.blue))
        return "green";
    if (off(p.red) && off(p.green) && on(p.blue))
        return "blue";
    return "?";
}

struct Upright {
    int orientation;
    int width, height;
    const char *topLeft, *topRight, *bottomLeft, *bottomRight;
};

// A 32 × 16 picture shown under each EXIF orientation.
const std::vector<Upright> orientations = {
    {1, 32, 16, "red", "green", "blue", "white"}, {2, 32, 16, "green", "red", "white", "blue"},
    {3, 32, 16, "white", "blue", "green", "red"}, {4, 32, 16, "blue", "white", "red", "green"},
    {5, 16, 32, "red", "blue", "green", "white"}, {6, 16, 32, "blue", "red", "white", "green"},
    {7, 16, 32, "white", "green", "blue", "red"}, {8, 16, 32, "green", "white", "red", "blue"},
};

// The same quadrants encoded by libheif's HEVC encoder, stored with each orientation.
Bytes heicFixture(int orientation) {
    const std::string path = std::string(MOSS_IMAGE_FIXTURES) + "/heic/quadrants-" +
                             std::to_string(orientation) + ".heic";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void expectUpright(const ImageSource& s, const Upright& u, const char* what) {
    ASSERT_EQ(s.count(), 1u);
    const Image& image = s.frames()[0].image;
    EXPECT_EQ(s.canvasWidth(), u.width) << what << " orientation " << u.orientation;
    EXPECT_EQ(image.width(), u.width) << what << " orientation " << u.orientation;
    EXPECT_EQ(image.height(), u.height) << what << " orientation " << u.orientation;
    EXPECT_EQ(quadrant(image, 0, 0), u.topLeft) << what << " orientation " << u.orientation;
    EXPECT_EQ(quadrant(image, 1, 0), u.topRight) << what << " orientation " << u.orientation;
    EXPECT_EQ(quadrant(image, 0, 1), u.bottomLeft) << what << " orientation " << u.orientation;
    EXPECT_EQ(quadrant(image, 1, 1), u.bottomRight) << what << " orientation " << u.orientation;
}

} // namespace

TEST(ImageSource, JPEGIsTurnedUprightByItsExifOrientation) {
    const Bytes plain = makeJPEG(quadrants(32, 16), 95);
    for (const Upright& u : orientations)
        expectUpright(ImageSource::decode(withExifOrientation(plain, u.orientation)), u, "jpeg");
    // Values outside 1...8, an IFD offset past the block and an entry count past it leave the
    // picture as stored. (The TIFF header starts 12 bytes in: SOI, APP1 marker, length, "Exif".)
    expectUpright(ImageSource::decode(withExifOrientation(plain, 9)), orientations[0], "jpeg");
    Bytes farOffset = withExifOrientation(plain, 6);
    farOffset[12 + 4] = 0x7f;
    expectUpright(ImageSource::decode(farOffset), orientations[0], "jpeg");
    Bytes manyEntries = withExifOrientation(plain, 6);
    manyEntries[12 + 8] = manyEntries[12 + 9] = 0xff;
    manyEntries[12 + 10] = 0; // the first entry's tag no longer reads as orientation
    expectUpright(ImageSource::decode(manyEntries), orientations[0], "jpeg");
}

// An EXIF block shorter than one directory entry, ending the data: nothing may be read past it.
TEST(ImageSource, ExifBlockShorterThanAnEntryReadsNothingPastIt) {
    const Bytes jpegHead = {0xff, 0xd8, 0xff, 0xe1, 0x00, 0x12, 'E', 'x', 'i', 'f', 0,
                            0,    'M',  'M',  0x00, 0x2a, 0,    0,   0,   8,   0,   1};
    EXPECT_EQ(platform::codecs::jpegOrientation(jpegHead), 1);
}

TEST(ImageSource, HEICStillsDecodeUprightAndBadFilesFail) {
    for (const Upright& u : orientations) {
        const ImageSource s = ImageSource::decode(heicFixture(u.orientation));
        EXPECT_EQ(s.format(), ImageFormat::heic);
        EXPECT_FALSE(s.isAnimationContainer());
        EXPECT_FALSE(s.frames()[0].delayTime.has_value());
        expectUpright(s, u, "heic");
    }
    const Bytes file = heicFixture(1);
    for (std::size_t n = 12; n + 1 < file.size(); n += 7) {
        bool failed = false;
        try {
            ImageSource::decode(prefix(file, n));
        } catch (const ImageDecodeError&) {
            failed = true;
        }
        EXPECT_TRUE(failed) << "heic cut at " << n << " of " << file.size();
    }
    ImageDecodeLimits small;
    small.maxPixelCount = 100;
    EXPECT_EQ(decodeErrorKind(file, small), ImageDecodeError::Kind::tooLarge);
    // A 16 × 32 image whose grid says it is 18,249 × 17,976: refused before any pixel is made.
    std::ifstream in(std::string(MOSS_IMAGE_FIXTURES) + "/heic/grid-larger-than-declared.heic",
                     std::ios::binary);
    const Bytes grid(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(grid.empty());
    EXPECT_EQ(decodeErrorKind(grid, {}), ImageDecodeError::Kind::tooLarge);
}

namespace {

// The peak memory a process has held, in bytes (VmHWM); 0 when it cannot be read.
std::int64_t peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6)) * 1024;
        }
    }
    return 0;
}

struct ChildDecode {
    // The growth of the child's peak memory over the decode; -1 when the child was stopped for
    // holding more than the watched limit or for still decoding at the time limit.
    std::int64_t peakGrowth = -1;
    bool outOfTime = false;
    ImageDecodeError::Kind kind = ImageDecodeError::Kind::malformed;
    bool refused = false;
};

// Decodes `data` in a child process and measures the memory the decode took there. A decoder
// that does not hold to its budget would take gigabytes of a shared machine, or minutes: the
// child is killed once it holds more than `watchedLimit` beyond what it started with, or once it
// has run for `timeLimit` (a guard against a hang, far beyond what any decode here needs).
ChildDecode decodeInChild(const Bytes& data, std::int64_t watchedLimit,
                          std::chrono::seconds timeLimit = std::chrono::seconds(60)) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    const std::int64_t before = peakResidentBytes();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        // Resets the peak to what the child holds now.
        std::ofstream("/proc/self/clear_refs") << "5";
        const std::int64_t start = peakResidentBytes();
        std::int64_t answer[3] = {0, 0, 0};
        try {
            ImageSource::decode(data);
        } catch (const ImageDecodeError& error) {
            answer[1] = 1;
            answer[2] = std::int64_t(error.kind());
        }
        answer[0] = peakResidentBytes() - start;
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], answer, sizeof answer);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    ChildDecode result;
    bool killed = false;
    std::int64_t answer[3] = {0, 0, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    for (;;) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        if (::poll(&ready, 1, 10) > 0) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            killed = true;
            result.outOfTime = true;
            break;
        }
        std::ifstream status("/proc/" + std::to_string(child) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0 &&
                std::stoll(line.substr(6)) * 1024 > before + watchedLimit) {
                ::kill(child, SIGKILL);
                killed = true;
            }
        }
        if (killed) {
            break;
        }
    }
    if (!killed && ::read(pipeEnds[0], answer, sizeof answer) == sizeof answer) {
        result.peakGrowth = answer[0];
        result.refused = answer[1] != 0;
        result.kind = ImageDecodeError::Kind(answer[2]);
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

Bytes heicFile(const std::string& name) {
    std::ifstream in(std::string(MOSS_IMAGE_FIXTURES) + "/heic/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

// Files whose grid records claim far more than their declared size, or that name one tile tens of
// thousands of times (made by heic/make-hostile-grids.py): the loader refuses them from their
// records, before the decoder makes any of it. A 16-million-pixel picture takes a few hundred
// megabytes to decode; these take far less, where they took gigabytes and tens of seconds.
TEST(ImageSource, HEICGridsAreRefusedByWhatTheirRecordsMakeNotWhatTheyDeclare) {
    constexpr std::int64_t budget = std::int64_t{64} << 20;
    const struct {
        const char* name;
        bool tooLarge;
    } files[] = {{"grid-area-beyond-declared.heic", true},
                 {"grid-square-beyond-declared.heic", true},
                 {"grid-repeated-tiles.heic", true},
                 {"grid-tiles-larger-than-declared.heic", false}};
    for (const auto& file : files) {
        const ChildDecode decoded = decodeInChild(heicFile(file.name), std::int64_t{1} << 30);
        ASSERT_GE(decoded.peakGrowth, 0) << file.name << " took more than a gigabyte";
        EXPECT_TRUE(decoded.refused) << file.name;
        if (file.tooLarge) {
            EXPECT_EQ(decoded.kind, ImageDecodeError::Kind::tooLarge) << file.name;
        }
        EXPECT_LT(decoded.peakGrowth, budget) << file.name;
    }
    // Tiles are counted by what their coded pictures make, not by what their records say: 64
    // tiles recorded as 8 × 8 but coded as 64 × 64 make 262,144 pixels for a 4,096-pixel grid.
    ImageDecodeLimits small;
    small.maxPixelCount = 50'000;
    EXPECT_EQ(decodeErrorKind(heicFile("grid-tiles-coded-larger.heic"), small),
              ImageDecodeError::Kind::tooLarge);
}

// Derived images that each name the one below them a dozen times, eight deep (made by
// heic/make-hostile-derivations.py): a few hundred bytes that stand for 12^8 pictures or more.
// They are refused from their records at once, each item counted once however often it is named,
// where walking every naming took minutes. A regression is stopped by the time limit rather than
// left to hang the run.
TEST(ImageSource, HEICDerivationsNamingTheirSourcesOverAndOverAreRefusedAtOnce) {
    for (const char* name :
         {"iden-chain-unknown-size.heic", "grid-chain.heic", "overlay-chain.heic"}) {
        const ChildDecode decoded =
            decodeInChild(heicFile(name), std::int64_t{1} << 30, std::chrono::seconds(20));
        ASSERT_FALSE(decoded.outOfTime) << name << " was still being decoded after 20 s";
        EXPECT_TRUE(decoded.refused) << name;
        EXPECT_EQ(decoded.kind, ImageDecodeError::Kind::tooLarge) << name;
    }
}

#include "Vellum/images/Image.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unordered_set>

namespace {

using platform::ImageFormat;
using platform::ImageSource;
using vellum::Image;

platform::Data fixture(const std::string& name) {
    const std::string path = std::string(MOSS_VELLUM_FIXTURES) + "/../images/loader/" + name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

platform::Image bitmap(int width, int height, std::uint32_t argb = 0xff00ff00u) {
    return {width, height, std::vector<std::uint32_t>(std::size_t(width * height), argb)};
}

ImageSource animation(std::vector<std::optional<double>> delays, std::optional<int> loops,
                      int width = 4, int height = 3) {
    std::vector<ImageSource::Frame> frames;
    for (const auto& delay : delays)
        frames.push_back({bitmap(width, height), delay});
    return ImageSource(ImageFormat::gif, width, height, true, loops, std::move(frames));
}

std::vector<double> delaysOf(const Image& image) {
    std::vector<double> delays;
    for (const auto& frame : image.frames)
        delays.push_back(frame.delayTime);
    return delays;
}

} // namespace

TEST(Image, EveryFormatDecodesWithItsFramesTimingAndLoops) {
    const auto png = Image::fromData(fixture("still.png"));
    ASSERT_TRUE(png);
    ASSERT_EQ(png->frames.size(), 1u);
    EXPECT_EQ(png->frames[0].delayTime, 0);
    EXPECT_EQ(png->loopCount, 0);
    EXPECT_EQ(png->size, (platform::Size{6, 4}));
    EXPECT_EQ(png->frames[0].cgImage.pixel(5, 3), (platform::Image::Pixel{255, 0, 0, 255}));

    const auto gif = Image::fromData(fixture("anim.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(delaysOf(*gif), (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(gif->loopCount, 2);
    EXPECT_EQ(gif->size, (platform::Size{8, 8}));
    EXPECT_EQ(gif->frames[2].cgImage.pixel(0, 0), (platform::Image::Pixel{0, 0, 255, 255}));

    // Animated PNG: 1/2 s, then 1/200 s, which is too short to honour and plays for 0.1 s.
    const auto apng = Image::fromData(fixture("anim.png"));
    ASSERT_TRUE(apng);
    EXPECT_EQ(delaysOf(*apng), (std::vector<double>{0.5, 0.1}));
    EXPECT_EQ(apng->loopCount, 0);

    // Animated WebP: 5 ms (too short) and 300 ms, three loops.
    const auto webp = Image::fromData(fixture("anim.webp"));
    ASSERT_TRUE(webp);
    EXPECT_EQ(delaysOf(*webp), (std::vector<double>{0.1, 0.3}));
    EXPECT_EQ(webp->loopCount, 3);

    // Photos stored sideways (32 × 16 with a quarter-turn recorded) come out upright.
    for (const char* name : {"photo.jpg", "photo.heic"}) {
        const auto photo = Image::fromData(fixture(name));
        ASSERT_TRUE(photo) << name;
        ASSERT_EQ(photo->frames.size(), 1u) << name;
        EXPECT_EQ(photo->size, (platform::Size{16, 32})) << name;
        EXPECT_EQ(photo->frames[0].cgImage.width(), 16) << name;
    }
}

TEST(Image, DelaysTooShortOrMissingPlayForATenthOfASecond) {
    const auto image =
        Image::fromSource(animation({0.25, 0.01, 0.0, -1.0, std::nullopt, 0.011}, 4));
    ASSERT_TRUE(image);
    EXPECT_EQ(delaysOf(*image), (std::vector<double>{0.25, 0.1, 0.1, 0.1, 0.1, 0.011}));
    EXPECT_EQ(image->loopCount, 4);
    // No loop count in the file: endless.
    EXPECT_EQ(Image::fromSource(animation({0.2, 0.2}, std::nullopt))->loopCount, 0);
}

TEST(Image, OneFrameIsAStillWhateverTheFileSays) {
    // A one-frame animation with timing, loops and a larger canvas than its bitmap.
    std::vector<ImageSource::Frame> frames{{bitmap(5, 2), 0.7}};
    const auto image =
        Image::fromSource(ImageSource(ImageFormat::gif, 9, 9, true, 3, std::move(frames)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->frames[0].delayTime, 0);
    EXPECT_EQ(image->loopCount, 0);
    EXPECT_EQ(image->size, (platform::Size{5, 2}));
}

TEST(Image, BytesThatAreNoPictureGiveNothing) {
    EXPECT_FALSE(Image::fromData(platform::Data{}));
    const std::string html = "<!doctype html><html><body>Not found</body></html>";
    EXPECT_FALSE(Image::fromData(platform::Data(html.begin(), html.end())));
    platform::Data cut = fixture("anim.gif");
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(Image::fromData(cut));
    // Within the format, but beyond what the caller lets one picture decode to.
    platform::ImageDecodeLimits tiny;
    tiny.maxPixelCount = 20;
    EXPECT_FALSE(Image::fromData(fixture("still.png"), tiny));
}

TEST(Image, EqualAndHashedByItsFramesPixelsAndTiming) {
    const auto a = Image::fromData(fixture("anim.gif"));
    ASSERT_TRUE(a);
    const Image same = *a;
    const auto decodedAgain = Image::fromData(fixture("anim.gif"));
    EXPECT_EQ(*a, same);
    EXPECT_EQ(std::hash<Image>()(*a), std::hash<Image>()(same));
    // Frames compare as the bitmaps they hold, not by their pixel values.
    EXPECT_NE(*a, *decodedAgain);
    Image slower = *a;
    slower.frames[1].delayTime = 2;
    EXPECT_NE(*a, slower);
    Image looped = *a;
    looped.loopCount = 0;
    EXPECT_NE(*a, looped);
    const std::unordered_set<Image> set{*a, same, *decodedAgain, slower};
    EXPECT_EQ(set.size(), 3u);
}

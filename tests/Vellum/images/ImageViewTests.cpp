#include "Vellum/images/ImageView.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <gtest/gtest.h>
#include <thread>

namespace {

namespace ui = platform::ui;
using Pixel = platform::Image::Pixel;
using vellum::Image;
using vellum::ImageView;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const Pixel red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255},
    yellow{255, 255, 0, 255};

platform::Image solid(const Pixel& p, int width = 2, int height = 2) {
    const std::uint32_t argb =
        0xff000000u | (std::uint32_t(p.red) << 16) | (std::uint32_t(p.green) << 8) | p.blue;
    return {width, height, std::vector<std::uint32_t>(std::size_t(width * height), argb)};
}

Image animation(std::vector<Pixel> colours, double delay, int loopCount) {
    Image image;
    for (const auto& colour : colours)
        image.frames.push_back({solid(colour), delay});
    image.loopCount = loopCount;
    image.size = {2, 2};
    return image;
}

ui::AnyView shown(const Image& image) {
    return ui::AnyView(ImageView(image)).frame(20, 10);
}

Pixel centre(ui::OffscreenHost& host) {
    return host.render().pixel(10, 5);
}

Clock::time_point after(Clock::time_point start, double seconds) {
    return start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace

TEST(ImageView, StillFillsItsFrameWithoutATimeline) {
    Image still;
    still.frames.push_back({solid(green, 3, 1), 0});
    still.size = {3, 1};
    ui::OffscreenHost host(shown(still));
    host.runUntilIdle();
    EXPECT_EQ(host.size(), (platform::Size{20, 10}));
    // Stretched over the whole frame, corners included.
    const platform::Image rendered = host.render();
    EXPECT_EQ(rendered.pixel(0, 0), green);
    EXPECT_EQ(rendered.pixel(19, 9), green);
    EXPECT_FALSE(host.graph().wantsAnimationFrames());

    // No frames at all shows nothing and does not fail.
    host.setRootView(shown(Image()));
    host.runUntilIdle();
    EXPECT_EQ(centre(host).alpha, 0);
}

TEST(ImageView, AnimationPlaysItsLoopsThenStopsRedrawing) {
    const auto start = Clock::now();
    ui::OffscreenHost host(shown(animation({red, green, blue}, 1.0, 1)));
    host.runUntilIdle();
    EXPECT_TRUE(host.graph().wantsAnimationFrames());
    host.graph().advanceFrame(after(start, 0.5));
    EXPECT_EQ(centre(host), red);
    host.graph().advanceFrame(after(start, 1.5));
    EXPECT_EQ(centre(host), green);
    host.graph().advanceFrame(after(start, 2.5));
    EXPECT_EQ(centre(host), blue);
    EXPECT_TRUE(host.graph().wantsAnimationFrames());
    // The single loop is over: the last frame stays and the view asks for no more frames.
    host.graph().advanceFrame(after(start, 3.5));
    host.runUntilIdle();
    EXPECT_EQ(centre(host), blue);
    EXPECT_FALSE(host.graph().wantsAnimationFrames());
}

TEST(ImageView, EndlessAnimationKeepsCyclingUntilTheViewGoes) {
    const auto start = Clock::now();
    ui::OffscreenHost host(shown(animation({red, green}, 1.0, 0)));
    host.runUntilIdle();
    host.graph().advanceFrame(after(start, 100.5));
    EXPECT_EQ(centre(host), red);
    host.graph().advanceFrame(after(start, 101.5));
    EXPECT_EQ(centre(host), green);
    EXPECT_TRUE(host.graph().wantsAnimationFrames());
    host.setRootView(ui::AnyView(ui::Text("gone")));
    host.runUntilIdle();
    EXPECT_FALSE(host.graph().wantsAnimationFrames());
}

TEST(ImageView, ANewImageStartsOverAndAnEqualOneKeepsItsClock) {
    const Image first = animation({red, green, blue}, 0.5, 0);
    ui::OffscreenHost host(shown(first));
    host.runUntilIdle();
    std::this_thread::sleep_for(700ms);
    // About 0.7 s in: the second frame.
    host.graph().advanceFrame(Clock::now());
    ASSERT_EQ(centre(host), green);
    host.setRootView(shown(first));
    host.runUntilIdle();
    host.graph().advanceFrame(Clock::now());
    EXPECT_EQ(centre(host), green);
    // A different image plays from its first frame from the moment it is shown.
    host.setRootView(shown(animation({yellow, blue}, 0.5, 0)));
    host.runUntilIdle();
    host.graph().advanceFrame(Clock::now());
    EXPECT_EQ(centre(host), yellow);
}

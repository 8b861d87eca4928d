#include "Probe.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace ui_test;
using platform::Color;
using platform::Point;
using platform::Rect;
using Bitmap = platform::Image;

namespace {

/// A checkerboard of 2 × 2 opaque pixels: black, white / white, black.
Bitmap checker() {
    const std::vector<std::uint8_t> rgba = {0,   0,   0,   255, 255, 255, 255, 255,
                                            255, 255, 255, 255, 0,   0,   0,   255};
    return Bitmap::fromRGBA(2, 2, rgba);
}

platform::Size sizeOf(AnyView view, ProposedViewSize proposal) {
    OffscreenHost host(std::move(view), proposal);
    return host.size();
}

} // namespace

TEST(Images, SizingFollowsResizingAndContentMode) {
    const Bitmap wide = Bitmap::fromRGBA(20, 10, std::vector<std::uint8_t>(20 * 10 * 4, 255));
    const ProposedViewSize offer{100.0, 80.0};
    EXPECT_EQ(sizeOf(Image(wide), offer), (platform::Size{20, 10}));
    EXPECT_EQ(sizeOf(Image(wide).resizable(), offer), (platform::Size{100, 80}));
    EXPECT_EQ(sizeOf(Image(wide).aspectRatio(std::nullopt, ContentMode::fit), offer),
              (platform::Size{100, 50}));
    EXPECT_EQ(sizeOf(Image(wide).aspectRatio(std::nullopt, ContentMode::fill), offer),
              (platform::Size{160, 80}));
    EXPECT_EQ(sizeOf(Image(wide).aspectRatio(1.0, ContentMode::fit), offer),
              (platform::Size{80, 80}));
    EXPECT_EQ(
        sizeOf(Image(Bitmap()).resizable().aspectRatio(std::nullopt, ContentMode::fit), offer),
        (platform::Size{80, 80}));
}

TEST(Images, WithoutInterpolationPixelsStaySharp) {
    OffscreenHost host(Image(checker()).resizable().interpolation(Interpolation::none),
                       ProposedViewSize{20.0, 20.0});
    const Bitmap image = host.render();
    EXPECT_EQ(image.pixel(9, 5), (Bitmap::Pixel{0, 0, 0, 255}));
    EXPECT_EQ(image.pixel(10, 5), (Bitmap::Pixel{255, 255, 255, 255}));
    EXPECT_EQ(image.pixel(10, 10), (Bitmap::Pixel{0, 0, 0, 255}));
}

TEST(Canvas, RendererDrawsInItsFrameAndPlacesSymbols) {
    auto sizes = std::make_shared<std::vector<platform::Size>>();
    auto missing = std::make_shared<bool>(true);
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {block(10, 10), Canvas(
                                   [sizes, missing](CanvasContext& c, platform::Size s) {
                                       sizes->push_back(s);
                                       c.graphics.fill(Rect{0, 0, 4, 4}, Color(0, 0, 1));
                                       c.drawSymbol(ViewID("dot"), Rect{20, 10, 6, 6});
                                       *missing = c.drawSymbol(ViewID("none"), Rect{0, 0, 6, 6});
                                   },
                                   {{ViewID("dot"), AnyView(Color(1, 0, 0)).frame(6.0, 6.0)}})
                                   .frame(40.0, 30.0)}));
    const Bitmap image = host.render();
    ASSERT_FALSE(sizes->empty());
    EXPECT_EQ(sizes->back(), (platform::Size{40, 30}));
    EXPECT_FALSE(*missing);
    EXPECT_EQ(image.pixel(1, 11), (Bitmap::Pixel{0, 0, 255, 255})); // below the 10-point block
    EXPECT_EQ(image.pixel(22, 22), (Bitmap::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(image.pixel(30, 30).alpha, 0);
}

TEST(StackLayout, SpacerTakesTheRestAlongItsStacksAxis) {
    auto frames = std::make_shared<Frames>();
    OffscreenHost host(HStack(VerticalAlignment::center(), 0.0,
                              {block(10, 10), Spacer(), probe(block(10, 10), frames, "end")}),
                       ProposedViewSize{100.0, 50.0});
    EXPECT_EQ(host.size(), (platform::Size{100, 10}));
    EXPECT_EQ((*frames)["end"].origin.x, 90);
}

TEST(Timeline, RebuildsOnEveryFrameWhileShown) {
    auto dates = std::make_shared<std::vector<std::chrono::steady_clock::time_point>>();
    OffscreenHost host(TimelineView([dates](const TimelineContext& c) {
        dates->push_back(c.date);
        return AnyView(Text("tick"));
    }));
    host.runUntilIdle();
    ASSERT_EQ(dates->size(), 1u);
    EXPECT_TRUE(host.graph().wantsAnimationFrames());
    const auto later = dates->back() + std::chrono::milliseconds(16);
    host.graph().advanceFrame(later);
    ASSERT_EQ(dates->size(), 2u);
    EXPECT_EQ(dates->back(), later);
    host.setRootView(Text("still"));
    host.runUntilIdle();
    EXPECT_FALSE(host.graph().wantsAnimationFrames());
}

TEST(Environment, OpenURLIsAReplaceableAction) {
    struct Opener {
        std::shared_ptr<std::vector<std::string>> opened;
        AnyView body(ViewContext& c) const {
            const auto url = platform::URL::fromString("https://example.test/a");
            opened->push_back(c.environment<OpenURLKey>()(*url) == OpenURLAction::Result::handled
                                  ? "handled"
                                  : "discarded");
            return EmptyView();
        }
    };
    auto opened = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(VStack({Opener{opened}, AnyView(Opener{opened})
                                                   .environment<OpenURLKey>(OpenURLAction(
                                                       [opened](const platform::URL& u) {
                                                           opened->push_back(u.absoluteString());
                                                           return OpenURLAction::Result::handled;
                                                       }))}));
    host.runUntilIdle();
    EXPECT_EQ(*opened,
              (std::vector<std::string>{"discarded", "https://example.test/a", "handled"}));
}

TEST(BadInput, ZeroProposalsAndEmptyContentNeverFail) {
    for (const ProposedViewSize offer :
         {ProposedViewSize::zero(), ProposedViewSize{0.0, std::nullopt},
          ProposedViewSize{infinity, infinity}}) {
        OffscreenHost host(VStack({Text("Some words that need room"), Text(""), Text::box({0, 0}),
                                   Image(Bitmap()).resizable(), Grid({}), ZStack({}),
                                   ScrollView(Text("scrolled"))}),
                           offer);
        const platform::Size s = host.size();
        EXPECT_TRUE(std::isfinite(s.width) && std::isfinite(s.height));
        EXPECT_FALSE(host.render().isNull());
    }
}

TEST(Text, ModifiersLeaveTheirTextAsItWasAndChainsOnTemporariesAgree) {
    // Applied to a named text, a modifier gives a new text; applied to a temporary (a chain) it
    // changes the temporary in place. Both must give the same runs.
    const Text plain = Text("one ") + Text("two").bold();
    const Text styled = plain.italic()
                            .kerning(2)
                            .underline(true, Color::gray(0.2))
                            .customAttribute(std::string("first"))
                            .customAttribute(std::string("second"));
    ASSERT_EQ(plain.runs().size(), 2U);
    for (const Text::Run& r : plain.runs()) {
        EXPECT_FALSE(r.italic);
        EXPECT_EQ(r.attributes->kerning, 0.0);
        EXPECT_EQ(r.attributes->underline, std::nullopt);
        EXPECT_TRUE(r.custom.empty());
    }
    EXPECT_TRUE(plain.runs()[1].bold);

    ASSERT_EQ(styled.runs().size(), 2U);
    for (const Text::Run& r : styled.runs()) {
        EXPECT_TRUE(r.italic);
        EXPECT_EQ(r.attributes->kerning, 2.0);
        EXPECT_TRUE(r.attributes->underline.has_value());
        // An attribute of the same type replaces the one before.
        ASSERT_EQ(r.custom.size(), 1U);
        ASSERT_NE(r.custom[0].as<std::string>(), nullptr);
        EXPECT_EQ(*r.custom[0].as<std::string>(), "second");
    }
    const Text chained = (Text("one ") + Text("two").bold())
                             .italic()
                             .kerning(2)
                             .underline(true, Color::gray(0.2))
                             .customAttribute(std::string("first"))
                             .customAttribute(std::string("second"));
    EXPECT_EQ(chained, styled);
    EXPECT_NE(chained, plain);
}

TEST(Text, RunsThatSharedAttributesOrCustomListsShareTheChangedOnes) {
    // Boxes of their own marks between runs of plain text, as a line of formulas is built: a
    // modifier makes each changed set of attributes once for the runs that shared it, and a
    // custom attribute added to all makes the plain runs' list once, not once after each box.
    Text line;
    constexpr int boxes = 50;
    for (int i = 0; i < boxes; ++i) {
        line += Text::box({10, 10}).customAttribute(i);
        line += Text(" ");
    }
    const Text marked = std::move(line).kerning(1).customAttribute(std::string("text"));
    ASSERT_EQ(marked.runs().size(), std::size_t(2 * boxes));
    std::set<const ViewID*> plainLists;
    std::set<const ViewID*> boxLists;
    for (const Text::Run& r : marked.runs()) {
        (r.box ? boxLists : plainLists).insert(r.custom.begin());
        EXPECT_TRUE(r.attributes.sharesWith(marked.runs().front().attributes));
        EXPECT_EQ(r.attributes->kerning, 1.0);
        ASSERT_EQ(r.custom.size(), r.box ? 2U : 1U);
        EXPECT_EQ(*r.custom[r.custom.size() - 1].as<std::string>(), "text");
    }
    EXPECT_EQ(plainLists.size(), 1U);
    EXPECT_EQ(boxLists.size(), std::size_t(boxes));
    EXPECT_EQ(*marked.runs()[2 * 7].custom[0].as<int>(), 7);
}

TEST(Text, CopiesShareRunsUntilOneChangesAndEachRunKeepsItsOwnCustomAttributes) {
    // A text appended to an empty one, or to itself, and then changed leaves the original alone.
    const Text word = Text("word").customAttribute(1);
    Text joined;
    joined += word;
    joined += joined;
    const Text bolder = std::move(joined).bold();
    ASSERT_EQ(bolder.runs().size(), 2U);
    EXPECT_EQ(bolder.string(), "wordword");
    EXPECT_TRUE(bolder.runs()[1].bold);
    EXPECT_FALSE(word.runs()[0].bold);

    // Runs that carried different attributes each get the new one beside their own; a value of
    // a type a run had replaces that one only.
    const Text mixed =
        (word + Text("plain") + Text("more") + Text("named").customAttribute(std::string("old")))
            .customAttribute(std::string("new"));
    ASSERT_EQ(mixed.runs().size(), 4U);
    const auto values = [](const Text::Run& run) {
        std::vector<std::string> out;
        for (const ViewID& a : run.custom) {
            out.push_back(a.as<int>() != nullptr ? std::to_string(*a.as<int>())
                                                 : *a.as<std::string>());
        }
        return out;
    };
    EXPECT_EQ(values(mixed.runs()[0]), (std::vector<std::string>{"1", "new"}));
    EXPECT_EQ(values(mixed.runs()[1]), (std::vector<std::string>{"new"}));
    EXPECT_EQ(values(mixed.runs()[2]), (std::vector<std::string>{"new"}));
    EXPECT_EQ(values(mixed.runs()[3]), (std::vector<std::string>{"new"}));
    EXPECT_EQ(values(word.runs()[0]), (std::vector<std::string>{"1"}));
}

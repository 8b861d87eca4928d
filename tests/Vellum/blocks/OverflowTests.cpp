// The overflow container in both modes: what state its content is handed and when, how it is laid
// out (scrolled sideways at the visible width, or across the available width), which text layouts
// it lets through to the enclosing selection, and the scrolling frames it publishes.

#include "Vellum/blocks/Overflow.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using platform::Rect;
using platform::Size;
using platform::ui::AnyView;
using platform::ui::OffscreenHost;
using platform::ui::ProposedViewSize;
using vellum::Overflow;
using vellum::OverflowFrameKey;
using vellum::OverflowMode;
using vellum::OverflowModeKey;
using vellum::OverflowState;
namespace ui = platform::ui;

// Content of a fixed size that records every state it is built for and where it was last placed.
struct Recorded {
    std::vector<OverflowState> states;
    Rect frame;
};

AnyView recordingOverflow(const std::shared_ptr<Recorded>& recorded, Size size) {
    return AnyView(Overflow([recorded, size](const OverflowState& state) {
        recorded->states.push_back(state);
        return AnyView(platform::Color(1, 0, 0, 1))
            .frame(size.width, size.height)
            .onGeometryChange<Rect>(
                [](const ui::GeometryProxy& proxy) {
                    return proxy.frame(ui::CoordinateSpace::global());
                },
                [recorded](const Rect& /*old*/, const Rect& frame) { recorded->frame = frame; });
    }));
}

TEST(OverflowScroll, ContentGetsTheVisibleWidthAfterTheFirstPassAndScrolls) {
    auto recorded = std::make_shared<Recorded>();
    OffscreenHost host(recordingOverflow(recorded, {600, 40}), ProposedViewSize(300, std::nullopt));
    host.runUntilIdle();
    ASSERT_GE(recorded->states.size(), 2U);
    EXPECT_EQ(recorded->states.front(), OverflowState::scroll(std::nullopt));
    EXPECT_EQ(recorded->states.back(), OverflowState::scroll(300.0));
    // The region takes the offered width and the content's height; the content keeps its width.
    EXPECT_EQ(host.size(), Size(300, 40));
    EXPECT_EQ(recorded->frame, Rect(0, 0, 600, 40));

    host.scroll({150, 20}, 100, 0);
    host.runUntilIdle();
    EXPECT_EQ(recorded->frame.minX(), -100);

    // A narrower window hands the content the new visible width.
    host.setProposal(ProposedViewSize(200, std::nullopt));
    host.runUntilIdle();
    EXPECT_EQ(recorded->states.back(), OverflowState::scroll(200.0));
    EXPECT_EQ(host.size(), Size(200, 40));
}

// Content smaller than an unsized view sits centred in ten points each way.
TEST(OverflowScroll, TinyContentIsCentredInTenPoints) {
    auto recorded = std::make_shared<Recorded>();
    OffscreenHost host(recordingOverflow(recorded, {4, 6}), ProposedViewSize(300, std::nullopt));
    host.runUntilIdle();
    EXPECT_EQ(host.size(), Size(300, 10));
    EXPECT_EQ(recorded->frame, Rect(3, 2, 4, 6));
}

TEST(OverflowWrap, ContentFillsTheWidthAtItsLeadingEdge) {
    auto recorded = std::make_shared<Recorded>();
    auto frames = std::make_shared<std::optional<std::vector<Rect>>>();
    const AnyView root = recordingOverflow(recorded, {100, 20})
                             .onPreferenceChange<OverflowFrameKey>(
                                 [frames](const std::vector<Rect>& value) { *frames = value; })
                             .environment<OverflowModeKey>(OverflowMode::wrap);
    OffscreenHost host(root, ProposedViewSize(300, std::nullopt));
    host.runUntilIdle();
    ASSERT_FALSE(recorded->states.empty());
    for (const OverflowState& state : recorded->states) {
        EXPECT_EQ(state, OverflowState::wrap());
    }
    EXPECT_EQ(host.size(), Size(300, 20));
    EXPECT_EQ(recorded->frame, Rect(0, 0, 100, 20));
    // No scrolling region to publish.
    EXPECT_TRUE(!frames->has_value() || (*frames)->empty());
}

// Two overflows below a heading, in a text container whose origin is 10 points in.
TEST(OverflowScroll, EachScrollingRegionPublishesItsFrameInTheTextContainer) {
    auto frames = std::make_shared<std::vector<Rect>>();
    const auto content = [](const OverflowState&) {
        return AnyView(platform::Color(0, 0, 1, 1)).frame(500, 30);
    };
    const AnyView document =
        AnyView(ui::VStack(ui::HorizontalAlignment::leading(), 0,
                           {AnyView(platform::Color::clear()).frame(100, 20),
                            AnyView(Overflow(content)), AnyView(Overflow(content))}))
            .coordinateSpace(vellum::textContainerSpace)
            .onPreferenceChange<OverflowFrameKey>(
                [frames](const std::vector<Rect>& value) { *frames = value; })
            .padding(10);
    OffscreenHost host(document, ProposedViewSize(220, std::nullopt));
    host.runUntilIdle();
    EXPECT_EQ(*frames, (std::vector<Rect>{Rect(0, 20, 200, 30), Rect(0, 50, 200, 30)}));

    // A document without any: the key's empty default.
    auto none = std::make_shared<std::vector<Rect>>(1);
    OffscreenHost plain(AnyView(ui::Text("no overflow"))
                            .onPreferenceChange<OverflowFrameKey>(
                                [none](const std::vector<Rect>& value) { *none = value; }),
                        ProposedViewSize(200, std::nullopt));
    plain.runUntilIdle();
    EXPECT_TRUE(none->empty());
}

// A scrolling region inside another: the frames of both are published, the inner one first, and
// the outer region's own does not replace those of its content.
TEST(OverflowScroll, ANestedRegionPublishesItsFrameBeforeTheEnclosingOne) {
    auto frames = std::make_shared<std::vector<Rect>>();
    const AnyView document =
        AnyView(Overflow([](const OverflowState&) {
            return AnyView(
                ui::VStack(ui::HorizontalAlignment::leading(), 0,
                           {AnyView(platform::Color::clear()).frame(100, 20),
                            AnyView(Overflow([](const OverflowState&) {
                                return AnyView(platform::Color(0, 0, 1, 1)).frame(500, 30);
                            }))}));
        }))
            .coordinateSpace(vellum::textContainerSpace)
            .onPreferenceChange<OverflowFrameKey>(
                [frames](const std::vector<Rect>& value) { *frames = value; });
    OffscreenHost host(document, ProposedViewSize(200, std::nullopt));
    host.runUntilIdle();
    // The inner region is as wide as its content: the outer one offers it no width.
    EXPECT_EQ(*frames, (std::vector<Rect>{Rect(0, 20, 500, 30), Rect(0, 0, 200, 50)}));
}

// Scrolled or wrapped, the region's text is the enclosing text's: one selection (and a copy of
// all of it) runs through it.
TEST(OverflowScroll, ScrolledTextJoinsTheEnclosingSelection) {
    for (const OverflowMode mode : {OverflowMode::scroll, OverflowMode::wrap}) {
        SCOPED_TRACE(mode == OverflowMode::scroll ? "scroll" : "wrap");
        auto layouts = std::make_shared<std::size_t>(0);
        const AnyView root =
            AnyView(ui::VStack(
                        {AnyView(ui::Text("outside")), AnyView(Overflow([](const OverflowState&) {
                             return AnyView(ui::Text("inside"));
                         }))}))
                .onPreferenceChange<ui::Text::LayoutKey>(
                    [layouts](const ui::Text::LayoutKey::Value& value) { *layouts = value.size(); })
                .environment<OverflowModeKey>(mode);
        OffscreenHost host(root, ProposedViewSize(300, std::nullopt));
        host.runUntilIdle();
        EXPECT_EQ(*layouts, 2U);
    }
}

} // namespace

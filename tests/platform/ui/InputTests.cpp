#include "Probe.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ui_test;
using platform::Point;
using platform::Rect;

TEST(Input, TapsReachTheFrontmostViewWithLocalLocationsAndCounts) {
    auto taps = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(HStack(
        VerticalAlignment::top(), 0.0,
        {block(50, 50).onTapGesture([taps](Point p) {
             taps->push_back("single " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
         }),
         block(50, 50)
             .onTapGesture(2, [taps](Point) { taps->push_back("double"); })
             .overlay(block(10, 10).onTapGesture([taps](Point) { taps->push_back("badge"); }),
                      Alignment::topLeading())}));
    host.click({10, 20});
    host.click({80, 30});
    host.click({80, 30}, 2);
    host.click({55, 5});
    EXPECT_EQ(*taps, (std::vector<std::string>{"single 10,20", "double", "badge"}));
}

namespace {

class Recorder final : public InteractionObject {
public:
    std::vector<std::string> log;
    Rect frame;
    bool hitTest(Point p) const override { return p.x < 40; }
    bool pointerDown(const PointerEvent& e) override {
        log.push_back("down " + std::to_string(int(e.location.x)));
        return true;
    }
    bool pointerDragged(const PointerEvent& e) override {
        log.push_back("drag " + std::to_string(int(e.location.x)));
        return true;
    }
    bool pointerUp(const PointerEvent&) override {
        log.push_back("up");
        return true;
    }
    bool keyDown(const KeyEvent& e) override {
        log.push_back("key " + e.key);
        return true;
    }
    void focusChanged(bool focused) override { log.push_back(focused ? "focus" : "blur"); }
    std::vector<MenuItem> contextMenu(Point) override { return {{"Copy", true, {}, false}}; }
    std::optional<CursorShape> cursor(Point) const override { return CursorShape::iBeam; }
    void frameChanged(Rect f) override { frame = f; }
};

} // namespace

TEST(Input, InteractionObjectsTakePointerKeysFocusMenusAndCursors) {
    auto recorder = std::make_shared<Recorder>();
    auto behind = std::make_shared<int>(0);
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {block(100, 20), block(100, 40)
                                    .onTapGesture([behind](Point) { ++*behind; })
                                    .overlay(AnyView(platform::Color::clear())
                                                 .interaction(recorder)
                                                 .cursor(CursorShape::pointingHand))}));
    host.runUntilIdle();
    EXPECT_EQ(recorder->frame, (Rect{0, 20, 100, 40}));

    host.pointer({PointerEvent::Kind::down, {10, 30}});
    host.pointer({PointerEvent::Kind::dragged, {25, 35}});
    host.pointer({PointerEvent::Kind::up, {25, 35}});
    host.key("Left");
    EXPECT_EQ(recorder->log,
              (std::vector<std::string>{"down 10", "focus", "drag 25", "up", "key Left"}));
    EXPECT_TRUE(host.graph().hasFocus());

    // Points the object declines reach the views below it.
    host.click({70, 30});
    EXPECT_EQ(*behind, 1);
    EXPECT_EQ(recorder->log.back(), "blur");
    EXPECT_FALSE(host.graph().hasFocus());

    EXPECT_EQ(host.graph().cursor({10, 30}), CursorShape::iBeam);
    EXPECT_EQ(host.graph().cursor({70, 30}), CursorShape::pointingHand);
    EXPECT_EQ(host.graph().cursor({70, 10}), CursorShape::arrow);
    const auto menu = host.graph().contextMenu({10, 30});
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].title, "Copy");
    EXPECT_TRUE(host.graph().contextMenu({70, 30}).empty());
}

TEST(Input, KeysGoToTheFirstObjectBeforeAClickAndToTheNearestAfterOneBesideIt) {
    // Two objects, each in a padded box; nothing has had a click.
    auto first = std::make_shared<Recorder>();
    auto second = std::make_shared<Recorder>();
    const auto boxed = [](const std::shared_ptr<Recorder>& recorder) {
        return block(30, 20)
            .overlay(AnyView(platform::Color::clear()).interaction(recorder))
            .padding(10);
    };
    OffscreenHost host(VStack(HorizontalAlignment::leading(), 0.0, {boxed(first), boxed(second)}));
    host.runUntilIdle();
    host.key("Left");
    EXPECT_EQ(first->log, (std::vector<std::string>{"focus", "key Left"}));
    EXPECT_TRUE(second->log.empty());

    // A press beside the second object, in its box's padding, gives it the keys.
    host.click({45, 45});
    host.key("Right");
    EXPECT_EQ(second->log, (std::vector<std::string>{"focus", "key Right"}));
    EXPECT_EQ(first->log.back(), "blur");
    // And one in the first box's padding gives them back to the first.
    host.click({45, 5});
    EXPECT_EQ(first->log.back(), "focus");
}

TEST(Input, ContinuousHoverReportsLocalLocationsAndItsEnd) {
    auto phases = std::make_shared<std::vector<std::string>>();
    OffscreenHost host(VStack(
        HorizontalAlignment::leading(), 0.0,
        {block(30, 30), block(30, 30).onContinuousHover([phases](HoverPhase h) {
             phases->push_back(h.kind == HoverPhaseKind::active ? std::to_string(int(h.location.y))
                                                                : "ended");
         })}));
    host.pointer({PointerEvent::Kind::moved, {5, 40}});
    host.pointer({PointerEvent::Kind::moved, {5, 45}});
    host.pointer({PointerEvent::Kind::moved, {5, 5}});
    EXPECT_EQ(*phases, (std::vector<std::string>{"10", "15", "ended"}));
}

TEST(Input, HorizontalScrollViewScrollsAndReportsItsGeometry) {
    auto geometry = std::make_shared<ScrollGeometry>();
    auto frames = std::make_shared<Frames>();
    OffscreenHost host(
        ScrollView(
            HStack(VerticalAlignment::top(), 0.0, {probe(block(150, 20), frames, "content")}))
            .onScrollGeometryChange(
                [geometry](const ScrollGeometry&, const ScrollGeometry& g) { *geometry = g; }),
        ProposedViewSize{100.0, 50.0});
    host.runUntilIdle();
    EXPECT_EQ(host.size(), (platform::Size{100, 20}));
    EXPECT_EQ(geometry->containerSize.width, 100);
    EXPECT_EQ(geometry->contentSize.width, 150);
    EXPECT_EQ(geometry->contentOffset.x, 0);

    host.scroll({50, 10}, 30, 0);
    EXPECT_EQ(geometry->contentOffset.x, 30);
    EXPECT_EQ((*frames)["content"].origin.x, -30);
    // Never past the end.
    host.scroll({50, 10}, 500, 0);
    EXPECT_EQ(geometry->contentOffset.x, 50);
    // Outside the scroll view nothing moves.
    host.scroll({50, 40}, -10, 0);
    EXPECT_EQ(geometry->contentOffset.x, 50);
}

// A rectangle the tree asks to see scrolls the horizontal scroll view at its height by the least
// that brings it in; asked again before a layout pass has placed the content anew (keys held
// down), it scrolls from where the last request left it, not again as far.
TEST(Input, AScrollViewScrollsSidewaysToShowARectangleAtItsHeight) {
    auto geometry = std::make_shared<ScrollGeometry>();
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 0.0,
               {block(100, 30), ScrollView(HStack(VerticalAlignment::top(), 0.0, {block(400, 20)}))
                                    .onScrollGeometryChange(
                                        [geometry](const ScrollGeometry&, const ScrollGeometry& g) {
                                            *geometry = g;
                                        })}),
        ProposedViewSize{100.0, std::nullopt});
    host.runUntilIdle();
    ViewGraph& graph = host.graph();
    EXPECT_EQ(graph.scrollToShow(platform::Rect(150, 35, 1, 1)).minX(), 99);
    graph.scrollToShow(platform::Rect(150, 35, 1, 1));
    host.runUntilIdle();
    EXPECT_EQ(geometry->contentOffset.x, 51);
    // Back to the left, as far as the rectangle's left edge.
    graph.scrollToShow(platform::Rect(-5, 40, 1, 1));
    host.runUntilIdle();
    EXPECT_EQ(geometry->contentOffset.x, 46);
    // Shown already, or at another height: nothing moves.
    graph.scrollToShow(platform::Rect(50, 40, 1, 1));
    graph.scrollToShow(platform::Rect(350, 10, 1, 1));
    host.runUntilIdle();
    EXPECT_EQ(geometry->contentOffset.x, 46);
}

// Aligning on the middle of the first line of text: a small square beside one line or several
// lines of text sits level with the first line.

#include "Vellum/style/FirstTextCenterAlignment.hpp"
#include "platform/ui/UI.hpp"

#include <gtest/gtest.h>
#include <memory>

namespace {

using platform::Font;
using platform::Rect;
using platform::ui::AnyView;
using platform::ui::CoordinateSpace;
using platform::ui::GeometryProxy;
using platform::ui::HStack;
using platform::ui::OffscreenHost;
using platform::ui::Rectangle;
using platform::ui::Text;

struct Frames {
    Rect text;
    Rect marker;
};

// Lays a 4 × 4 square out beside `text`, aligned on the first text centre, and reports both
// frames.
Frames layOut(const std::string& text) {
    auto frames = std::make_shared<Frames>();
    const auto report = [](Rect* into) {
        return [into](const Rect&, const Rect& now) { *into = now; };
    };
    const auto frameOf = [](const GeometryProxy& g) { return g.frame(CoordinateSpace::global()); };
    AnyView view = AnyView(HStack(vellum::firstTextCenter(), 0,
                                  {AnyView(Text(text).font(Font::system(20.0)))
                                       .onGeometryChange<Rect>(frameOf, report(&frames->text)),
                                   AnyView(Rectangle().frame(4, 4))
                                       .onGeometryChange<Rect>(frameOf, report(&frames->marker))}));
    OffscreenHost host(view);
    (void)host.size();
    host.runUntilIdle();
    return *frames;
}

double middleY(const Rect& r) {
    return r.origin.y + r.size.height / 2;
}

TEST(FirstTextCenterAlignmentTest, MarkersSitLevelWithTheFirstLine) {
    const Frames single = layOut("One line");
    ASSERT_GT(single.text.size.height, 4);
    EXPECT_NEAR(middleY(single.marker), middleY(single.text), 0.5);

    // With three lines the marker stays at the middle of the first one, not of the block.
    const Frames three = layOut("First\nSecond\nThird");
    const double lineHeight = single.text.size.height;
    ASSERT_GT(three.text.size.height, 2.5 * lineHeight);
    EXPECT_NEAR(middleY(three.marker), three.text.origin.y + lineHeight / 2, 1.0);
}

} // namespace

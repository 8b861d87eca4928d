// What a selectable document asks its host to scroll into view: the end of the selection that the
// keyboard moves, and the pointer of a drag, so that a drag held beyond the part shown scrolls
// towards it.

#include "DocumentTestSupport.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vellum {
namespace {

using platform::Point;
using platform::Rect;
using platform::ui::PointerEvent;

TEST(SelectionScroll, TheMovedEndAndTheDraggingPointerAreAskedIntoView) {
    test::SelectableDocument document("First paragraph :smile: of the text.\n\n"
                                      "Second paragraph, a line below.\n\nThird paragraph.\n");
    ASSERT_TRUE(document.shown());
    const auto asked = std::make_shared<std::vector<Rect>>();
    platform::ui::EnvironmentValues environment = document.host().graph().environment();
    environment.set<platform::ui::ScrollRectToVisibleKey>(
        platform::ui::ScrollRectToVisibleAction([asked](Rect rect) { asked->push_back(rect); }));
    document.host().graph().setEnvironment(environment);
    document.host().runUntilIdle();

    // A word selected, its end taken a line down: the end's caret is asked into view.
    const Point word = document.at("paragraph", 2);
    document.host().pointer({PointerEvent::Kind::down, word, 1, 1, {}});
    document.host().pointer({PointerEvent::Kind::up, word, 1, 1, {}});
    document.host().pointer({PointerEvent::Kind::down, word, 1, 2, {}});
    document.host().pointer({PointerEvent::Kind::up, word, 1, 2, {}});
    ASSERT_TRUE(asked->empty());
    document.host().key("Down", {}, {.shift = true});
    ASSERT_TRUE(document.selectedRange().has_value());
    ASSERT_EQ(asked->size(), 1U);
    EXPECT_EQ(asked->back(), caretRect(document.collection(), document.selectedRange()->end));
    EXPECT_GT(asked->back().minY(), word.y);
    // Collapsed to the next word's end: the caret too.
    document.host().key("Right", {}, {.control = true});
    ASSERT_EQ(asked->size(), 2U);
    EXPECT_EQ(asked->back(), caretRect(document.collection(), document.selectedRange()->end));

    // A drag far below the text asks for the pointer's place, wherever it is.
    document.host().pointer({PointerEvent::Kind::down, word, 1, 1, {}});
    document.host().pointer({PointerEvent::Kind::dragged, {30, 5000}, 1, 1, {}});
    EXPECT_EQ(asked->back(), (Rect{30, 5000, 1, 1}));
    document.host().pointer({PointerEvent::Kind::up, {30, 5000}, 1, 1, {}});
}

} // namespace
} // namespace vellum

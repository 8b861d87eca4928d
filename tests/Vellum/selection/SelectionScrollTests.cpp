// What a selectable document asks its host to scroll into view: the end of the selection that the
// keyboard moves, and the pointer of a drag, so that a drag held beyond the part shown scrolls
// towards it.

#include "DocumentTestSupport.hpp"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
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

// Scrolling a document laid out to its end changes no text's layout or place: it re-runs no
// body for the selection (no highlight, no new set of texts), however long the document.
TEST(SelectionScroll, ScrollingALaidOutDocumentRerunsNothingForTheSelection) {
    std::string markdown = "First paragraph :smile: of the text.\n\n";
    for (int i = 0; i < 400; ++i) {
        markdown +=
            "Paragraph " + std::to_string(i) + " of a long document, with *some* words.\n\n";
    }
    test::SelectableDocument document(markdown, Rect(0, 0, 560, 600));
    ASSERT_TRUE(document.shown());
    while (document.host().graph().layOutDeferred(std::chrono::seconds(5))) {
    }
    document.host().runUntilIdle();
    const auto& graph = document.host().graph();
    const std::size_t texts = document.collection().layoutCount();
    ASSERT_GT(texts, 400U);
    const auto before = graph.statistics();
    for (int step = 1; step <= 10; ++step) {
        document.show(Rect(0, 40.0 * step, 560, 600));
    }
    const auto after = graph.statistics();
    EXPECT_EQ(document.collection().layoutCount(), texts);
    EXPECT_LT(after.bodyEvaluations - before.bodyEvaluations, 100U);
}

// Rows laid out in idle time, a few at a time, add their texts to the selectable ones: that
// re-runs the highlights of the new texts only, not of every text laid out before (which made
// laying out a long document cost the square of its length).
TEST(SelectionScroll, RowsLaidOutLaterRerunNoHighlightOfTheTextsBefore) {
    std::string markdown = "First paragraph :smile: of the text.\n\n";
    for (int i = 0; i < 300; ++i) {
        markdown +=
            "Paragraph " + std::to_string(i) + " of a long document, with *some* words.\n\n";
    }
    test::SelectableDocument document(markdown, Rect(0, 0, 560, 600));
    ASSERT_TRUE(document.shown());
    const auto& graph = document.host().graph();
    const std::uint64_t before = graph.statistics().bodyEvaluations;
    int steps = 0;
    while (document.host().graph().layOutDeferred(std::chrono::microseconds(1))) {
        document.host().runUntilIdle();
        ++steps;
    }
    document.host().runUntilIdle();
    const std::size_t texts = document.collection().layoutCount();
    ASSERT_GT(texts, 300U);
    ASSERT_GT(steps, 10);
    // Each row builds a handful of views; a pass over every text laid out before, per step,
    // would be thousands.
    EXPECT_LT(graph.statistics().bodyEvaluations - before, 20 * texts);
}

} // namespace
} // namespace vellum

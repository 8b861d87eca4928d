// What a selectable document asks its host to scroll into view: the end of the selection that the
// keyboard moves, and the pointer of a drag, so that a drag held beyond the part shown scrolls
// towards it.

#include "DocumentTestSupport.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
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

// The rows above the part shown first are laid out later, their texts coming before the texts
// shown (each text's highlight first ran before its text was one of the selectable ones): the
// highlights of the texts shown follow the selection from one text to the next.
TEST(SelectionScroll, TextsLaidOutAboveKeepTheHighlightsOfTheTextsBelow) {
    std::string markdown;
    for (int i = 0; i < 200; ++i) {
        markdown += "Paragraph " + std::to_string(i) + " of a long document.\n\n";
    }
    markdown += "Next to last paragraph.\n\nLast paragraph :smile: of the text.\n";
    test::SelectableDocument document(markdown, Rect(0, 1000000, 560, 600));
    ASSERT_TRUE(document.shown());
    const auto textOf = [&](std::string_view needle) {
        const std::optional<std::size_t> l = document.textHolding(needle);
        EXPECT_TRUE(l.has_value()) << needle;
        return l.value_or(0);
    };
    const auto wholeText = [&](std::size_t l) {
        const auto& c = document.collection();
        return TextRange{*positionForCharacterIndex(c, l, 0),
                         *positionForCharacterIndex(c, l, c.layout(l).length() - 1)};
    };
    const std::size_t lastBefore = textOf("Last paragraph");
    document.select(wholeText(lastBefore));
    while (document.host().graph().layOutDeferred(std::chrono::seconds(5))) {
    }
    document.host().runUntilIdle();
    ASSERT_GT(textOf("Last paragraph"), lastBefore + 100);
    const double height = document.host().graph().size().height;
    document.show(Rect(0, height - 600, 560, 600));

    // Pixels of the text holding `needle` that differ between two pictures of the part shown.
    const auto changedIn = [&](const platform::Image& a, const platform::Image& b,
                               std::string_view needle) {
        const TextLayout& text = document.collection().layout(textOf(needle));
        const Rect visible = *document.host().graph().visibleRect();
        const Rect box = text.bounds().offsetBy(text.origin().x, text.origin().y - visible.minY());
        int changed = 0;
        for (int y = std::max(0, int(box.minY())); y < std::min(a.height(), int(box.maxY())); ++y) {
            for (int x = std::max(0, int(box.minX())); x < std::min(a.width(), int(box.maxX()));
                 ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(a.width()) + std::size_t(x);
                changed += a.pixels()[i] != b.pixels()[i] ? 1 : 0;
            }
        }
        return changed;
    };
    const platform::Image lastSelected = document.host().render();
    document.select(wholeText(textOf("Next to last")));
    const platform::Image nextSelected = document.host().render();
    // Each text lit in one picture, not in the other.
    EXPECT_GT(changedIn(lastSelected, nextSelected, "Last paragraph"), 100);
    EXPECT_GT(changedIn(lastSelected, nextSelected, "Next to last"), 100);
}

} // namespace
} // namespace vellum

// A lazy document shown at its top measures its last block (for its baseline) without placing
// it. That block's text is the document's, so ranges and copies reach it, but it has no position
// until it is placed: hit testing, highlights, carets and moves by line must not find it at the
// document's top meanwhile, and find it where it stands once placed.

#include "DocumentTestSupport.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vellum {
namespace {

using platform::Point;
using platform::Rect;

TEST(UnplacedText, ATextMeasuredButNotPlacedHasNoPositionUntilItIsPlaced) {
    std::string markdown = "First paragraph :smile: of the text.\n\nSecond paragraph.\n\n";
    for (int i = 0; i < 150; ++i) {
        markdown += "Paragraph " + std::to_string(i) + " of a long document.\n\n";
    }
    // Several lines: where it was published at the document's top, it reached over the gap
    // between the first two paragraphs.
    std::string closing = "Closing paragraph";
    for (int i = 0; i < 12; ++i) {
        closing += ", with words enough to run over several lines";
    }
    markdown += closing + ".\n";
    test::SelectableDocument document(markdown, Rect(0, 0, 560, 600));
    ASSERT_TRUE(document.shown());

    const auto index = [&](const char* needle) {
        const std::optional<std::size_t> l = document.textHolding(needle);
        EXPECT_TRUE(l.has_value()) << needle;
        return l.value_or(0);
    };
    const std::size_t first = index("First paragraph");
    const std::size_t second = index("Second paragraph");
    const std::size_t last = index("Closing paragraph");
    // The texts placed for the part shown come before it, the rows between them never built.
    ASSERT_LT(second, last);
    ASSERT_LT(index("Paragraph 10 "), last);
    const auto wholeText = [&](std::size_t l) {
        const auto& c = document.collection();
        return TextRange{*positionForCharacterIndex(c, l, 0),
                         *positionForCharacterIndex(c, l, long(c.layout(l).length()))};
    };
    const auto layoutOf = [&](std::size_t l) -> const platform::ui::Text::Layout& {
        return dynamic_cast<const LiveTextLayout&>(document.collection().layout(l)).base();
    };

    {
        const TextLayoutCollection& c = document.collection();
        EXPECT_FALSE(c.layout(last).placed());
        EXPECT_TRUE(c.layout(first).placed());
        // A press between the first two paragraphs finds one of them, not the last text.
        const Rect a = c.layoutFrames()[first];
        const Rect b = c.layoutFrames()[second];
        ASSERT_LT(a.maxY(), b.minY());
        const std::optional<TextPosition> pressed =
            closestPosition(c, {a.minX() + 4, (a.maxY() + b.minY()) / 2});
        ASSERT_TRUE(pressed.has_value());
        EXPECT_TRUE(pressed->indexPath.layout == first || pressed->indexPath.layout == second)
            << pressed->indexPath.layout;
        // Its selection has no rectangles, neither in the document nor in its own highlight, and
        // its caret none to scroll to; the copy has its text all the same.
        document.select(wholeText(last));
        EXPECT_TRUE(buildSelectionRects(document.collection(), wholeText(last)).empty());
        EXPECT_TRUE(
            selectionRectsInLayout(document.collection(), wholeText(last), layoutOf(last)).empty());
        EXPECT_TRUE(caretRect(document.collection(), wholeText(last).end).isNull());
        EXPECT_EQ(document.copied().plainText, closing + ".");
    }
    {
        // A line down from the last text placed would carry its column into a text without a
        // position: the move waits for that text's placement.
        const TextLayoutCollection& c = document.collection();
        const std::size_t lastPlaced = last - 1;
        ASSERT_TRUE(c.layout(lastPlaced).placed());
        const TextPosition end = wholeText(lastPlaced).end;
        const std::optional<TextPosition> below = positionBelow(c, end, end);
        EXPECT_FALSE(below && below->indexPath.layout == last);
    }

    // Scrolled to the end, the text is placed and found where it stands; the selection made
    // before lights it up there.
    document.show(Rect(0, document.host().graph().size().height - 600, 560, 600));
    const std::size_t placed = index("Closing paragraph");
    const TextLayoutCollection& c = document.collection();
    ASSERT_TRUE(c.layout(placed).placed());
    const Rect frame = c.layoutFrames()[placed];
    ASSERT_FALSE(frame.isNull());
    EXPECT_GT(frame.minY(), 2000);
    {
        const platform::Image lit = document.host().render();
        document.select(TextRange{wholeText(placed).start, wholeText(placed).start});
        const platform::Image unlit = document.host().render();
        const Rect box = frame.offsetBy(0, -document.host().graph().visibleRect()->minY());
        int changed = 0;
        for (int y = std::max(0, int(box.minY())); y < std::min(lit.height(), int(box.maxY()));
             ++y) {
            for (int x = std::max(0, int(box.minX())); x < std::min(lit.width(), int(box.maxX()));
                 ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(lit.width()) + std::size_t(x);
                changed += lit.pixels()[i] != unlit.pixels()[i] ? 1 : 0;
            }
        }
        EXPECT_GT(changed, 1000);
    }
    const Point middle{frame.minX() + 20, frame.midY()};
    const std::optional<TextPosition> pressed = closestPosition(c, middle);
    ASSERT_TRUE(pressed.has_value());
    EXPECT_EQ(pressed->indexPath.layout, placed);
    document.select(wholeText(placed));
    const std::vector<TextSelectionRect> rects =
        buildSelectionRects(document.collection(), wholeText(placed));
    ASSERT_FALSE(rects.empty());
    EXPECT_TRUE(frame.insetBy(-1, -1).contains(rects.front().rect.origin));
    EXPECT_FALSE(
        selectionRectsInLayout(document.collection(), wholeText(placed), layoutOf(placed)).empty());
    const Rect caret = caretRect(document.collection(), wholeText(placed).end);
    ASSERT_FALSE(caret.isNull());
    EXPECT_TRUE(frame.insetBy(-1, -1).contains(caret.origin));
}

} // namespace
} // namespace vellum

// Where a selection's work is cut short: only the texts whose share of the selection may change
// are told of a new range; the highlight is drawn on whole pixels that cover the selected lines
// to their last row; and a tap is taken where the text stands, wherever that is in the window.

#include "DocumentTestSupport.hpp"
#include "TextLayoutTestSupport.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "Vellum/selection/TextSelectionModel.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"
#include "platform/observation/ObservationTracking.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vellum::selection_edge_test {

namespace ui = platform::ui;
using test::fragment;
using test::kAdvance;
using test::kFontSize;
using test::LaidOutTexts;

// Watches the highlight of each text of `texts` in `model`: `told[i]` counts the notifications
// the highlight of text i received since the last `watch`.
struct HighlightWatch {
    const LaidOutTexts& texts;
    TextSelectionModel& model;
    std::vector<std::shared_ptr<int>> told;
    std::vector<std::vector<platform::Rect>> drawn;

    void watch() {
        told.clear();
        drawn.clear();
        for (const auto& anchored : texts.anchored()) {
            auto counter = std::make_shared<int>(0);
            std::vector<platform::Rect> rects;
            platform::withObservationTracking(
                [&] { rects = model.selectionRects(anchored.layout); }, [counter] { ++*counter; });
            told.push_back(counter);
            drawn.push_back(std::move(rects));
        }
    }
};

TextRange between(const TextLayoutCollection& c, std::size_t fromText, long fromIndex,
                  std::size_t toText, long toIndex) {
    return {*positionForCharacterIndex(c, fromText, fromIndex),
            *positionForCharacterIndex(c, toText, toIndex)};
}

TEST(SelectionHighlight, EveryTextWhoseShareChangesIsToldOfTheNewRange) {
    const LaidOutTexts texts({fragment("zero"), fragment("one"), fragment("two"), fragment("three"),
                              fragment("four"), fragment("five")});
    const auto& c = texts.collection();
    TextSelectionModel model;
    model.updateLayoutCollection(AnyTextLayoutCollection(texts.shared()));
    HighlightWatch highlights{texts, model, {}, {}};

    // From a range in one text, extended forward over two, back behind its start, shrunk, moved
    // and cleared: every text whose highlight changes is told, whatever lies between.
    const std::vector<std::optional<TextRange>> steps = {
        between(c, 1, 1, 1, 2), between(c, 1, 1, 4, 2),
        between(c, 0, 1, 4, 2), between(c, 0, 1, 1, 2),
        between(c, 3, 0, 5, 3), between(c, 0, 0, 5, 4),
        between(c, 2, 1, 3, 1), std::nullopt};
    for (const std::optional<TextRange>& step : steps) {
        SCOPED_TRACE(step ? step->description() : "none");
        highlights.watch();
        const auto was = highlights.drawn;
        model.setSelectedRange(step);
        const auto told = highlights.told;
        highlights.watch();
        for (std::size_t i = 0; i < told.size(); ++i) {
            if (highlights.drawn[i] != was[i]) {
                EXPECT_GT(*told[i], 0) << "text " << i << " changed its highlight untold";
            }
        }
    }
}

// A selectable document of four paragraphs: a drag in the second and a shift-click in the
// fourth light up the third, between them.
TEST(SelectionHighlight, AShiftClickOverAParagraphLightsItUp) {
    test::SelectableDocument document(
        "First :smile: words.\n\nSecond words here.\n\nThird words here.\n\nFourth words here.");
    ASSERT_TRUE(document.shown());
    document.drag(document.at("Second", 1), document.at("Second", 3));
    ASSERT_TRUE(document.selectedRange());
    const auto highlighted = [&document] {
        // The third paragraph's gap between "Third" and "words": only the highlight fills it.
        const platform::Point left = document.at("Third words", 5);
        const platform::Point right = document.at("Third words", 6);
        const platform::Image image = document.host().render();
        const auto x = std::size_t((left.x + right.x) / 2);
        const auto y = std::size_t(left.y);
        return (image.pixels()[y * std::size_t(image.width()) + x] >> 24) != 0;
    };
    EXPECT_FALSE(highlighted());
    document.click(document.at("Fourth", 4), {.shift = true});
    ASSERT_EQ(document.selectedRange()->end.indexPath.layout, *document.textHolding("Fourth"));
    EXPECT_TRUE(highlighted());
}

// One selectable or plain inline text in monospace, `inset` from the host's corner.
class Placed {
public:
    Placed(const std::string& markup, platform::EdgeInsets inset, bool selectable)
        : host_(root(markup, inset, selectable)) {
        host_.runUntilIdle();
    }
    ui::OffscreenHost& host() { return host_; }
    std::shared_ptr<TextSelectionModel> model() const { return *model_; }
    std::vector<std::string> opened;

private:
    // Hands out the model of the selectable text it stands in.
    struct Probe {
        std::shared_ptr<std::shared_ptr<TextSelectionModel>> out;
        ui::AnyView content;
        ui::AnyView body(ui::ViewContext& context) const {
            *out = context.environment<TextSelectionModelKey>();
            return content;
        }
        friend bool operator==(const Probe&, const Probe&) { return false; }
    };
    ui::AnyView root(const std::string& markup, platform::EdgeInsets inset, bool selectable) {
        ui::AnyView text = ui::AnyView(InlineText(markup))
                               .font(platform::Font::custom("DejaVu Sans Mono", kFontSize));
        if (selectable) {
            text =
                textSelection(ui::AnyView(Probe{model_, text}).modifier(TextSelectionInteraction()),
                              EnabledTextSelectability());
        }
        return text.padding(inset)
            .frame(500, 200, ui::Alignment::topLeading())
            .environment<ui::OpenURLKey>(ui::OpenURLAction([this](const platform::URL& url) {
                opened.push_back(url.absoluteString());
                return ui::OpenURLAction::Result::handled;
            }));
    }
    std::shared_ptr<std::shared_ptr<TextSelectionModel>> model_ =
        std::make_shared<std::shared_ptr<TextSelectionModel>>();
    ui::OffscreenHost host_;
};

// The middle of character `index` of the first line of a text whose corner is at `corner`.
platform::Point character(double index, platform::Point corner) {
    return {corner.x + (index + 0.5) * kAdvance, corner.y + kFontSize * 0.6};
}

TEST(SelectionHighlight, TheHighlightReachesIntoTheLastPixelRowOfItsLine) {
    // The text stands on whole pixels; its line ends inside a pixel row, which the highlight
    // must reach into.
    const platform::Point corner{4, 10};
    Placed text("ab  cd  ef", {corner.y, corner.x, 0, 0}, true);
    const auto model = text.model();
    ASSERT_TRUE(model);
    text.host().pointer({ui::PointerEvent::Kind::down, character(2, corner), 1, 1, {}});
    text.host().pointer({ui::PointerEvent::Kind::dragged, character(7, corner), 1, 1, {}});
    text.host().pointer({ui::PointerEvent::Kind::up, character(7, corner), 1, 1, {}});
    ASSERT_TRUE(model->selectedRange());
    const std::vector<TextSelectionRect> rects =
        buildSelectionRects(model->layoutCollection(), *model->selectedRange());
    ASSERT_EQ(rects.size(), 1u);
    // In the selectable text's space, which is the text's own.
    const platform::Rect r = rects[0].rect;
    ASSERT_NE(std::floor(r.maxY()), r.maxY()) << "the line must end inside a pixel row";

    const platform::Image image = text.host().render();
    // A column through the spaces at characters 2 and 3: no glyph there.
    const auto x = std::size_t(corner.x + 3 * kAdvance);
    const auto pixel = [&image, x](long y) {
        return image.pixels()[std::size_t(y) * std::size_t(image.width()) + x];
    };
    const long top = long(corner.y + std::floor(r.minY()));
    const long bottom = long(corner.y + std::ceil(r.maxY())); // the first row below
    const std::uint32_t full = pixel((top + bottom) / 2);
    ASSERT_NE(full >> 24, 0u) << "the middle of the line is highlighted";
    // Every row the line reaches into is covered, whole up to the text's own bottom edge (the
    // highlight is drawn in the text's bounds, which end inside the last row).
    for (long y = top; y + 1 < bottom; ++y) {
        EXPECT_EQ(pixel(y), full) << "row " << y << " of " << top << " to " << bottom - 1;
    }
    EXPECT_NE(pixel(bottom - 1) >> 24, 0u) << "the line's last row, " << bottom - 1;
    EXPECT_EQ(pixel(top - 1) >> 24, 0u);
    EXPECT_EQ(pixel(bottom) >> 24, 0u);
}

TEST(TextLinks, ATapIsTakenWhereTheTextStandsInTheWindow) {
    const std::string markup = "see [the docs](https://example.com/docs) now";
    const platform::Point corner{130, 70};
    for (const bool selectable : {false, true}) {
        SCOPED_TRACE(selectable ? "selectable" : "plain");
        Placed text(markup, {corner.y, corner.x, 0, 0}, selectable);
        // Where the link would be if the text stood at the window's corner: outside the text.
        text.host().click(character(6, {0, 0}));
        // Over "see", then over the link's second word.
        text.host().click(character(1, corner));
        EXPECT_TRUE(text.opened.empty());
        text.host().click(character(10, corner));
        EXPECT_EQ(text.opened, (std::vector<std::string>{"https://example.com/docs"}));
        // Below the link's line, inside the inset text's frame: nothing.
        text.host().click({character(10, corner).x, corner.y + kFontSize * 2.5});
        EXPECT_EQ(text.opened.size(), 1u);
    }
}

} // namespace vellum::selection_edge_test

#include "DocumentTestSupport.hpp"
#include "TextLayoutTestSupport.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/export/FormatterHTML.hpp"
#include "Vellum/export/FormatterPlainText.hpp"
#include "Vellum/inline/InlineText.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/appkit/ShareAction.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vellum {
namespace {

namespace ui = platform::ui;
using test::kAdvance;
using test::kFontSize;

// Hands out the model of the selectable text it stands in.
struct ModelProbe {
    std::shared_ptr<std::shared_ptr<TextSelectionModel>> out;
    ui::AnyView content;
    ui::AnyView body(ui::ViewContext& context) const {
        *out = context.environment<TextSelectionModelKey>();
        return content;
    }
    friend bool operator==(const ModelProbe&, const ModelProbe&) { return false; }
};

ui::AnyView monospaced(ui::AnyView view) {
    return view.font(platform::Font::custom("DejaVu Sans Mono", kFontSize));
}

// One selectable inline text in monospace at 400 pt, whose links land in `opened`.
class Selectable {
public:
    explicit Selectable(const std::string& markup, bool selectable = true)
        : host_(root(markup, selectable), ui::ProposedViewSize{400, std::nullopt}) {
        host_.runUntilIdle();
    }
    ui::OffscreenHost& host() { return host_; }
    TextSelectionModel& model() { return **model_; }
    const TextLayoutCollection& collection() { return model().layoutCollection(); }
    /// The point in the middle of character `index` of the first line, a little left of it.
    static platform::Point at(double index, int line = 0) {
        return {(index + 0.25) * kAdvance, kFontSize * 0.6 + line * kFontSize * 1.2};
    }
    /// The selection as character indices, or {-1, -1} without one.
    std::pair<long, long> selected() {
        const auto range = model().selectedRange();
        if (!range) {
            return {-1, -1};
        }
        return {long(*characterIndex(collection(), range->start)),
                long(*characterIndex(collection(), range->end))};
    }
    void press(platform::Point p, int clicks = 1, ui::EventModifiers modifiers = {}) {
        host_.pointer({ui::PointerEvent::Kind::down, p, 1, clicks, modifiers});
        host_.pointer({ui::PointerEvent::Kind::up, p, 1, clicks, modifiers});
    }
    void drag(platform::Point from, platform::Point to) {
        host_.pointer({ui::PointerEvent::Kind::down, from, 1, 1, {}});
        host_.pointer({ui::PointerEvent::Kind::dragged, to, 1, 1, {}});
        host_.pointer({ui::PointerEvent::Kind::up, to, 1, 1, {}});
    }
    void key(const std::string& key, ui::EventModifiers modifiers) {
        host_.key(key, {}, modifiers);
    }
    std::vector<std::string> opened;

private:
    ui::AnyView root(const std::string& markup, bool selectable) {
        ui::AnyView text = monospaced(ui::AnyView(InlineText(markup)));
        if (selectable) {
            text = textSelection(
                ui::AnyView(ModelProbe{model_, text}).modifier(TextSelectionInteraction()),
                EnabledTextSelectability());
        }
        return text.environment<ui::OpenURLKey>(ui::OpenURLAction([this](const platform::URL& url) {
            opened.push_back(url.absoluteString());
            return ui::OpenURLAction::Result::handled;
        }));
    }
    std::shared_ptr<std::shared_ptr<TextSelectionModel>> model_ =
        std::make_shared<std::shared_ptr<TextSelectionModel>>();
    ui::OffscreenHost host_;
};

constexpr ui::EventModifiers shift{true, false, false, false};
constexpr ui::EventModifiers control{false, true, false, false};
constexpr ui::EventModifiers controlShift{true, true, false, false};

TEST(TextSelectionInteraction, PressAndDragSelectAndShiftClickExtends) {
    Selectable text("Hello brave new world");
    text.drag(Selectable::at(6), Selectable::at(11));
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 11}));
    // Back over the start: the ends swap so the range stays ordered.
    text.drag(Selectable::at(11), Selectable::at(2));
    EXPECT_EQ(text.selected(), (std::pair<long, long>{2, 11}));
    text.press(Selectable::at(16), 1, shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{2, 16}));
    // A plain click clears.
    text.press(Selectable::at(3));
    EXPECT_EQ(text.selected(), (std::pair<long, long>{-1, -1}));
}

TEST(TextSelectionInteraction, MultipleClicksSelectAWordAndTheParagraph) {
    Selectable text("Hello brave new world");
    text.press(Selectable::at(7), 2);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 11}));
    text.press(Selectable::at(7), 3);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 21}));
    text.press(Selectable::at(7), 4);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 21}));
}

TEST(TextSelectionInteraction, KeysExtendByCharacterWordAndLineAndSelectAll) {
    Selectable text("Hello brave new world");
    text.key("Right", shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{-1, -1})) << "no caret without a selection";

    text.press(Selectable::at(7), 2);
    text.key("Left", shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 10}));
    text.key("Right", shift);
    text.key("Right", shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 12}));
    text.key("Right", controlShift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 15}));
    text.key("End", shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{6, 21}));
    text.key("Home", shift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 6}));

    text.press(Selectable::at(3));
    text.key("a", control);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 21}));
}

TEST(TextSelectionInteraction, ControlArrowsCollapseTheSelectionOntoTheNextWordBoundary) {
    Selectable text("Hello brave new world");
    EXPECT_FALSE(text.host().graph().keyEvent({ui::KeyEvent::Kind::down, "Right", "", control}))
        << "without a selection the key goes on to the window";

    text.press(Selectable::at(7), 2);
    text.key("Right", shift);
    ASSERT_EQ(text.selected(), (std::pair<long, long>{6, 12}));
    text.key("Right", control);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{15, 15}));
    // Extends from the collapsed caret, not from where the last extension was anchored.
    text.key("Right", controlShift);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{15, 21}));
    text.key("Left", control);
    EXPECT_EQ(text.selected(), (std::pair<long, long>{12, 12}));

    // Nothing to copy: the clipboard keeps what it held.
    const auto count = platform::Pasteboard::general().changeCount();
    text.key("c", control);
    EXPECT_EQ(platform::Pasteboard::general().changeCount(), count);

    for (int i = 0; i < 4; ++i) {
        text.key("Left", control);
    }
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 0})) << "stops at the start";
}

TEST(TextSelectionInteraction, TheContextMenuSharesOrCopiesTheSelection) {
    struct Shared {
        platform::SharedText text;
        platform::Rect anchor;
    };
    auto shared = std::make_shared<std::vector<Shared>>();
    const auto model = std::make_shared<std::shared_ptr<TextSelectionModel>>();
    auto host = std::make_unique<ui::OffscreenHost>(
        textSelection(ui::AnyView(ModelProbe{model, monospaced(ui::AnyView(
                                                        InlineText("Hello *brave* world")))})
                          .modifier(TextSelectionInteraction())
                          .padding(30)
                          .environment<platform::ShareActionKey>(platform::ShareAction(
                              [shared](const platform::SharedText& text, platform::Rect anchor) {
                                  shared->push_back({text, anchor});
                              })),
                      EnabledTextSelectability()),
        ui::ProposedViewSize{400, std::nullopt});
    host->runUntilIdle();
    const platform::Point inBrave = Selectable::at(7) + platform::Point{30, 30};

    // A secondary click outside the selection takes the word under it first.
    std::vector<ui::MenuItem> items = host->graph().contextMenu(inBrave);
    ASSERT_EQ(items.size(), 3U);
    EXPECT_EQ(items[0].title, "Share");
    EXPECT_TRUE(items[1].isSeparator);
    EXPECT_EQ(items[2].title, "Copy");
    const TextRange range = *(*model)->selectedRange();

    items[0].action();
    ASSERT_EQ(shared->size(), 1U);
    EXPECT_EQ(shared->front().text.plainText, "brave");
    EXPECT_EQ(shared->front().text.html, "<p><em>brave</em></p>");
    // Below the selection's end, where the root shows it.
    const auto rects = buildSelectionRects((*model)->layoutCollection(), range);
    ASSERT_FALSE(rects.empty());
    EXPECT_TRUE(shared->front().anchor.equalTo(rects.back().rect.integral().offsetBy(30, 30)))
        << shared->front().anchor.origin.x << ", " << shared->front().anchor.origin.y;

    const auto count = platform::Pasteboard::general().changeCount();
    items[2].action();
    EXPECT_EQ(platform::Pasteboard::general().changeCount(), count + 1);

    // A menu still open when its text goes does nothing.
    host.reset();
    items[2].action();
    items[0].action();
    EXPECT_EQ(shared->size(), 1U);
    EXPECT_EQ(platform::Pasteboard::general().changeCount(), count + 1);
}

TEST(TextSelectionInteraction, ControlCCopiesTheSelectionOnly) {
    // The clipboard counts every write, also without a display to hold it.
    Selectable text("Hello *brave* world");
    const auto start = platform::Pasteboard::general().changeCount();
    text.press(Selectable::at(3));
    text.key("c", control);
    EXPECT_EQ(platform::Pasteboard::general().changeCount(), start) << "nothing selected";
    text.key("a", control);
    text.key("c", control);
    EXPECT_EQ(platform::Pasteboard::general().changeCount(), start + 1);
}

TEST(TextSelectionInteraction, LinksOpenOnAClickAndShowThePointingHand) {
    Selectable text("see [the docs](https://example.com/docs) now");
    EXPECT_EQ(text.host().graph().cursor(Selectable::at(1)), ui::CursorShape::iBeam);
    EXPECT_EQ(text.host().graph().cursor(Selectable::at(6)), ui::CursorShape::pointingHand);

    text.press(Selectable::at(1), 2);
    text.press(Selectable::at(6));
    EXPECT_EQ(text.opened, (std::vector<std::string>{"https://example.com/docs"}));
    EXPECT_EQ(text.selected(), (std::pair<long, long>{0, 3})) << "a link click keeps the selection";
}

TEST(TextLinkInteraction, ATapOnALinkOfUnselectableTextOpensIt) {
    Selectable text("see [the docs](https://example.com/docs) now", false);
    text.host().click(Selectable::at(1));
    EXPECT_TRUE(text.opened.empty());
    text.host().click(Selectable::at(6));
    EXPECT_EQ(text.opened, (std::vector<std::string>{"https://example.com/docs"}));
}

} // namespace
} // namespace vellum

namespace vellum {
namespace {

TEST(TextSelectionCoordination, NestedSelectableTextsKeepOneSelection) {
    const auto first = std::make_shared<std::shared_ptr<TextSelectionModel>>();
    const auto second = std::make_shared<std::shared_ptr<TextSelectionModel>>();
    const auto selectable = [](const std::shared_ptr<std::shared_ptr<TextSelectionModel>>& out,
                               const char* markup) {
        return ui::AnyView(ModelProbe{out, monospaced(ui::AnyView(InlineText(markup)))})
            .modifier(TextSelectionInteraction())
            .frame(400, 40, ui::Alignment::topLeading());
    };
    ui::OffscreenHost host(
        textSelection(ui::AnyView(ui::VStack(ui::HorizontalAlignment::leading(), 0,
                                             {selectable(first, "Hello brave new world"),
                                              selectable(second, "Another paragraph")}))
                          .modifier(TextSelectionCoordination()),
                      EnabledTextSelectability()),
        ui::ProposedViewSize{400, std::nullopt});
    host.runUntilIdle();
    const auto doubleClick = [&host](platform::Point p) {
        host.pointer({ui::PointerEvent::Kind::down, p, 1, 2, {}});
        host.pointer({ui::PointerEvent::Kind::up, p, 1, 2, {}});
    };
    doubleClick(Selectable::at(1));
    ASSERT_TRUE((*first)->selectedRange().has_value());
    doubleClick({Selectable::at(1).x, 40 + Selectable::at(1).y});
    EXPECT_TRUE((*second)->selectedRange().has_value());
    EXPECT_FALSE((*first)->selectedRange().has_value());
    EXPECT_EQ((*first)->coordinator(), (*second)->coordinator());
}

TEST(TextSelectionInteraction, KeysGoToTheTextLastClickedWithEitherButton) {
    const auto first = std::make_shared<std::shared_ptr<TextSelectionModel>>();
    const auto second = std::make_shared<std::shared_ptr<TextSelectionModel>>();
    const auto selectable = [](const std::shared_ptr<std::shared_ptr<TextSelectionModel>>& out,
                               const char* markup) {
        return ui::AnyView(ModelProbe{out, monospaced(ui::AnyView(InlineText(markup)))})
            .modifier(TextSelectionInteraction())
            .frame(400, 40, ui::Alignment::topLeading());
    };
    // Two texts that select on their own.
    ui::OffscreenHost host(
        textSelection(ui::AnyView(ui::VStack(ui::HorizontalAlignment::leading(), 0,
                                             {selectable(first, "Hello brave new world"),
                                              selectable(second, "Another paragraph")})),
                      EnabledTextSelectability()),
        ui::ProposedViewSize{400, std::nullopt});
    host.runUntilIdle();
    host.click(Selectable::at(1));
    ASSERT_TRUE(host.graph().hasFocus());
    ASSERT_FALSE(host.graph().contextMenu({Selectable::at(1).x, 40 + Selectable::at(1).y}).empty());
    host.key("a", {}, control);
    EXPECT_FALSE((*first)->selectedRange().has_value());
    const auto all = (*second)->selectedRange();
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(*characterIndex((*second)->layoutCollection(), all->end), 17U);

    // Focus leaves with the window and comes back to the same text.
    host.graph().setWindowActive(false);
    EXPECT_FALSE(host.graph().hasFocus());
    host.graph().setWindowActive(true);
    host.key("Left", {}, control);
    EXPECT_EQ(*characterIndex((*second)->layoutCollection(), (*second)->selectedRange()->end), 0U)
        << "the selection collapses to its start";
}

TEST(TextSelectionBackground, PaintsTheSelectionBehindTheSelectedCharactersOnly) {
    Selectable text("ab  cd  ef");
    const auto highlighted = [&text](double index) {
        const platform::Image image = text.host().render();
        const platform::Point p = Selectable::at(index);
        // Spaces: no glyph covers the pixel, only the highlight can.
        const auto x = std::size_t(p.x + kAdvance / 4);
        const auto y = std::size_t(p.y);
        return (image.pixels()[y * std::size_t(image.width()) + x] >> 24) != 0;
    };
    EXPECT_FALSE(highlighted(2));
    text.drag(Selectable::at(2), Selectable::at(7));
    EXPECT_TRUE(highlighted(2));
    EXPECT_TRUE(highlighted(6));
    EXPECT_FALSE(highlighted(7)) << "beyond the selection";
    text.press(Selectable::at(9));
    EXPECT_FALSE(highlighted(6)) << "deselecting clears the highlight";
}

} // namespace
} // namespace vellum

namespace vellum {
namespace {

TEST(TextSelectionInteraction, ACopyKeepsTheStructureOfTheSelectedPart) {
    Selectable text("Hello *brave* [new](https://example.com/) world");
    text.drag(Selectable::at(6), Selectable::at(15));
    ASSERT_EQ(text.selected(), (std::pair<long, long>{6, 15}));
    const Formatter formatter(attributedText(text.collection(), *text.model().selectedRange()));
    EXPECT_EQ(formatterPlainText(formatter.blockNodes(), 0, false), "brave new");
    EXPECT_EQ(formatterHTML(formatter.blockNodes()),
              "<p><em>brave</em> <a href=\"https://example.com/\">new</a></p>");
}

} // namespace
} // namespace vellum

namespace vellum {
namespace {

// Where a position stands in a long document: the number of its paragraph (-1 for another text)
// and its character index there.
std::pair<int, long> place(const TextLayoutCollection& c, const TextPosition& p) {
    const auto index = characterIndex(c, p);
    if (p.indexPath.layout >= c.layoutCount() || !index) {
        return {-1, -1};
    }
    const std::string& text = c.layout(p.indexPath.layout).string();
    if (!text.starts_with("Paragraph ")) {
        return {-1, long(*index)};
    }
    return {std::stoi(text.substr(10)), long(*index)};
}

// The first paragraph whose text lies wholly in `visible`.
int paragraphShownIn(const test::SelectableDocument& document, platform::Rect visible) {
    const auto& c = document.collection();
    for (std::size_t l = 0; l < c.layoutCount(); ++l) {
        const TextLayout& layout = c.layout(l);
        const platform::Rect frame = layout.bounds().offsetBy(layout.origin().x, layout.origin().y);
        if (layout.string().starts_with("Paragraph ") && frame.minY() > visible.minY() &&
            frame.maxY() < visible.maxY()) {
            return std::stoi(layout.string().substr(10));
        }
    }
    ADD_FAILURE() << "no paragraph in view";
    return 0;
}

std::string paragraph(int n) {
    return "Paragraph " + std::to_string(n) + " of";
}

// A shift-click extends the selection from the end it stays anchored at, wherever that end's text
// now stands in a lazy document: rows laid out above it since move it down the document's texts,
// and its row may be out of view, left stale by a change it has not caught up with, or laid out
// again.
TEST(TextSelectionInteraction, AShiftClickExtendsFromTheAnchorWhereverItsRowNowIs) {
    std::string markdown = "First words :smile: here.\n\n";
    for (int n = 0; n < 300; ++n) {
        markdown += paragraph(n) +
                    " a long document, long enough to wrap over a couple of lines in a window "
                    "this narrow.\n\n";
    }
    test::SelectableDocument document(markdown, platform::Rect(0, 0, 560, 400));
    ASSERT_TRUE(document.shown());
    const auto selection = [&document] {
        const auto range = document.selectedRange();
        if (!range) {
            return std::pair(std::pair(-1, -1L), std::pair(-1, -1L));
        }
        return std::pair(place(document.collection(), range->start),
                         place(document.collection(), range->end));
    };
    using Places = std::pair<std::pair<int, long>, std::pair<int, long>>;

    // Far down, the rows between not laid out: a drag, then a shift-click that anchors the
    // selection at the drag's start.
    const platform::Rect far(0, 12000, 560, 400);
    document.show(far);
    const int anchored = paragraphShownIn(document, far);
    document.drag(document.at(paragraph(anchored), 10), document.at(paragraph(anchored), 12));
    document.click(document.at(paragraph(anchored), 20), shift);
    ASSERT_EQ(selection(), (Places{{anchored, 10}, {anchored, 20}}));
    const std::size_t anchorText = *document.textHolding(paragraph(anchored));

    // Halfway up, the rows there are laid out: the anchor's text comes later among the texts
    // than it did, and its row is out of view.
    const platform::Rect middle(0, 6000, 560, 400);
    document.show(middle);
    ASSERT_GT(*document.textHolding(paragraph(anchored)), anchorText);
    const int above = paragraphShownIn(document, middle);
    document.click(document.at(paragraph(above)), shift);
    EXPECT_EQ(selection(), (Places{{above, 0}, {anchored, 10}}));

    // A darker scheme reaches only the rows near the screen: the anchor's row is left stale.
    platform::ui::EnvironmentValues environment = document.host().graph().environment();
    environment.set<platform::ui::ColorSchemeKey>(platform::ColorScheme::dark);
    document.host().graph().setEnvironment(environment);
    document.host().runUntilIdle(std::chrono::milliseconds(60000));
    document.click(document.at(paragraph(above + 1)), shift);
    EXPECT_EQ(selection(), (Places{{above + 1, 0}, {anchored, 10}}));

    // Back at the anchor, whose row is laid out again in the new scheme.
    document.show(far);
    document.click(document.at(paragraph(anchored + 1), 10), shift);
    EXPECT_EQ(selection(), (Places{{anchored, 10}, {anchored + 1, 10}}));
}

} // namespace
} // namespace vellum

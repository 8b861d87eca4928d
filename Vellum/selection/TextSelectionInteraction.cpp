#include "Vellum/selection/TextSelectionInteraction.hpp"

#include "Vellum/export/Formatter.hpp"
#include "Vellum/export/FormatterHTML.hpp"
#include "Vellum/export/FormatterPlainText.hpp"
#include "Vellum/inline/TextSelectionBackground.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/appkit/Pasteboard.hpp"

#include <algorithm>

namespace vellum {

using platform::Point;
using platform::ui::AnyView;
using platform::ui::KeyEvent;
using platform::ui::PointerEvent;

AnyView textSelection(AnyView view, const TextSelectability& selectability) {
    return vellum(std::move(view)).textSelection(selectability);
}

void TextInteractionView::setOrdered(const TextPosition& a, const TextPosition& b) {
    model_->setSelectedRange(b < a ? TextRange{b, a} : TextRange{a, b});
}

std::optional<TextPosition> TextInteractionView::current(std::optional<HeldPosition>& held) const {
    if (!held) {
        return std::nullopt;
    }
    const AnyTextLayoutCollection& now = model_->layoutCollection();
    if (&now.base() != &held->texts.base()) {
        std::optional<TextPosition> moved = held->position;
        if (now.layoutsDiffer(held->texts)) {
            moved = translatedPosition(now, held->position, held->texts);
        }
        if (!moved) {
            held.reset();
            return std::nullopt;
        }
        // Kept in these texts, so that the next event finds it without translating again and
        // the texts it was taken in are let go.
        *held = HeldPosition{*moved, now};
    }
    return held->position;
}

bool TextInteractionView::pointerDown(const PointerEvent& event) {
    if (event.button != 1) {
        return false;
    }
    const Point p = event.location;
    switch (event.clickCount) {
    case 1: {
        const std::optional<TextPosition> position = closestPosition(collection(), p);
        const std::optional<TextRange> selected = model_->selectedRange();
        if (event.modifiers.shift && selected && position) {
            // Extends from the end that stays: the keyboard's anchor, else the range's start.
            const TextPosition anchor = current(selectionAnchor_).value_or(selected->start);
            selectionAnchor_ = hold(anchor);
            setOrdered(anchor, *position);
            dragStart_ = hold(anchor);
            return true;
        }
        if (const auto url = linkURL(collection(), p)) {
            openURL_(*url);
        } else {
            model_->setSelectedRange(std::nullopt);
            selectionAnchor_.reset();
        }
        dragStart_.reset();
        if (position) {
            dragStart_ = hold(*position);
        }
        return true;
    }
    case 2:
        if (const auto position = closestPosition(collection(), p)) {
            model_->setSelectedRange(wordRange(collection(), *position));
        }
        dragStart_.reset();
        return true;
    case 3:
        if (const auto position = closestPosition(collection(), p)) {
            model_->setSelectedRange(layoutRange(collection(), *position));
        }
        dragStart_.reset();
        return true;
    default:
        return true;
    }
}

bool TextInteractionView::pointerDragged(const PointerEvent& event) {
    const std::optional<TextPosition> start = current(dragStart_);
    if (!start) {
        return true;
    }
    if (const auto position = closestPosition(collection(), event.location)) {
        setOrdered(*start, *position);
    }
    // Held beyond the part shown, the drag scrolls the text towards the pointer (the host repeats
    // the event while the pointer stays there).
    scrollRectToVisible_(platform::Rect(event.location + origin_, platform::Size{1, 1}));
    return true;
}

bool TextInteractionView::pointerUp(const PointerEvent& /*event*/) {
    dragStart_.reset();
    return true;
}

void TextInteractionView::extendSelection(
    const std::function<std::optional<TextPosition>(const TextPosition&, const TextPosition&)>&
        move) {
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!selected) {
        return;
    }
    std::optional<TextPosition> anchor = current(selectionAnchor_);
    if (!anchor) {
        anchor = selected->start;
        selectionAnchor_ = hold(*anchor);
    }
    const TextPosition free = *anchor == selected->start ? selected->end : selected->start;
    if (const std::optional<TextPosition> moved = move(free, *anchor)) {
        setOrdered(*anchor, *moved);
        // The end that moved stays in sight.
        const platform::Rect caret = caretRect(collection(), *moved);
        if (!caret.isNull()) {
            scrollRectToVisible_(caret.offsetBy(origin_.x, origin_.y));
        }
    }
}

bool TextInteractionView::keyDown(const KeyEvent& event) {
    const auto& c = collection();
    const auto& m = event.modifiers;
    const bool command = m.control || m.command;
    if (command && !m.shift && (event.key == "a" || event.key == "A")) {
        selectAll();
        return true;
    }
    if (command && !m.shift && (event.key == "c" || event.key == "C")) {
        copy();
        return true;
    }
    if (command && !m.shift && (event.key == "Left" || event.key == "Right")) {
        return moveByWord(event.key == "Right");
    }
    if (!m.shift) {
        return false;
    }
    using Move =
        std::function<std::optional<TextPosition>(const TextPosition&, const TextPosition&)>;
    Move move;
    if (event.key == "Left" || event.key == "Right") {
        const bool right = event.key == "Right";
        if (command) {
            move = [&c, right](const TextPosition& free, const TextPosition&) {
                return right ? nextWordPosition(c, free) : previousWordPosition(c, free);
            };
        } else {
            move = [&c, right](const TextPosition& free, const TextPosition&) {
                return positionFromOffset(c, free, right ? 1 : -1);
            };
        }
    } else if (event.key == "Up" || event.key == "Down") {
        const bool down = event.key == "Down";
        if (command) {
            move = [&c, down](const TextPosition& free, const TextPosition&) {
                return down ? paragraphEndPosition(c, free) : paragraphStartPosition(c, free);
            };
        } else {
            move = [&c, down](const TextPosition& free, const TextPosition& anchor) {
                return down ? positionBelow(c, free, anchor) : positionAbove(c, free, anchor);
            };
        }
    } else if (event.key == "Home" || event.key == "End") {
        // The start or end of the free end's visual line: the nearest position at either side of
        // its caret's line.
        const bool end = event.key == "End";
        move = [&c, end](const TextPosition& free, const TextPosition&) {
            const platform::Rect caret = caretRect(c, free);
            if (caret.isNull()) {
                return std::optional<TextPosition>();
            }
            const std::size_t index = free.indexPath.layout;
            if (index >= c.layoutCount()) {
                return std::optional<TextPosition>();
            }
            const platform::Rect layout = c.layout(index).bounds();
            const platform::Point origin = c.layout(index).origin();
            const double x = end ? origin.x + layout.maxX() + 1 : origin.x + layout.minX() - 1;
            return closestPosition(c, {x, caret.midY()});
        };
    } else {
        return false;
    }
    extendSelection(move);
    return true;
}

bool TextInteractionView::moveByWord(bool forward) {
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!selected) {
        return false; // no caret without a selection: the key goes on to the window
    }
    const TextPosition& edge = forward ? selected->end : selected->start;
    const std::optional<TextPosition> moved =
        forward ? nextWordPosition(collection(), edge) : previousWordPosition(collection(), edge);
    // At either end of the text the selection still collapses, onto that end.
    const TextPosition caret = moved.value_or(edge);
    // The collapsed range is the caret later extensions start from.
    selectionAnchor_ = hold(caret);
    model_->setSelectedRange(TextRange{caret, caret});
    if (const platform::Rect rect = caretRect(collection(), caret); !rect.isNull()) {
        scrollRectToVisible_(rect.offsetBy(origin_.x, origin_.y));
    }
    return true;
}

void TextInteractionView::selectAll() {
    // Rows of a lazy document that were never laid out publish no text: without them the range
    // would end at the last row laid out, and a copy would silently leave the rest out. Laying
    // them out updates the model's texts before the range is taken.
    layOutDeferred_();
    const auto& c = collection();
    model_->setSelectedRange(TextRange{startPosition(c), endPosition(c)});
}

void TextInteractionView::layOutRowsInSelection() const {
    // A range over several texts may pass rows of a lazy document that were never laid out (the
    // far end reached by a jump of the scroll bar and a shift-click): they publish no text, and
    // a copy would silently leave them out. Laid out, they join the range, whose ends keep to
    // their texts. A range within one text passes no row.
    const std::optional<TextRange>& selected = model_->selectedRange();
    if (selected && selected->start.indexPath.layout != selected->end.indexPath.layout) {
        layOutDeferred_();
    }
}

std::optional<TextInteractionView::Copied> TextInteractionView::copiedSelection() const {
    layOutRowsInSelection();
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!selected) {
        return std::nullopt;
    }
    // The selected pieces as they lie in the texts' sources: joining them first would copy every
    // run only for the formatter to read it again.
    // Nothing lies before the first text's start: a table there is selected from its top, an
    // empty head (which has no text) included.
    const bool fromDocumentStart =
        selected->start.indexPath.layout == 0 && characterIndex(collection(), selected->start) == 0;
    const std::vector<Formatter::BlockNode> nodes =
        Formatter::joinedBlockNodes(selectedPieces(collection(), *selected), fromDocumentStart);
    return Copied{formatterPlainText(nodes, 0, false), formatterHTML(nodes)};
}

void TextInteractionView::copy() {
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!selected || selected->start == selected->end) {
        return;
    }
    if (const auto copied = copiedSelection()) {
        platform::Pasteboard::general().setPlainTextAndHTML(copied->plainText, copied->html);
    }
}

void TextInteractionView::share() {
    // The copy first: the rows it lays out move the range's ends to other texts.
    const std::optional<Copied> copied = copiedSelection();
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!selected || !copied) {
        return;
    }
    const std::vector<TextSelectionRect> rects = buildSelectionRects(collection(), *selected);
    const platform::Rect anchor = rects.empty()
                                      ? platform::Rect()
                                      : rects.back().rect.integral().offsetBy(origin_.x, origin_.y);
    share_(platform::SharedText{copied->plainText, copied->html}, anchor);
}

std::vector<platform::ui::MenuItem> TextInteractionView::contextMenu(Point point) {
    const std::optional<TextPosition> position = closestPosition(collection(), point);
    const std::optional<TextRange> selected = model_->selectedRange();
    if (!position) {
        model_->setSelectedRange(std::nullopt);
        selectionAnchor_.reset();
    } else if (!selected || !selected->contains(position->indexPath)) {
        model_->setSelectedRange(wordRange(collection(), *position));
    }
    const std::optional<TextRange> now = model_->selectedRange();
    if (!now || now->start == now->end) {
        return {};
    }
    // The items hold the view weakly: a menu may outlive the text it was opened on.
    const std::weak_ptr<TextInteractionView> self = weak_from_this();
    const auto perform = [self](void (TextInteractionView::*action)()) {
        return [self, action] {
            if (const auto view = self.lock()) {
                ((*view).*action)();
            }
        };
    };
    return {platform::ui::MenuItem{"Share", true, perform(&TextInteractionView::share), false},
            platform::ui::MenuItem{"", true, {}, true},
            platform::ui::MenuItem{"Copy", true, perform(&TextInteractionView::copy), false}};
}

std::optional<platform::ui::CursorShape> TextInteractionView::cursor(Point point) const {
    return linkURL(collection(), point) ? platform::ui::CursorShape::pointingHand
                                        : platform::ui::CursorShape::iBeam;
}

AnyView TextSelectionInteraction::body(platform::ui::ViewContext& context, AnyView content) const {
    if (!context.environment<TextSelectionKey>()) {
        return content;
    }
    const auto coordinator = context.environment<TextSelectionCoordinatorKey>();
    const std::shared_ptr<TextSelectionModel> model = context.stateObject<TextSelectionModel>(
        [] { return std::make_shared<TextSelectionModel>(); });
    const std::shared_ptr<TextInteractionView> view = context.stateObject<TextInteractionView>(
        [model] { return std::make_shared<TextInteractionView>(model); });
    view->setOpenURL(context.environment<platform::ui::OpenURLKey>());
    view->setScrollRectToVisible(context.environment<platform::ui::ScrollRectToVisibleKey>());
    view->setShareAction(context.environment<platform::ShareActionKey>());
    view->setLayOutDeferred(context.environment<platform::ui::LayOutDeferredKey>());

    // The texts inside and the content's frame, both in root coordinates, from the last layout
    // pass; whenever either changes, the model takes the texts in the content's own space.
    struct Feed {
        std::shared_ptr<const LiveTextLayoutCollection::Layouts> layouts =
            std::make_shared<const LiveTextLayoutCollection::Layouts>();
        platform::Rect frame;
        std::shared_ptr<LiveTextLayoutCollection::SharedIndex> index =
            std::make_shared<LiveTextLayoutCollection::SharedIndex>();
    };
    const std::shared_ptr<Feed> feed =
        context.stateObject<Feed>([] { return std::make_shared<Feed>(); });
    const auto update = [model, coordinator, feed] {
        // Joins the document's coordinator before taking the texts, so that a range carried
        // over clears the other selections.
        if (model->coordinator() != coordinator) {
            model->setCoordinator(coordinator);
            if (coordinator) {
                coordinator->registerModel(model);
            }
        }
        model->updateLayoutCollection(
            AnyTextLayoutCollection(std::make_shared<const LiveTextLayoutCollection>(
                feed->layouts, platform::ui::GeometryProxy(feed->frame, nullptr), feed->index)));
    };
    return content
        .onPreferenceChange<platform::ui::Text::LayoutKey>(
            [feed, update](const platform::ui::Text::LayoutKey::Value& layouts) {
                feed->layouts = std::make_shared<const LiveTextLayoutCollection::Layouts>(layouts);
                update();
            })
        .onGeometryChange<platform::Rect>(
            [](const platform::ui::GeometryProxy& proxy) {
                return proxy.frame(platform::ui::CoordinateSpace::global());
            },
            [feed, update](const platform::Rect& /*old*/, const platform::Rect& frame) {
                feed->frame = frame;
                update();
            })
        .interaction(view)
        .environment<TextSelectionModelKey>(model)
        .environment<TextSelectionHighlightKey>(model);
}

AnyView TextSelectionCoordination::body(platform::ui::ViewContext& context, AnyView content) const {
    const std::shared_ptr<TextSelectionCoordinator> coordinator =
        context.stateObject<TextSelectionCoordinator>(
            [] { return std::make_shared<TextSelectionCoordinator>(); });
    return content.environment<TextSelectionCoordinatorKey>(coordinator);
}

} // namespace vellum

#pragma once

// A vertical stack of many rows (the blocks of a document) whose cost follows what is visible.
//
// Each row is proposed the stack's width and no height (its ideal height); the stack is as wide
// as its widest measured row and as tall as its rows and the spacing between them. Where the
// host shows only part of the root (`ViewGraph::setVisibleRect`), the stack builds, measures,
// places and draws only the rows that lie in or near that part; the others count with the mean
// height of the rows measured so far, so the stack's height (the scroll bar's extent) is known at
// once and becomes exact as the host lays the remaining rows out in idle time
// (`ViewGraph::layOutDeferred`), placing each where the rows above it put it, so that it lays out
// and publishes what it would in view. Scrolling builds and places the rows that come into view. A
// change of one row measures that row again and moves the rows below it without measuring them.
// A new environment or new row views reach only the rows shown and placed around them at once;
// the other built rows are left stale (keeping their state and measures) and brought up to date
// as they come near the visible part, or in idle time: where that changes their size above the
// first row shown, the visible part moves with that row and the host scrolls as far
// (`ViewGraph::takeScrollCorrection`), so the rows shown stay where the viewer sees them. At a new
// width, what stays is the reader's place taken when they last scrolled: the innermost piece laid
// out at the top of the visible part (an item of a list, a row of a table, a line of a text), also
// inside stacks that are rows of this one, which keep the rows holding it.
// Without a visible rectangle every row is built, measured and placed, as in any stack. The
// elements of a lone `ForEach` (or `Group`) are the rows as they are, one each, not expanded.
//
// What is deliberately approximate under a visible rectangle (and exact once every row is laid
// out and placed):
// - rows never built have no state, run no `onAppear`/`task` and publish no preferences; rows
//   measured and not placed yet run no geometry observers, and their texts publish no position
//   (`Text::AnchoredLayout::placed`);
// - stale rows publish the preferences and answer the measures of their last evaluation;
// - a row placed earlier and now outside the visible part keeps the frame it was last placed at
//   when the rows above it change, until it is in view again: anchors and geometry it reported
//   may be that far off meanwhile;
// - the stack's spacing towards its neighbours is that of its first and last rows, and its
//   baselines are its first row's first and its last row's last.

#include "platform/ui/Layout.hpp"
#include "platform/ui/View.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

/// How a lazy stack spaces and aligns its rows. It is a `Layout` too, so that the same spacing
/// and alignment serve in an ordinary container (`LayoutView`), where every row is laid out.
class LazyVStackLayout : public Layout {
public:
    /// The space between two neighbouring rows.
    virtual CGFloat rowSpacing(const LayoutSubview& upper, const LayoutSubview& lower) const = 0;
    /// Where a row of `size` starts horizontally in a stack `width` wide.
    virtual CGFloat rowOffset(const LayoutSubview& row, Size size, CGFloat width) const = 0;

    // As an ordinary layout: every row at once.
    Size sizeThatFits(ProposedViewSize proposal, LayoutSubviews subviews,
                      std::any& cache) const override;
    void placeSubviews(Rect bounds, ProposedViewSize proposal, LayoutSubviews subviews,
                       std::any& cache) const override;
    std::optional<ProposedViewSize> expectedSubviewProposal(ProposedViewSize p) const override {
        return ProposedViewSize(p.width, std::nullopt);
    }
};

class LazyVStack : public ViewModifiers<LazyVStack> {
public:
    LazyVStack(std::vector<AnyView> children)
        : LazyVStack(HorizontalAlignment::center(), std::nullopt, std::move(children)) {}
    /// Rows aligned by `alignment` (leading, center or trailing), `spacing` apart (the rows' own
    /// spacing when none).
    LazyVStack(HorizontalAlignment alignment, std::optional<CGFloat> spacing,
               std::vector<AnyView> children);
    LazyVStack(std::shared_ptr<const LazyVStackLayout> layout, std::vector<AnyView> children)
        : layout_(std::move(layout))
        , children_(std::move(children)) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::shared_ptr<const LazyVStackLayout> layout_;
    std::vector<AnyView> children_;
};

/// Lays out at once every row that lazy stacks still estimate and brings the graph up to date, for
/// an action that must see what every row publishes right away (a Select All of a document's
/// text); views that follow the part of them shown (`onVisibleBoundsChange`) are told meanwhile
/// that all of them is. The graph puts it in the root environment; the default does nothing.
class LayOutDeferredAction {
public:
    LayOutDeferredAction() = default;
    explicit LayOutDeferredAction(std::function<void()> handler)
        : handler_(std::make_shared<const std::function<void()>>(std::move(handler))) {}
    void operator()() const {
        if (handler_) {
            (*handler_)();
        }
    }
    /// Identity: copies of one action are equal.
    friend bool operator==(const LayOutDeferredAction& a, const LayOutDeferredAction& b) {
        return a.handler_ == b.handler_;
    }

private:
    std::shared_ptr<const std::function<void()>> handler_;
};
struct LayOutDeferredKey {
    using Value = LayOutDeferredAction;
    static Value defaultValue() { return {}; }
};

} // namespace platform::ui

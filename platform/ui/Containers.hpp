#pragma once

// Containers: stacks, custom layouts, grids, the horizontal scroll view, the geometry reader and
// the timeline view.

#include "platform/ui/View.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

/// Children laid out by any `Layout`.
class LayoutView : public ViewModifiers<LayoutView> {
public:
    LayoutView(std::shared_ptr<const Layout> layout, std::vector<AnyView> children)
        : layout_(std::move(layout))
        , children_(std::move(children)) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

protected:
    std::shared_ptr<const Layout> layout_;
    std::vector<AnyView> children_;
    /// Which stack axis spacers and dividers inside follow (none for other layouts).
    std::optional<Axis> axis_;
};

class HStack : public LayoutView {
public:
    HStack(std::vector<AnyView> children)
        : HStack(VerticalAlignment::center(), std::nullopt, std::move(children)) {}
    HStack(VerticalAlignment alignment, std::optional<CGFloat> spacing,
           std::vector<AnyView> children);
};

class VStack : public LayoutView {
public:
    VStack(std::vector<AnyView> children)
        : VStack(HorizontalAlignment::center(), std::nullopt, std::move(children)) {}
    VStack(HorizontalAlignment alignment, std::optional<CGFloat> spacing,
           std::vector<AnyView> children);
};

class ZStack : public LayoutView {
public:
    ZStack(std::vector<AnyView> children)
        : ZStack(Alignment::center(), std::move(children)) {}
    ZStack(Alignment alignment, std::vector<AnyView> children);
};

/// One row of a `Grid`: each child is one cell, in column order.
class GridRow : public ViewModifiers<GridRow> {
public:
    GridRow(std::vector<AnyView> cells)
        : GridRow(std::nullopt, std::move(cells)) {}
    GridRow(std::optional<VerticalAlignment> alignment, std::vector<AnyView> cells)
        : alignment_(alignment)
        , cells_(std::move(cells)) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    friend class Grid;
    std::optional<VerticalAlignment> alignment_;
    std::vector<AnyView> cells_;
};

/// Rows of cells in aligned columns. A column is as wide as its widest cell (columns shrink,
/// narrowest last, when the offered width is smaller), a row as tall as its tallest cell. A
/// child that is not a `GridRow` spans all columns. Column alignment: the first cell of the
/// column that sets `gridColumnAlignment`, else the grid's.
class Grid : public LayoutView {
public:
    Grid(std::vector<AnyView> rows)
        : Grid(Alignment::center(), std::nullopt, std::nullopt, std::move(rows)) {}
    Grid(Alignment alignment, std::optional<CGFloat> horizontalSpacing,
         std::optional<CGFloat> verticalSpacing, std::vector<AnyView> rows);
};

/// What a scroll view reports about its visible region.
struct ScrollGeometry {
    Point contentOffset;
    Size contentSize;
    /// The visible size (the scroll view's own).
    Size containerSize;
    friend bool operator==(const ScrollGeometry&, const ScrollGeometry&) = default;
};

/// A horizontally scrolling region: the content gets its ideal width and the offered height;
/// the view takes the offered width. Scroll events move the content.
class ScrollView : public ViewModifiers<ScrollView> {
public:
    explicit ScrollView(AnyView content)
        : content_(std::move(content)) {}
    /// `action(old, new)` after a layout or scroll in which the geometry changed (and once at
    /// first, with old = new).
    ScrollView onScrollGeometryChange(
        std::function<void(const ScrollGeometry&, const ScrollGeometry&)> action) const {
        ScrollView copy = *this;
        copy.onGeometry_ = std::move(action);
        return copy;
    }
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    AnyView content_;
    std::function<void(const ScrollGeometry&, const ScrollGeometry&)> onGeometry_;
};

/// Scrolls the scroll view around a view by `dx` points (within its content, as a scroll event
/// does), for a content whose parts before the ones shown changed width: it keeps what the viewer
/// sees in place. A scroll view puts it in its content's environment; elsewhere it does nothing.
class ScrollByAction {
public:
    ScrollByAction() = default;
    explicit ScrollByAction(std::function<void(CGFloat)> handler)
        : handler_(std::make_shared<const std::function<void(CGFloat)>>(std::move(handler))) {}
    void operator()(CGFloat dx) const {
        if (handler_) {
            (*handler_)(dx);
        }
    }
    /// Identity: copies of one action are equal.
    friend bool operator==(const ScrollByAction& a, const ScrollByAction& b) {
        return a.handler_ == b.handler_;
    }

private:
    std::shared_ptr<const std::function<void(CGFloat)>> handler_;
};
struct ScrollByKey {
    using Value = ScrollByAction;
    static Value defaultValue() { return {}; }
};

/// Takes the whole offered size and builds its content from its own geometry, after layout.
/// The content is placed at the top-leading corner.
class GeometryReader : public ViewModifiers<GeometryReader> {
public:
    explicit GeometryReader(std::function<AnyView(const GeometryProxy&)> content)
        : content_(std::make_shared<const std::function<AnyView(const GeometryProxy&)>>(
              std::move(content))) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::shared_ptr<const std::function<AnyView(const GeometryProxy&)>> content_;
};

struct TimelineContext {
    std::chrono::steady_clock::time_point date;
};

/// Rebuilt on every display frame while shown (animation).
class TimelineView : public ViewModifiers<TimelineView> {
public:
    explicit TimelineView(std::function<AnyView(const TimelineContext&)> content)
        : content_(std::make_shared<const std::function<AnyView(const TimelineContext&)>>(
              std::move(content))) {}
    std::shared_ptr<const detail::ViewImpl> makeImpl() const;

private:
    std::shared_ptr<const std::function<AnyView(const TimelineContext&)>> content_;
};

} // namespace platform::ui

#include "platform/ui/Containers.hpp"

#include "platform/ui/GridPlan.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform::ui {

std::shared_ptr<const detail::ViewImpl> LayoutView::makeImpl() const {
    auto impl = std::make_shared<detail::LayoutViewImpl>();
    impl->layout = layout_;
    impl->axis = axis_;
    impl->children = children_;
    return impl;
}

HStack::HStack(VerticalAlignment alignment, std::optional<CGFloat> spacing,
               std::vector<AnyView> children)
    : LayoutView(std::make_shared<HStackLayout>(alignment, spacing), std::move(children)) {
    axis_ = Axis::horizontal;
}

VStack::VStack(HorizontalAlignment alignment, std::optional<CGFloat> spacing,
               std::vector<AnyView> children)
    : LayoutView(std::make_shared<VStackLayout>(alignment, spacing), std::move(children)) {
    axis_ = Axis::vertical;
}

ZStack::ZStack(Alignment alignment, std::vector<AnyView> children)
    : LayoutView(std::make_shared<ZStackLayout>(alignment), std::move(children)) {}

std::shared_ptr<const detail::ViewImpl> GridRow::makeImpl() const {
    // Outside a grid a row is a horizontal stack.
    auto impl = std::make_shared<detail::LayoutViewImpl>();
    impl->layout = std::make_shared<HStackLayout>(alignment_.value_or(VerticalAlignment::center()));
    impl->axis = Axis::horizontal;
    impl->children = cells_;
    impl->isGridRow = true;
    impl->rowAlignment = alignment_;
    return impl;
}

namespace {

using detail::GridCellKey;

class GridLayout final : public Layout {
public:
    GridLayout(Alignment alignment, std::optional<CGFloat> h, std::optional<CGFloat> v)
        : alignment_(alignment)
        , hSpacing_(soundLength(h.value_or(ViewSpacing::standard), false))
        , vSpacing_(soundLength(v.value_or(ViewSpacing::standard), false)) {}

    struct Plan {
        std::vector<GridCellKey::Value> cells;
        std::vector<HorizontalAlignment> columnAlignments;
        GridPlan grid;
    };

    Plan plan(ProposedViewSize p, LayoutSubviews subviews) const {
        Plan plan;
        std::vector<GridPlace> places;
        places.reserve(subviews.size());
        int rows = 0;
        int columns = 0;
        for (const LayoutSubview& s : subviews) {
            const GridCellKey::Value cell = s.get<GridCellKey>();
            plan.cells.push_back(cell);
            places.push_back({cell.row, cell.column, cell.spansRow});
            rows = std::max(rows, cell.row + 1);
            if (!cell.spansRow) {
                columns = std::max(columns, cell.column + 1);
            }
        }
        plan.columnAlignments.assign(static_cast<std::size_t>(columns), alignment_.horizontal);
        std::vector<bool> alignmentSet(static_cast<std::size_t>(columns), false);
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = plan.cells[i];
            const auto c = static_cast<std::size_t>(cell.column);
            if (cell.spansRow || alignmentSet[c]) {
                continue;
            }
            if (auto a = subviews[i].get<GridColumnAlignmentKey>()) {
                plan.columnAlignments[c] = *a;
                alignmentSet[c] = true;
            }
        }
        plan.grid = planGrid(p, subviews, places, rows, columns, hSpacing_, vSpacing_);
        return plan;
    }

    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        return plan(p, subviews).grid.size;
    }

    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        const Plan pl = plan(p, subviews);
        const std::vector<CGFloat> xs = pl.grid.columnStarts(bounds.origin.x, hSpacing_);
        const std::vector<CGFloat> ys = pl.grid.rowStarts(bounds.origin.y, vSpacing_);
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = pl.cells[i];
            const auto r = static_cast<std::size_t>(cell.row);
            const auto c = static_cast<std::size_t>(cell.column);
            const GridPlan& g = pl.grid;
            const Rect box = cell.spansRow
                                 ? Rect(bounds.origin.x, ys[r], g.size.width, g.rowHeights[r])
                                 : Rect(xs[c], ys[r], g.columnWidths[c], g.rowHeights[r]);
            const HorizontalAlignment h =
                cell.spansRow ? alignment_.horizontal : pl.columnAlignments[c];
            const VerticalAlignment v = cell.rowAlignment.value_or(alignment_.vertical);
            const ProposedViewSize proposal(box.size);
            const ViewDimensions boxDims(box.size);
            const ViewDimensions d = subviews[i].dimensions(proposal);
            subviews[i].place({box.origin.x + boxDims[h] - d[h], box.origin.y + boxDims[v] - d[v]},
                              UnitPoint::topLeading(), proposal);
        }
    }

    bool equals(const Layout& other) const override {
        const auto* o = dynamic_cast<const GridLayout*>(&other);
        return o != nullptr && o->alignment_ == alignment_ && o->hSpacing_ == hSpacing_ &&
               o->vSpacing_ == vSpacing_;
    }

private:
    Alignment alignment_;
    CGFloat hSpacing_;
    CGFloat vSpacing_;
};

} // namespace

Grid::Grid(Alignment alignment, std::optional<CGFloat> horizontalSpacing,
           std::optional<CGFloat> verticalSpacing, std::vector<AnyView> rows)
    : LayoutView(std::make_shared<GridLayout>(alignment, horizontalSpacing, verticalSpacing), {}) {
    std::vector<detail::FlatChild> flat;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].impl()->flatten(rows[i], ViewID(static_cast<std::int64_t>(i)), flat);
    }
    int r = 0;
    for (const detail::FlatChild& row : flat) {
        const auto* gridRow = dynamic_cast<const detail::LayoutViewImpl*>(row.view.impl().get());
        if (gridRow != nullptr && gridRow->isGridRow) {
            std::vector<detail::FlatChild> cells;
            for (std::size_t c = 0; c < gridRow->children.size(); ++c) {
                gridRow->children[c].impl()->flatten(gridRow->children[c],
                                                     ViewID(static_cast<std::int64_t>(c)), cells);
            }
            for (std::size_t c = 0; c < cells.size(); ++c) {
                children_.push_back(cells[c].view.layoutValue<detail::GridCellKey>(
                    {r, static_cast<int>(c), false, gridRow->rowAlignment}));
            }
        } else {
            children_.push_back(
                row.view.layoutValue<detail::GridCellKey>({r, 0, true, std::nullopt}));
        }
        ++r;
    }
}

namespace detail {
namespace {

class ScrollImpl final : public ViewImpl {
public:
    AnyView content;
    std::function<void(const ScrollGeometry&, const ScrollGeometry&)> onGeometry;
    const void* typeTag() const override { return &detail::typeTag<ScrollImpl>; }
    bool equals(const ViewImpl& other) const override {
        const auto& o = static_cast<const ScrollImpl&>(other);
        return !onGeometry && !o.onGeometry && sameView(content, o.content);
    }
    std::unique_ptr<Node> makeNode() const override;
};

class ScrollNode final : public Node {
public:
    std::unique_ptr<Node> child;
    CGFloat offset = 0;

    void forEachChild(ChildVisitor f) override {
        if (child) {
            f(*child);
        }
    }
    std::size_t childCount() const override { return child ? 1 : 0; }
    Node* childAt(std::size_t) const override { return child.get(); }
    bool clipsChildren() const override { return true; }
    void draw(DisplayList& list) override {
        list.append(DisplayList::Save{});
        list.append(DisplayList::Clip{platform::Path::rect(bounds())});
        Node::draw(list);
        list.append(DisplayList::Restore{});
    }
    void collectHandlers(Point point, std::vector<Node*>& out) override {
        if (!bounds().contains(point)) {
            return;
        }
        collectChildHandlers(point, out);
        out.push_back(this);
    }
    bool scroll(CGFloat dx) {
        const CGFloat before = offset;
        offset = std::clamp(offset + dx, CGFloat(0), maxOffset());
        if (offset != before) {
            invalidatePlacement();
            return true;
        }
        return false;
    }
    /// Scrolls by the least that brings `rect` (root coordinates) inside the view sideways, when
    /// it lies at the view's height and the view is shown; how far it scrolled. The rectangle was
    /// found where the content was last placed: requests that come faster than layout passes
    /// (held keys) each scroll from where the one before left the offset, not again as far.
    CGFloat show(Rect rect) {
        const Rect f = rootFrame();
        if (rect.minY() >= f.maxY() || rect.maxY() <= f.minY() || visibleBounds().isNull()) {
            return 0;
        }
        // In the content's own coordinates, and the part of it shown.
        const CGFloat lo = rect.minX() - f.minX() + placedOffset_;
        const CGFloat hi = lo + rect.width();
        CGFloat target = offset;
        if (lo < offset && hi <= offset + f.width()) {
            target = lo;
        } else if (hi > offset + f.width() && lo >= offset) {
            // Its leading edge stays in view when it is wider than the view.
            target = std::min(hi - f.width(), lo);
        }
        const CGFloat before = offset;
        scroll(target - offset);
        return offset - before;
    }
    void afterLayout() override {
        const auto& s = static_cast<const ScrollImpl&>(*view.impl());
        const ScrollGeometry now{{offset, 0}, contentSize(), frame.size};
        if (!reported_ || !(now == last_)) {
            const ScrollGeometry old = reported_ ? last_ : now;
            last_ = now;
            reported_ = true;
            if (s.onGeometry) {
                s.onGeometry(old, now);
            }
        }
    }

protected:
    void rebuild() override {
        const auto& s = static_cast<const ScrollImpl&>(*view.impl());
        if (!registered_ && graph != nullptr) {
            graph->scrollViews.push_back(token());
            registered_ = true;
        }
        if (!contentEnvMade_ || !contentEnvFrom_.identical(env)) {
            contentEnvFrom_ = env;
            contentEnv_ = env;
            contentEnv_.set<ScrollByKey>(scrollBy());
            contentEnvMade_ = true;
        }
        child = reconcile(std::move(child), s.content, contentEnv_);
        // Told its geometry after the passes that placed it (its offset, its size or its
        // content's size changed), not after every pass.
        observeLayoutChanges();
    }
    Size computeSize(ProposedViewSize p) override {
        const Size c = child->sizeThatFits({std::nullopt, p.height});
        const CGFloat w = p.width && std::isfinite(*p.width) ? *p.width : c.width;
        return {w, c.height};
    }
    void placeChildren(ProposedViewSize p) override {
        contentProposal_ = {std::nullopt, p.height};
        offset = std::clamp(offset, CGFloat(0), maxOffset());
        placedOffset_ = offset;
        child->place(Rect({-offset, 0}, contentSize()), contentProposal_);
        seesChange();
    }

private:
    /// The action the content scrolls this view with, made once: the content's environment
    /// keeps comparing equal.
    const ScrollByAction& scrollBy() {
        if (!scrollBy_) {
            scrollBy_ = ScrollByAction([weak = std::weak_ptr<NodeToken>(token())](CGFloat dx) {
                const auto locked = weak.lock();
                if (!locked || locked->node == nullptr || dx == 0 || !std::isfinite(dx)) {
                    return;
                }
                // Asked while the content is laid out, when its size may be changing: the offset
                // is kept within the content as the scroll view is placed again.
                auto& scroll = static_cast<ScrollNode&>(*locked->node);
                scroll.offset = std::max(scroll.offset + dx, CGFloat(0));
                scroll.invalidatePlacement();
            });
        }
        return *scrollBy_;
    }
    Size contentSize() { return child->sizeThatFits(contentProposal_); }
    CGFloat maxOffset() { return std::max(contentSize().width - frame.size.width, CGFloat(0)); }
    ProposedViewSize contentProposal_;
    std::optional<ScrollByAction> scrollBy_;
    EnvironmentValues contentEnv_;
    EnvironmentValues contentEnvFrom_;
    bool contentEnvMade_ = false;
    ScrollGeometry last_;
    bool reported_ = false;
    bool registered_ = false;
    /// The offset the content was last placed at.
    CGFloat placedOffset_ = 0;
};

std::unique_ptr<Node> ScrollImpl::makeNode() const {
    return std::make_unique<ScrollNode>();
}

class GeometryReaderImpl final : public ViewImpl {
public:
    std::shared_ptr<const std::function<AnyView(const GeometryProxy&)>> content;
    const void* typeTag() const override { return &detail::typeTag<GeometryReaderImpl>; }
    bool equals(const ViewImpl& other) const override {
        return content == static_cast<const GeometryReaderImpl&>(other).content;
    }
    std::unique_ptr<Node> makeNode() const override;
};

class GeometryReaderNode final : public Node {
public:
    std::unique_ptr<Node> child;
    void forEachChild(ChildVisitor f) override {
        if (child) {
            f(*child);
        }
    }
    std::size_t childCount() const override { return child ? 1 : 0; }
    Node* childAt(std::size_t) const override { return child.get(); }

protected:
    void rebuild() override {}
    bool layoutDependsOnView() const override { return true; }
    Size computeSize(ProposedViewSize p) override { return p.replacingUnspecifiedDimensions(); }
    void placeChildren(ProposedViewSize) override {
        const auto& s = static_cast<const GeometryReaderImpl&>(*view.impl());
        child = reconcile(std::move(child), (*s.content)(proxy()), env, true);
        const ProposedViewSize p(frame.size);
        child->place(Rect({0, 0}, child->sizeThatFits(p)), p);
    }
};

std::unique_ptr<Node> GeometryReaderImpl::makeNode() const {
    return std::make_unique<GeometryReaderNode>();
}

class TimelineImpl final : public ViewImpl {
public:
    std::shared_ptr<const std::function<AnyView(const TimelineContext&)>> content;
    const void* typeTag() const override { return &detail::typeTag<TimelineImpl>; }
    std::unique_ptr<Node> makeNode() const override;
};

class TimelineNode final : public SingleChildNode {
protected:
    void rebuild() override {
        const auto& s = static_cast<const TimelineImpl&>(*view.impl());
        if (!registered_ && graph != nullptr) {
            graph->timelines.push_back(token());
            registered_ = true;
        }
        const TimelineContext context{graph != nullptr ? graph->frameTime
                                                       : std::chrono::steady_clock::now()};
        child = reconcile(std::move(child), (*s.content)(context), env);
    }

private:
    bool registered_ = false;
};

std::unique_ptr<Node> TimelineImpl::makeNode() const {
    return std::make_unique<TimelineNode>();
}

} // namespace

bool scrollNodeBy(Node& node, CGFloat dx) {
    if (auto* scroll = dynamic_cast<ScrollNode*>(&node)) {
        return scroll->scroll(dx);
    }
    return false;
}

CGFloat scrollNodeToShow(Node& node, Rect rect) {
    if (auto* scroll = dynamic_cast<ScrollNode*>(&node)) {
        return scroll->show(rect);
    }
    return 0;
}

} // namespace detail

std::shared_ptr<const detail::ViewImpl> ScrollView::makeImpl() const {
    auto impl = std::make_shared<detail::ScrollImpl>();
    impl->content = content_;
    impl->onGeometry = onGeometry_;
    return impl;
}

std::shared_ptr<const detail::ViewImpl> GeometryReader::makeImpl() const {
    auto impl = std::make_shared<detail::GeometryReaderImpl>();
    impl->content = content_;
    return impl;
}

std::shared_ptr<const detail::ViewImpl> TimelineView::makeImpl() const {
    auto impl = std::make_shared<detail::TimelineImpl>();
    impl->content = content_;
    return impl;
}

} // namespace platform::ui

#include "platform/ui/Containers.hpp"

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
        std::vector<CGFloat> columnWidths;
        std::vector<CGFloat> rowHeights;
        std::vector<HorizontalAlignment> columnAlignments;
        Size size;
    };

    Plan plan(ProposedViewSize p, LayoutSubviews subviews) const {
        Plan plan;
        int rows = 0;
        int columns = 0;
        for (const LayoutSubview& s : subviews) {
            const GridCellKey::Value cell = s.get<GridCellKey>();
            plan.cells.push_back(cell);
            rows = std::max(rows, cell.row + 1);
            if (!cell.spansRow) {
                columns = std::max(columns, cell.column + 1);
            }
        }
        plan.columnWidths.assign(static_cast<std::size_t>(columns), 0);
        plan.rowHeights.assign(static_cast<std::size_t>(rows), 0);
        plan.columnAlignments.assign(static_cast<std::size_t>(columns), alignment_.horizontal);
        std::vector<bool> alignmentSet(static_cast<std::size_t>(columns), false);
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = plan.cells[i];
            if (cell.spansRow) {
                continue;
            }
            const auto c = static_cast<std::size_t>(cell.column);
            plan.columnWidths[c] =
                std::max(plan.columnWidths[c], subviews[i].sizeThatFits({}).width);
            if (!alignmentSet[c]) {
                if (auto a = subviews[i].get<GridColumnAlignmentKey>()) {
                    plan.columnAlignments[c] = *a;
                    alignmentSet[c] = true;
                }
            }
        }
        const CGFloat spacingTotal = hSpacing_ * std::max(columns - 1, 0);
        if (p.width && std::isfinite(*p.width)) {
            shrinkColumns(std::max(*p.width - spacingTotal, CGFloat(0)), plan, subviews);
        }
        const CGFloat width =
            std::accumulate(plan.columnWidths.begin(), plan.columnWidths.end(), CGFloat(0)) +
            spacingTotal;
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = plan.cells[i];
            const auto r = static_cast<std::size_t>(cell.row);
            const CGFloat w =
                cell.spansRow ? width : plan.columnWidths[static_cast<std::size_t>(cell.column)];
            plan.rowHeights[r] =
                std::max(plan.rowHeights[r], subviews[i].sizeThatFits({w, std::nullopt}).height);
        }
        const CGFloat height =
            std::accumulate(plan.rowHeights.begin(), plan.rowHeights.end(), CGFloat(0)) +
            vSpacing_ * std::max(rows - 1, 0);
        plan.size = {width, height};
        return plan;
    }

    /// Narrows the columns of `plan` (at their ideal widths) to fit `available`. Every column
    /// keeps at least its minimum, the width below which a cell would have to break a word; the
    /// widest columns give up the excess first, down to one common width. Where even the minimums
    /// do not fit, the grid is as wide as they are and its container deals with the overflow.
    void shrinkColumns(CGFloat available, Plan& plan, LayoutSubviews subviews) const {
        std::vector<CGFloat>& widths = plan.columnWidths;
        const CGFloat ideal = std::accumulate(widths.begin(), widths.end(), CGFloat(0));
        if (ideal <= available) {
            return;
        }
        const std::vector<CGFloat> ideals = widths;
        std::vector<CGFloat> minimums(widths.size(), 0);
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = plan.cells[i];
            if (!cell.spansRow) {
                const auto c = static_cast<std::size_t>(cell.column);
                minimums[c] = std::max(minimums[c], subviews[i].sizeThatFits({0.0, {}}).width);
            }
        }
        for (std::size_t c = 0; c < widths.size(); ++c) {
            minimums[c] = std::min(minimums[c], ideals[c]);
        }
        if (std::accumulate(minimums.begin(), minimums.end(), CGFloat(0)) >= available) {
            widths = minimums;
            return;
        }
        // A narrowed column is as wide as its widest cell at that width: text that wraps comes
        // back narrower than the width it was offered, and the column must not keep the rest
        // (a style that fills a column up to the next one would show it as a gap). What it
        // leaves goes to the columns still narrower than their ideal: such a column is held at
        // its measured width (its lines break as they did) and the level is solved again, a few
        // times at most, each pass measuring the cells once more.
        std::vector<CGFloat> caps = ideals;
        std::vector<CGFloat> measured(widths.size(), 0);
        constexpr int passes = 3;
        for (int pass = 0; pass < passes; ++pass) {
            widths = levelled(available, minimums, caps);
            std::ranges::fill(measured, CGFloat(0));
            for (std::size_t i = 0; i < subviews.size(); ++i) {
                const auto& cell = plan.cells[i];
                const auto c = static_cast<std::size_t>(cell.column);
                if (!cell.spansRow && widths[c] < ideals[c]) {
                    measured[c] =
                        std::max(measured[c], subviews[i].sizeThatFits({widths[c], {}}).width);
                }
            }
            bool freed = false;
            bool hungry = false;
            for (std::size_t c = 0; c < widths.size(); ++c) {
                if (widths[c] < ideals[c]) {
                    const CGFloat used = std::min(measured[c], ideals[c]);
                    if (used < widths[c] - 0.5) {
                        caps[c] = std::max(used, minimums[c]);
                        freed = true;
                    } else {
                        hungry = true; // fills its width: it would take more
                    }
                    widths[c] = used;
                }
            }
            if (!freed || !hungry) {
                break;
            }
        }
    }

    /// Each column clamped between its minimum and its cap at one common width `level`, the one
    /// at which they fill `available` (the minimums fit). The total grows with the level, so walk
    /// its breakpoints up to the one that passes the available width and solve the linear piece
    /// before it.
    static std::vector<CGFloat> levelled(CGFloat available, const std::vector<CGFloat>& minimums,
                                         const std::vector<CGFloat>& caps) {
        const auto clamped = [&](std::size_t c, CGFloat level) {
            return std::max(minimums[c], std::min(caps[c], level));
        };
        const auto total = [&](CGFloat level) {
            CGFloat sum = 0;
            for (std::size_t c = 0; c < caps.size(); ++c) {
                sum += clamped(c, level);
            }
            return sum;
        };
        std::vector<CGFloat> breakpoints = minimums;
        breakpoints.insert(breakpoints.end(), caps.begin(), caps.end());
        std::ranges::sort(breakpoints);
        CGFloat below = breakpoints.front();
        CGFloat level = breakpoints.back();
        for (const CGFloat b : breakpoints) {
            if (total(b) >= available) {
                std::size_t free = 0;
                for (std::size_t c = 0; c < caps.size(); ++c) {
                    free += minimums[c] <= below && caps[c] >= b ? 1 : 0;
                }
                level =
                    free == 0 ? b : below + (available - total(below)) / static_cast<CGFloat>(free);
                break;
            }
            below = b;
        }
        std::vector<CGFloat> widths(caps.size());
        for (std::size_t c = 0; c < caps.size(); ++c) {
            widths[c] = clamped(c, level);
        }
        return widths;
    }

    Size sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const override {
        return plan(p, subviews).size;
    }

    void placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                       std::any&) const override {
        const Plan pl = plan(p, subviews);
        std::vector<CGFloat> xs(pl.columnWidths.size());
        CGFloat x = bounds.origin.x;
        for (std::size_t c = 0; c < xs.size(); ++c) {
            xs[c] = x;
            x += pl.columnWidths[c] + hSpacing_;
        }
        std::vector<CGFloat> ys(pl.rowHeights.size());
        CGFloat y = bounds.origin.y;
        for (std::size_t r = 0; r < ys.size(); ++r) {
            ys[r] = y;
            y += pl.rowHeights[r] + vSpacing_;
        }
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            const auto& cell = pl.cells[i];
            const auto r = static_cast<std::size_t>(cell.row);
            const auto c = static_cast<std::size_t>(cell.column);
            const Rect box = cell.spansRow
                                 ? Rect(bounds.origin.x, ys[r], pl.size.width, pl.rowHeights[r])
                                 : Rect(xs[c], ys[r], pl.columnWidths[c], pl.rowHeights[r]);
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
        child = reconcile(std::move(child), s.content, env);
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
        child->place(Rect({-offset, 0}, contentSize()), contentProposal_);
        seesChange();
    }

private:
    Size contentSize() { return child->sizeThatFits(contentProposal_); }
    CGFloat maxOffset() { return std::max(contentSize().width - frame.size.width, CGFloat(0)); }
    ProposedViewSize contentProposal_;
    ScrollGeometry last_;
    bool reported_ = false;
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

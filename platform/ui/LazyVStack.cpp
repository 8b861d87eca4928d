#include "platform/ui/LazyVStack.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

namespace platform::ui {

namespace {

class AlignedLazyLayout final : public LazyVStackLayout {
public:
    AlignedLazyLayout(HorizontalAlignment alignment, std::optional<CGFloat> spacing)
        : alignment_(alignment)
        , spacing_(spacing) {}
    CGFloat rowSpacing(const LayoutSubview& upper, const LayoutSubview& lower) const override {
        return spacing_ ? soundLength(*spacing_, false)
                        : upper.spacing().distance(lower.spacing(), Axis::vertical);
    }
    CGFloat rowOffset(const LayoutSubview&, Size size, CGFloat width) const override {
        if (&alignment_.id() == &alignment_ids::leading) {
            return 0;
        }
        if (&alignment_.id() == &alignment_ids::trailing) {
            return width - size.width;
        }
        return (width - size.width) / 2;
    }
    bool equals(const Layout& other) const override {
        const auto* o = dynamic_cast<const AlignedLazyLayout*>(&other);
        return o != nullptr && o->alignment_ == alignment_ && o->spacing_ == spacing_;
    }

private:
    HorizontalAlignment alignment_;
    std::optional<CGFloat> spacing_;
};

} // namespace

Size LazyVStackLayout::sizeThatFits(ProposedViewSize proposal, LayoutSubviews subviews,
                                    std::any&) const {
    const ProposedViewSize row(proposal.width, std::nullopt);
    Size size{0, 0};
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        const Size s = subviews[i].sizeThatFits(row);
        size.width = std::max(size.width, s.width);
        size.height += s.height;
        if (i + 1 < subviews.size()) {
            size.height += soundLength(rowSpacing(subviews[i], subviews[i + 1]), false);
        }
    }
    return size;
}

void LazyVStackLayout::placeSubviews(Rect bounds, ProposedViewSize proposal,
                                     LayoutSubviews subviews, std::any&) const {
    const ProposedViewSize row(proposal.width, std::nullopt);
    CGFloat y = bounds.origin.y;
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        const Size s = subviews[i].sizeThatFits(row);
        subviews[i].place({bounds.origin.x + rowOffset(subviews[i], s, bounds.size.width), y},
                          UnitPoint::topLeading(), row);
        y += s.height;
        if (i + 1 < subviews.size()) {
            y += soundLength(rowSpacing(subviews[i], subviews[i + 1]), false);
        }
    }
}

LazyVStack::LazyVStack(HorizontalAlignment alignment, std::optional<CGFloat> spacing,
                       std::vector<AnyView> children)
    : layout_(std::make_shared<AlignedLazyLayout>(alignment, spacing))
    , children_(std::move(children)) {}

std::shared_ptr<const detail::ViewImpl> LazyVStack::makeImpl() const {
    auto impl = std::make_shared<detail::LayoutViewImpl>();
    impl->layout =
        layout_ ? layout_
                : std::make_shared<AlignedLazyLayout>(HorizontalAlignment::center(), std::nullopt);
    impl->axis = Axis::vertical;
    impl->lazy = true;
    impl->children = children_;
    return impl;
}

namespace detail {

namespace {

constexpr CGFloat kUnknown = std::numeric_limits<CGFloat>::quiet_NaN();
/// Row measures kept for this many widths (the width laid out and, say, a host's ideal width).
constexpr std::size_t kWidthsKept = 2;

bool known(CGFloat v) {
    return !std::isnan(v);
}

/// The rows' measures at one proposed width.
struct Rows {
    std::optional<CGFloat> width;
    /// Unknown (NaN) until measured.
    std::vector<CGFloat> heights;
    std::vector<CGFloat> widths;
    /// Rows measured before whose measures a change dropped: measured again first.
    std::vector<std::size_t> remeasure;
    /// The heights they had, in the same order.
    std::vector<CGFloat> dropped;
    std::uint64_t lastUse = 0;
};

/// What the measured rows add up to; unknown rows and gaps count with the means.
struct Totals {
    CGFloat meanHeight = 0;
    CGFloat meanGap = 0;
    CGFloat height = 0;
    CGFloat width = 0;
};

struct Span {
    CGFloat top = -infinity;
    CGFloat bottom = infinity;
};

class LazyStackNode final : public ContainerNode {
public:
    void forEachChild(ChildVisitor f) override {
        for (Child& c : children) {
            if (c.node) {
                f(*c.node);
            }
        }
    }
    // Drawing and hit testing see the rows placed for the visible part only.
    std::size_t childCount() const override { return windowEnd_ - windowBegin_; }
    Node* childAt(std::size_t index) const override {
        return children[windowBegin_ + index].node.get();
    }
    bool dependsOnEnvironmentChange(const EnvironmentValues&) const override { return false; }

    /// The rows shown and those placed below them take the new environment now; the others
    /// are left stale, brought up to date as they come near the visible part (those placed
    /// above the first row shown in the next layout pass, which keeps that row where the viewer
    /// sees it) or in idle time.
    void passEnvironmentDown() override {
        const EnvironmentValues& childEnv = childEnvironment();
        leaveRowsStale();
        const std::size_t first = firstRowShown();
        for (std::size_t i = first; i < windowEnd_; ++i) {
            if (Node* const row = children[i].node.get()) {
                row->update(row->view, childEnv);
                madeCurrent(i);
            }
        }
        if (first > windowBegin_) {
            markForVerification();
        }
    }

    void childLayoutChanged(Node& child) override { rowChanged(indexOf(child)); }
    void childLayoutValuesChanged(Node& child) override {
        rowChanged(indexOf(child));
        invalidateLayout();
    }

    void viewportChanged() {
        if (!everPlaced || !placementValid) {
            return; // laid out in the next pass anyway
        }
        const Span needed = visibleSpan(0);
        const bool coversTop = windowBegin_ == 0 || windowTop_ <= needed.top;
        const bool coversBottom = windowEnd_ == children.size() || windowBottom_ >= needed.bottom;
        if (!coversTop || !coversBottom) {
            markForVerification();
        }
    }

    /// Whether the rows placed for the visible part fall short of the margin beyond it, on
    /// either side (the view moved since they were placed); the next layout pass places them
    /// then, so that a scroll within the margin finds its rows placed.
    bool placeAhead() {
        if (!everPlaced || !placementValid || graph == nullptr || !graph->visibleRect) {
            return false;
        }
        const Span wanted = visibleSpan(margin());
        // The span the rows were placed for holds the one wanted now; and a span is asked for
        // once (should placing move the visible part, the host asks again once it scrolled).
        const bool coversTop = windowBegin_ == 0 || placedSpan_.top <= wanted.top;
        const bool coversBottom =
            windowEnd_ == children.size() || placedSpan_.bottom >= wanted.bottom;
        if ((coversTop && coversBottom) ||
            (aheadAsked_.top == wanted.top && aheadAsked_.bottom == wanted.bottom)) {
            return false;
        }
        aheadAsked_ = wanted;
        markForVerification();
        return true;
    }

    /// Whether rows wait for idle layout. The rows laid out, measured and placed where they
    /// belong are passed once: the first that waits is where idle layout resumes.
    bool hasDeferredRows() {
        if (!everPlaced) {
            return false;
        }
        if (currentRows_ != builtRows_) {
            return true;
        }
        const Rows* rows = find(placedProposal.width);
        if (rows == nullptr) {
            return false;
        }
        const std::size_t n = children.size();
        while (idleDone_ < n) {
            const std::size_t i = idleDone_;
            visited();
            if (isStale(i) || !known(rows->heights[i]) || (i > 0 && !known(gaps_[i - 1]))) {
                return true;
            }
            const CGFloat y = idleTop(*rows, i);
            if (awaitsPlacement(*rows, i, y)) {
                // Placed in the next pass when that is due, and looked at again then.
                return placementValid;
            }
            passed(i, y);
        }
        return false;
    }

    bool layOutDeferred(std::chrono::steady_clock::time_point deadline) {
        if (!everPlaced || !placementValid) {
            return false;
        }
        Rows& rows = rowsFor(placedProposal.width);
        refresh(rows);
        const std::size_t n = children.size();
        // The first row shown stays where the viewer sees it: rows above it that replace their
        // estimates move it, and the host scrolls by as much.
        const std::size_t anchor = windowBegin_;
        const CGFloat anchorBefore = offsetOf(rows, totals(rows), anchor);
        bool any = false;
        // From the top down, resuming where the last slice stopped: the rows above the visible
        // part are read first, and their estimates are what moves the visible rows when they are
        // replaced. Each row is placed where the rows above put it, as the rows shown are: what
        // it lays out from its frame (attachments fitted to the room it has) and the positions
        // it publishes are then those it has when it is shown.
        while (idleDone_ < n) {
            const std::size_t i = idleDone_;
            visited();
            bool worked = false;
            if (isStale(i)) {
                refreshRow(i);
                worked = true;
            }
            worked = measure(rows, i) || worked;
            if (i > 0 && !known(gaps_[i - 1])) {
                ensureGap(i - 1);
                worked = true;
            }
            const CGFloat y = idleTop(rows, i);
            if (awaitsPlacement(rows, i, y)) {
                placeRow(rows, i, y);
                worked = true;
            }
            passed(i, y);
            if (worked) {
                any = true;
                if (std::chrono::steady_clock::now() >= deadline) {
                    break;
                }
            }
        }
        if (any) {
            markForVerification();
            if (anchor > 0 && anchor < n && graph != nullptr && graph->visibleRect) {
                const CGFloat moved = offsetOf(rows, totals(rows), anchor) - anchorBefore;
                // The graph moves the visible part by as much before the next layout pass.
                graph->scrollCorrection += moved;
                movedSincePlaced_ += moved;
                movedWithRows(moved);
            }
        }
        return any;
    }

protected:
    void rebuild() override {
        const auto& impl = static_cast<const LayoutViewImpl&>(*view.impl());
        auto newLayout = std::static_pointer_cast<const LazyVStackLayout>(impl.layout);
        const bool layoutChanged =
            !layout_ || !(layout_ == newLayout || (newLayout && layout_->equals(*newLayout)));
        layout_ = std::move(newLayout);
        if (!registered_ && graph != nullptr) {
            graph->lazyStacks.push_back(token());
            registered_ = true;
        }
        // The elements of a lone list are the rows, read where the list keeps them: a long
        // document's rows are neither copied nor touched until they are built.
        const std::vector<FlatChild>* items =
            impl.children.size() == 1 ? listItems(*impl.children.front().impl()) : nullptr;
        if (items != nullptr) {
            listSource_ = impl.children.front().impl();
            ownRows_.clear();
            rowViews_ = items;
        } else {
            listSource_.reset();
            std::vector<FlatChild> flat;
            flattenRows(impl.children, flat);
            ownRows_ = std::move(flat);
            rowViews_ = &ownRows_;
        }
        const std::vector<FlatChild>& rows = *rowViews_;
        bool sameKeys = rows.size() == children.size();
        for (std::size_t i = 0; sameKeys && i < rows.size(); ++i) {
            sameKeys = rows[i].key == children[i].key;
        }
        const EnvironmentValues& childEnv = childEnvironment();
        if (sameKeys) {
            // As for a new environment: the rows drawn are evaluated now, the others when they
            // come near the visible part or in idle time.
            leaveRowsStale();
            const std::size_t first = firstRowShown();
            if (first > windowBegin_) {
                markForVerification();
            }
            for (std::size_t i = first; i < windowEnd_; ++i) {
                if (Node* const before = children[i].node.get()) {
                    children[i].node =
                        reconcile(std::move(children[i].node), rows[i].view, childEnv);
                    children[i].node->indexInParent = i;
                    madeCurrent(i);
                    if (children[i].node.get() != before) {
                        rowChanged(i);
                    }
                }
            }
        } else {
            rearrange(rows, childEnv);
            invalidateLayout();
        }
        if (layoutChanged) {
            layOutAgainFrom(0);
            std::fill(gaps_.begin(), gaps_.end(), kUnknown);
            ++version_;
            invalidateLayout();
        }
    }

    Size computeSize(ProposedViewSize proposal) override {
        Rows& rows = rowsFor(proposal.width);
        refresh(rows);
        refreshBand(rows);
        measureSpan(rows, visibleSpan(margin()));
        // The first and last rows give the stack's baselines and spacing.
        if (!children.empty()) {
            measure(rows, 0);
            measure(rows, children.size() - 1);
        }
        const Totals t = totals(rows);
        return {t.width, t.height};
    }

    void placeChildren(ProposedViewSize proposal) override {
        Rows& rows = rowsFor(proposal.width);
        refresh(rows);
        // The row at the top of the visible part keeps its place in it: at a new width, and at
        // the same one when rows measured since the last pass (coming near the visible part,
        // or asked by the host) replaced estimates above it.
        const std::optional<ReadersPlace> place = readersPlace();
        // Rows placed before at this width stay placed while within a band more: a row let go
        // just beyond the margin would change the drawing within it (its ink reaches a line past
        // it), what the host drew ahead there.
        const bool samePlaces = placedWidth_ == proposal.width;
        const std::size_t keptBegin = samePlaces ? windowBegin_ : 0;
        const std::size_t keptEnd = samePlaces ? windowEnd_ : 0;
        if (placedWidth_ != proposal.width) {
            layOutAgainFrom(0);
        }
        placedWidth_ = proposal.width;
        refreshBand(rows);
        measureSpan(rows, visibleSpan(margin()));
        if (place) {
            keepReadersPlace(rows, *place);
        }
        const Span span = visibleSpan(margin());
        const Span keep = visibleSpan(margin() + bandAhead);
        placedSpan_ = span;
        const Totals t = totals(rows);
        const auto kept = [&](std::size_t i) { return i >= keptBegin && i < keptEnd; };
        const ProposedViewSize rowProposal(proposal.width, std::nullopt);
        const std::size_t n = children.size();
        const CGFloat width = frame.size.width;
        std::size_t begin = n;
        std::size_t end = n;
        CGFloat y = 0;
        for (std::size_t i = 0; i < n; ++i) {
            CGFloat h = heightOf(rows, t, i);
            if (begin == n && (y + h >= span.top || (kept(i) && y + h >= keep.top) || i + 1 == n)) {
                begin = i;
                windowTop_ = y;
            }
            if (begin != n) {
                if (y > span.bottom && i > begin && !(kept(i) && y <= keep.bottom)) {
                    end = i;
                    break;
                }
                measureCurrent(rows, i);
                h = rows.heights[i];
                Node& c = *children[i].node;
                const Size s = c.sizeThatFits(rowProposal);
                const CGFloat x = layout_->rowOffset(LayoutSubview(c), s, width);
                c.place(Rect({x, y}, s), rowProposal);
                windowBottom_ = y + h;
            }
            y += h + gapOf(t, i);
        }
        windowBegin_ = begin;
        windowEnd_ = n == 0 ? 0 : end;
        movedSincePlaced_ = 0;
        if (windowBegin_ > windowEnd_) {
            windowBegin_ = windowEnd_;
        }
        if (place) {
            keepPieceInPlace();
        }
        // Rows that came into view were measured just now: the size told the parent was an
        // estimate, settled in the next round of this pass.
        if (hasCachedSize(proposal) && !(sizeThatFits(proposal) == Size{t.width, t.height})) {
            markForVerification();
        }
    }

    std::optional<CGFloat> guideValue(const AlignmentID& guide, Size, ProposedViewSize p) override {
        const bool first = &guide == &alignment_ids::firstTextBaseline;
        const bool last = &guide == &alignment_ids::lastTextBaseline;
        if ((!first && !last) || children.empty()) {
            return std::nullopt;
        }
        const ProposedViewSize rowProposal(p.width, std::nullopt);
        Rows& rows = rowsFor(p.width);
        const std::size_t i = first ? 0 : children.size() - 1;
        measure(rows, i);
        const CGFloat value = children[i].node->dimensions(rowProposal).value(guide);
        return first ? value : offsetOf(rows, totals(rows), i) + value;
    }

    ViewSpacing spacingValue() override {
        if (children.empty()) {
            return {};
        }
        ViewSpacing s = built(0).spacing();
        const ViewSpacing last = built(children.size() - 1).spacing();
        s.bottom = last.bottom;
        s.leading = std::max(s.leading, last.leading);
        s.trailing = std::max(s.trailing, last.trailing);
        return s;
    }

private:
    std::size_t indexOf(const Node& child) const {
        const std::size_t i = child.indexInParent;
        if (i < children.size() && children[i].node.get() == &child) {
            return i;
        }
        for (std::size_t k = 0; k < children.size(); ++k) {
            if (children[k].node.get() == &child) {
                return k;
            }
        }
        return children.size();
    }

    /// Where row `i` starts, the rows above it being laid out: the sum the layout pass takes
    /// (each row's height and the gap below it added in turn), so that a row placed in idle time
    /// and one placed in view agree to the last bit.
    CGFloat idleTop(const Rows& rows, std::size_t i) {
        if (i == 0) {
            return 0;
        }
        if (!known(idleTop_)) {
            CGFloat y = 0;
            for (std::size_t k = 0; k + 1 < i; ++k) {
                y += rows.heights[k] + gaps_[k];
            }
            idleTop_ = y;
        }
        return idleTop_ + (rows.heights[i - 1] + gaps_[i - 1]);
    }
    /// Row `i`, starting at `y`, is laid out, measured and placed: idle layout goes on below it.
    void passed(std::size_t i, CGFloat y) {
        idleDone_ = i + 1;
        idleTop_ = y;
    }
    /// Row `i` and those below it wait for idle layout again (a measure or a gap above them
    /// changed, or they were placed at another width).
    void layOutAgainFrom(std::size_t i) {
        if (i < idleDone_) {
            idleDone_ = i;
            idleTop_ = kUnknown;
        }
    }
    void visited() {
        if (graph != nullptr) {
            ++graph->statistics.deferredRowsVisited;
        }
    }

    /// Drops the measures of row `i` and its gaps; they are taken again before they are used.
    void rowChanged(std::size_t i) {
        if (i >= children.size()) {
            return;
        }
        layOutAgainFrom(i);
        for (Rows& rows : rowSets_) {
            if (known(rows.heights[i])) {
                rows.remeasure.push_back(i);
                rows.dropped.push_back(rows.heights[i]);
                rows.heights[i] = kUnknown;
                ++version_;
            }
        }
        // The gaps above and below the row.
        for (std::size_t g = i > 0 ? i - 1 : 0; g <= i; ++g) {
            if (g + 1 < children.size() && known(gaps_[g])) {
                regap_.push_back(g);
                regapWas_.push_back(gaps_[g]);
                gaps_[g] = kUnknown;
                ++version_;
            }
        }
    }

    /// Measures again what was measured before a change, so that the extent stays as exact as
    /// it was.
    void refresh(Rows& rows) {
        if (rows.remeasure.empty() && regap_.empty()) {
            return;
        }
        // Rows above the first row shown that changed their size (a picture fitted anew to a
        // new width) move it: the visible part moves with it, and the host scrolls as far.
        const std::size_t n = children.size();
        std::size_t anchor = n;
        if (graph != nullptr && graph->visibleRect && everPlaced && placedWidth_ &&
            *placedWidth_ == rows.width) {
            anchor = firstRowShown();
        }
        const bool keep = anchor > 0 && anchor < n && children[anchor].node;
        CGFloat before = 0;
        if (keep) {
            // Where the anchor was with the measures the changed rows had. Those measured again
            // since (stale rows brought up to date near the visible part, or in idle time) moved
            // it then.
            std::vector<std::size_t> restored;
            std::vector<std::size_t> regapped;
            for (std::size_t k = 0; k < rows.remeasure.size(); ++k) {
                const std::size_t i = rows.remeasure[k];
                if (i < n && !known(rows.heights[i])) {
                    rows.heights[i] = rows.dropped[k];
                    restored.push_back(i);
                }
            }
            for (std::size_t k = 0; k < regap_.size(); ++k) {
                const std::size_t g = regap_[k];
                if (g < n && !known(gaps_[g])) {
                    gaps_[g] = regapWas_[k];
                    regapped.push_back(g);
                }
            }
            before = offsetOf(rows, sum(rows), anchor);
            for (const std::size_t i : restored) {
                rows.heights[i] = kUnknown;
            }
            for (const std::size_t g : regapped) {
                gaps_[g] = kUnknown;
            }
        }
        rows.dropped.clear();
        regapWas_.clear();
        std::vector<std::size_t> again;
        again.swap(rows.remeasure);
        for (const std::size_t i : again) {
            if (i < children.size() && children[i].node) {
                measure(rows, i);
            }
        }
        std::vector<std::size_t> gaps;
        gaps.swap(regap_);
        for (const std::size_t g : gaps) {
            if (g + 1 < children.size() && children[g].node && children[g + 1].node) {
                ensureGap(g);
            }
        }
        if (keep) {
            const CGFloat moved = offsetOf(rows, totals(rows), anchor) - before;
            moveVisiblePart(moved);
        }
    }

    /// Rows above the first row shown changed their size by `moved` in all: the visible part
    /// moves with that row, and the host scrolls as far.
    void moveVisiblePart(CGFloat moved) {
        if (moved == 0) {
            return;
        }
        moveVisiblePartAlone(moved);
        movedSincePlaced_ += moved;
        movedWithRows(moved);
    }
    /// The same, the rows staying where they were placed.
    void moveVisiblePartAlone(CGFloat moved) {
        graph->visibleRect->origin.y += moved;
        graph->scrollCorrection += moved;
        graph->correctionApplied += moved;
    }

    /// The visible part moved by `moved` with this stack's rows (it keeps a row where the viewer
    /// sees it). The stacks around it see their rows move the other way: the row each keeps for
    /// the reader is that much nearer the top, and the viewer did not scroll.
    void movedWithRows(CGFloat moved) {
        placeTop_ += moved;
        for (LazyStackNode* s = enclosing(); s != nullptr; s = s->enclosing()) {
            s->placeTop_ += moved;
            if (s->place_) {
                s->place_->below -= moved;
            }
        }
    }

    const EnvironmentValues& childEnvironment() {
        if (!childEnvMade_ || !childEnvFrom_.identical(env)) {
            childEnvMade_ = true;
            childEnvFrom_ = env;
            childEnv_ = env;
            if (childEnv_.get<StackAxisKey>() != Axis::vertical) {
                childEnv_.set<StackAxisKey>(Axis::vertical);
            }
        }
        return childEnv_;
    }

    Node& built(std::size_t i) {
        std::unique_ptr<Node>& slot = children[i].node;
        if (!slot) {
            const AnyView& view = (*rowViews_)[i].view;
            std::unique_ptr<Node> node = view.impl()->makeNode();
            node->graph = graph;
            node->parent = this;
            node->depth = depth + 1;
            node->indexInParent = i;
            // Built while this stack is measured or placed: its arrival changes nothing the
            // stack has told its parent, so the invalidation stops at the row.
            node->isLateChild = true;
            node->update(view, childEnvironment());
            node->isLateChild = false;
            slot = std::move(node);
            childrenChanged();
            ++builtRows_;
            rowGeneration_[i] = generation_;
            ++currentRows_;
            // The new row's preferences join the stack's.
            invalidatePreferences();
        }
        return *slot;
    }

    /// Every built row is stale from now on (a new environment or new row views reached the
    /// stack), until `madeCurrent`.
    void leaveRowsStale() {
        ++generation_;
        currentRows_ = 0;
        layOutAgainFrom(0);
    }
    void madeCurrent(std::size_t i) {
        if (rowGeneration_[i] != generation_) {
            rowGeneration_[i] = generation_;
            ++currentRows_;
        }
    }
    /// The first of the rows placed last that reaches into the visible part (the first placed
    /// when the host shows everything).
    std::size_t firstRowShown() const {
        if (graph == nullptr || !graph->visibleRect || !everPlaced) {
            return windowBegin_;
        }
        // The rows placed last moved with the visible part since, as far as it was corrected.
        const CGFloat top = visibleSpan(0).top - movedSincePlaced_;
        for (std::size_t i = windowBegin_; i < windowEnd_; ++i) {
            const Node* const row = children[i].node.get();
            if (row != nullptr && row->frame.maxY() > top) {
                return i;
            }
        }
        return windowEnd_;
    }

    /// Built, and not yet evaluated in the stack's current environment with its current view.
    bool isStale(std::size_t i) const {
        return children[i].node && rowGeneration_[i] != generation_;
    }

    /// Brings stale row `i` up to its view and environment. Its size, when that may have
    /// changed, is dropped and measured again before it is used; what changed inside it is
    /// placed again when the row is.
    void refreshRow(std::size_t i) {
        madeCurrent(i);
        Node* const before = children[i].node.get();
        const std::uint64_t generation = before->layoutGeneration;
        // As a row built while the stack is measured: what changes in it goes no higher than the
        // row, which the stack measures again.
        before->isLateChild = true;
        const AnyView& view = (*rowViews_)[i].view;
        // A row of another type is made anew, as a row built while the stack is measured.
        const bool kept = view.impl() && before->view.impl()->typeTag() == view.impl()->typeTag();
        const bool wasPlacing = graph != nullptr && graph->placing;
        Node* const outerRoot = graph != nullptr ? graph->detachedRoot : nullptr;
        if (graph != nullptr) {
            graph->placing = true;
            graph->detachedRoot = kept ? before : nullptr;
        }
        const auto restore = [&] {
            if (graph != nullptr) {
                graph->placing = wasPlacing;
                graph->detachedRoot = outerRoot;
            }
            if (children[i].node) {
                children[i].node->isLateChild = false;
            }
        };
        try {
            children[i].node =
                reconcile(std::move(children[i].node), view, childEnvironment(), true);
        } catch (...) {
            restore();
            throw;
        }
        restore();
        Node& row = *children[i].node;
        row.indexInParent = i;
        if (!kept || row.layoutGeneration != generation) {
            rowChanged(i);
        }
        if (!kept) {
            invalidatePreferences();
        }
        // Outside a layout pass (idle work, a host measuring), a row drawn now is placed again
        // in the next pass.
        if (!wasPlacing && i >= windowBegin_ && i < windowEnd_) {
            invalidatePlacement();
        }
    }

    /// The rectangle row `i` takes `y` down the stack, at the width the stack was placed with.
    Rect rowRect(const Rows& rows, std::size_t i, CGFloat y) {
        const Size s{rows.widths[i], rows.heights[i]};
        return {{layout_->rowOffset(LayoutSubview(*children[i].node), s, frame.size.width), y}, s};
    }

    /// Whether row `i`, measured and outside the rows placed for the visible part, is not
    /// placed where its measure and the rows above it put it (`y` down the stack).
    bool awaitsPlacement(const Rows& rows, std::size_t i, CGFloat y) {
        if ((i >= windowBegin_ && i < windowEnd_) || !children[i].node || !known(rows.heights[i])) {
            return false;
        }
        // Down the stack, where a frame is told apart (a row's frame across is mirrored right to
        // left). What changed inside a row placed before is placed again by the layout pass.
        const Node& row = *children[i].node;
        const Rect at = rowRect(rows, i, y);
        return !row.everPlaced || !row.placementValid ||
               !(row.placedProposal == ProposedViewSize(rows.width, {})) ||
               !(row.frame.size == at.size) || row.frame.origin.y != at.origin.y;
    }

    /// Places row `i` out of view, as a layout pass places the rows shown.
    void placeRow(const Rows& rows, std::size_t i, CGFloat y) {
        const bool wasPlacing = graph != nullptr && graph->placing;
        if (graph != nullptr) {
            graph->placing = true;
        }
        children[i].node->place(rowRect(rows, i, y), ProposedViewSize(rows.width, {}));
        if (graph != nullptr) {
            graph->placing = wasPlacing;
        }
    }

    /// Measures row `i`, first bringing it up to date if it is stale.
    bool measureCurrent(Rows& rows, std::size_t i) {
        if (isStale(i)) {
            refreshRow(i);
        }
        return measure(rows, i);
    }

    /// Brings up to date the stale rows in and near the visible part. Where their sizes changed,
    /// the first row shown stays where the viewer sees it: the visible part moves with it, and
    /// the host scrolls as far.
    void refreshBand(Rows& rows) {
        if (currentRows_ == builtRows_) {
            return;
        }
        const std::size_t n = children.size();
        constexpr int kRounds = 4;
        std::vector<std::size_t> due;
        for (int round = 0; round < kRounds; ++round) {
            const Span span = visibleSpan(margin());
            const Span shown = visibleSpan(0);
            const Totals t = totals(rows);
            due.clear();
            std::size_t anchor = n;
            CGFloat y = 0;
            for (std::size_t i = 0; i < n && y <= span.bottom; ++i) {
                const CGFloat h = heightOf(rows, t, i);
                if (y + h >= span.top && isStale(i)) {
                    due.push_back(i);
                }
                if (anchor == n && y + h > shown.top) {
                    anchor = i;
                }
                y += h + gapOf(t, i);
            }
            if (due.empty()) {
                return;
            }
            const CGFloat before = anchor < n ? offsetOf(rows, t, anchor) : 0;
            for (const std::size_t i : due) {
                refreshRow(i);
                measure(rows, i);
            }
            refresh(rows);
            if (anchor > 0 && anchor < n && graph != nullptr && graph->visibleRect) {
                const CGFloat moved = offsetOf(rows, totals(rows), anchor) - before;
                moveVisiblePart(moved);
            }
        }
    }

    /// The row at the top of the visible part, and how far below the part's top it starts.
    struct ReadersPlace {
        std::size_t row = 0;
        CGFloat below = 0;
    };
    /// The innermost piece laid out at the top of the visible part inside the row there: a
    /// list's item, a table's row, the line of a text. A tall row (a long list or table, a long
    /// paragraph) lays out what it holds anew at a new width, so keeping the row's top, far above
    /// the view, would move the piece the viewer reads.
    struct Piece {
        std::weak_ptr<NodeToken> node;
        /// For a text: where the line at the top starts.
        std::optional<std::size_t> line;
        /// How far below the part's top the piece (its line) starts.
        CGFloat below = 0;
        /// The lazy stacks on the way to it, each keeping the row that holds it.
        std::vector<std::weak_ptr<NodeToken>> stacks;
    };

    /// The place is taken where the viewer scrolled to and kept until they scroll again: through
    /// several widths, a row at the top that a narrower one pushed out of view (a picture that
    /// shrank) comes back to its place at the width it had, rather than the row that came to the
    /// top in between taking over. A stack inside another keeps the place the outermost one
    /// gives it, the row holding the piece at the top: one reader's place for the whole view.
    std::optional<ReadersPlace> readersPlace() {
        if (graph == nullptr || !graph->visibleRect || !everPlaced) {
            return std::nullopt;
        }
        if (place_ && (place_->row >= children.size() || !children[place_->row].node)) {
            place_.reset();
        }
        if (enclosing() != nullptr) {
            return place_;
        }
        const CGFloat top = visibleSpan(0).top;
        if (place_ && std::abs(top - placeTop_) < 1e-3) {
            return place_;
        }
        dropPlace();
        const std::size_t anchor = firstRowShown();
        if (anchor >= windowEnd_ || !children[anchor].node) {
            return std::nullopt;
        }
        Node& row = *children[anchor].node;
        const CGFloat rowTop = row.frame.minY() + movedSincePlaced_;
        // The view shows the stack's start: nothing above it moves it.
        if (anchor == 0 && rowTop >= top) {
            return std::nullopt;
        }
        place_ = ReadersPlace{anchor, rowTop - top};
        placeTop_ = top;
        takePiece(row, rowTop, top);
        return place_;
    }

    void dropPlace() {
        place_.reset();
        if (piece_) {
            for (const auto& t : piece_->stacks) {
                if (const auto stack = t.lock(); stack && stack->node != nullptr) {
                    static_cast<LazyStackNode*>(stack->node)->place_.reset();
                }
            }
            piece_.reset();
        }
    }

    /// The lazy stack this one is a row of (at any depth), if any.
    LazyStackNode* enclosing() {
        if (!enclosingKnown_) {
            enclosingKnown_ = true;
            for (Node* n = parent; n != nullptr; n = n->parent) {
                if (auto* const stack = dynamic_cast<LazyStackNode*>(n)) {
                    enclosing_ = stack;
                    break;
                }
            }
        }
        return enclosing_;
    }

    /// Finds the piece at `top` inside `row` (which starts at `rowTop`), as the viewer sees it,
    /// and gives the stacks on the way to it the rows holding it to keep.
    void takePiece(Node& row, CGFloat rowTop, CGFloat top) {
        Piece piece;
        Node* node = &row;
        CGFloat y = rowTop;
        for (;;) {
            auto* const stack = dynamic_cast<LazyStackNode*>(node);
            if (stack != nullptr) {
                // Its rows moved with the visible part since it placed them.
                y += stack->movedSincePlaced_;
            }
            Node* next = nullptr;
            CGFloat nextY = 0;
            for (std::size_t i = 0, count = node->childCount(); i < count; ++i) {
                Node* const c = node->childAt(i);
                if (c == nullptr || !c->everPlaced || !(c->frame.size.height > 0)) {
                    continue;
                }
                const CGFloat cy = y + c->frame.minY();
                if (cy + c->frame.size.height <= top) {
                    continue;
                }
                // The one holding the top that starts nearest it, or else the first below it.
                const bool holds = cy <= top;
                const bool nextHolds = next != nullptr && nextY <= top;
                const bool better = next == nullptr || (holds != nextHolds ? holds
                                                        : holds            ? cy > nextY
                                                                           : cy < nextY);
                if (better) {
                    next = c;
                    nextY = cy;
                }
            }
            if (next == nullptr) {
                break;
            }
            if (stack != nullptr) {
                stack->place_ = ReadersPlace{next->indexInParent, nextY - top};
                piece.stacks.push_back(stack->token());
            }
            node = next;
            y = nextY;
        }
        piece.node = node->token();
        piece.below = y - top;
        if (node != &row) {
            piece.line = node->lineAt(top - y);
            if (piece.line) {
                if (const std::optional<CGFloat> line = node->lineTop(*piece.line)) {
                    piece.below += *line;
                }
            }
        }
        piece_ = std::move(piece);
    }

    /// Where `node`, inside one of the rows placed, starts as the viewer sees it (this stack's
    /// coordinates); none when it is no longer inside, or a stack on the way has not placed the
    /// row holding it for the part shown.
    std::optional<CGFloat> placedTop(const Node& node) {
        CGFloat y = 0;
        const Node* child = nullptr;
        for (const Node* n = &node; n != nullptr; child = n, n = n->parent) {
            const auto* const stack = dynamic_cast<const LazyStackNode*>(n);
            if (stack != nullptr && child != nullptr) {
                const std::size_t i = child->indexInParent;
                if (i < stack->windowBegin_ || i >= stack->windowEnd_ ||
                    stack->children[i].node.get() != child) {
                    return std::nullopt;
                }
                y += stack->movedSincePlaced_;
                if (n == this) {
                    return y;
                }
            }
            y += n->frame.minY();
        }
        return std::nullopt;
    }

    /// The rows are placed: the piece at the top of the visible part is where the viewer saw it,
    /// the part moving with it, and the rows that the stacks keep move as far the other way.
    void keepPieceInPlace() {
        if (!piece_ || enclosing() != nullptr) {
            return;
        }
        const std::shared_ptr<NodeToken> token = piece_->node.lock();
        if (!token || token->node == nullptr) {
            return;
        }
        Node& node = *token->node;
        std::optional<CGFloat> at = placedTop(node);
        if (!at) {
            return;
        }
        if (piece_->line) {
            if (const std::optional<CGFloat> line = node.lineTop(*piece_->line)) {
                *at += *line;
            }
        }
        const CGFloat moved = *at - piece_->below - visibleSpan(0).top;
        if (std::abs(moved) < 0.5) {
            return;
        }
        moveVisiblePartAlone(moved);
        placeTop_ += moved;
        if (place_) {
            place_->below -= moved;
        }
        // The rows placed for the part before may fall short of it now, here and in the stacks
        // on the way to the piece.
        viewportChanged();
        for (const auto& t : piece_->stacks) {
            if (const auto stack = t.lock(); stack && stack->node != nullptr) {
                auto& inner = *static_cast<LazyStackNode*>(stack->node);
                if (inner.place_) {
                    inner.place_->below -= moved;
                }
                inner.viewportChanged();
            }
        }
    }

    /// The stack is placed again: the row at the top of the visible part keeps its place in it.
    /// The rows above it count with estimates (at a new width, all of them) until they are laid
    /// out (the visible part then moves with it again, `layOutDeferred`); without this, their
    /// estimates would decide which row the viewer finds at the top. Measuring rows changes the
    /// mean the others count with: the rows coming into view now, and those the host measured
    /// since the last pass, which moved no visible part. So the place is looked for again until
    /// it holds.
    void keepReadersPlace(Rows& rows, ReadersPlace place) {
        constexpr int kRounds = 4;
        for (int round = 0; round < kRounds; ++round) {
            const CGFloat moved =
                offsetOf(rows, totals(rows), place.row) - place.below - visibleSpan(0).top;
            if (std::abs(moved) < 0.5) {
                return;
            }
            moveVisiblePart(moved);
            measureSpan(rows, visibleSpan(margin()));
        }
    }

    /// Measures row `i` if it is not; whether it was measured now.
    bool measure(Rows& rows, std::size_t i) {
        Node& c = built(i);
        if (known(rows.heights[i])) {
            return false;
        }
        const Size s = c.sizeThatFits({rows.width, std::nullopt});
        rows.heights[i] = s.height;
        ++version_;
        rows.widths[i] = s.width;
        return true;
    }

    void ensureGap(std::size_t g) {
        if (known(gaps_[g])) {
            return;
        }
        Node& upper = built(g);
        Node& lower = built(g + 1);
        ++version_;
        gaps_[g] =
            soundLength(layout_->rowSpacing(LayoutSubview(upper), LayoutSubview(lower)), false);
    }

    /// The totals of `rows`, summed again only after a measure changed.
    Totals totals(const Rows& rows) {
        if (totalsOf_ == &rows && totalsVersion_ == version_) {
            return totals_;
        }
        totals_ = sum(rows);
        totalsOf_ = &rows;
        totalsVersion_ = version_;
        return totals_;
    }

    Totals sum(const Rows& rows) const {
        const std::size_t n = children.size();
        CGFloat heights = 0;
        std::size_t measured = 0;
        CGFloat gaps = 0;
        std::size_t gapsKnown = 0;
        Totals t;
        for (std::size_t i = 0; i < n; ++i) {
            if (known(rows.heights[i])) {
                heights += rows.heights[i];
                ++measured;
                t.width = std::max(t.width, rows.widths[i]);
            }
            if (i + 1 < n && known(gaps_[i])) {
                gaps += gaps_[i];
                ++gapsKnown;
            }
        }
        t.meanHeight = measured > 0 ? heights / CGFloat(measured) : 0;
        t.meanGap = gapsKnown > 0 ? gaps / CGFloat(gapsKnown) : 0;
        const std::size_t allGaps = n > 0 ? n - 1 : 0;
        t.height = heights + CGFloat(n - measured) * t.meanHeight + gaps +
                   CGFloat(allGaps - gapsKnown) * t.meanGap;
        return t;
    }

    CGFloat heightOf(const Rows& rows, const Totals& t, std::size_t i) const {
        return known(rows.heights[i]) ? rows.heights[i] : t.meanHeight;
    }
    CGFloat gapOf(const Totals& t, std::size_t i) const {
        if (i + 1 >= children.size()) {
            return 0;
        }
        return known(gaps_[i]) ? gaps_[i] : t.meanGap;
    }
    CGFloat offsetOf(const Rows& rows, const Totals& t, std::size_t index) const {
        CGFloat y = 0;
        for (std::size_t i = 0; i < index; ++i) {
            y += heightOf(rows, t, i) + gapOf(t, i);
        }
        return y;
    }

    /// Builds and measures the rows that reach into `span` (in the stack's coordinates), and the
    /// gaps between them. Measuring changes the estimates of the rows above, so the span is
    /// looked for again until it holds no unmeasured row (a few rounds at most).
    void measureSpan(Rows& rows, Span span) {
        const std::size_t n = children.size();
        if (n == 0) {
            return;
        }
        if (std::isinf(span.top) && std::isinf(span.bottom)) {
            measureAll(rows);
            return;
        }
        constexpr int kRounds = 4;
        for (int round = 0; round < kRounds; ++round) {
            const Totals t = totals(rows);
            bool measuredNow = false;
            CGFloat y = 0;
            std::size_t i = 0;
            for (; i + 1 < n; ++i) {
                if (y + heightOf(rows, t, i) >= span.top) {
                    break;
                }
                y += heightOf(rows, t, i) + gapOf(t, i);
            }
            if (i + 1 == n && y + heightOf(rows, t, i) < span.top) {
                // The estimates end above the span: rows there are taller than the mean says (a
                // long list among short blocks at a new width). The host shows the stack's end
                // then, so the rows that fill the span's height at the end are measured, from the
                // last up; the span is looked for again with them.
                measuredNow = measureEnd(rows, span.bottom - span.top);
                if (!measuredNow) {
                    return;
                }
                continue;
            }
            for (; i < n; ++i) {
                measuredNow = measureCurrent(rows, i) || measuredNow;
                y += rows.heights[i];
                if (i + 1 >= n || y > span.bottom) {
                    break;
                }
                if (!known(gaps_[i])) {
                    // The row below is measured before its spacing is asked: a text measured
                    // publishes what it will most likely be placed with, so that its block's
                    // preferences, read for the spacing, are not made again at its placement.
                    measureCurrent(rows, i + 1);
                    ensureGap(i);
                    measuredNow = true;
                }
                y += gaps_[i];
            }
            if (!measuredNow) {
                return;
            }
        }
    }

    /// Measures the rows from the last up until those measured fill `height`; whether any was
    /// measured now.
    bool measureEnd(Rows& rows, CGFloat height) {
        bool measuredNow = false;
        CGFloat filled = 0;
        for (std::size_t i = children.size(); i-- > 0 && filled < height;) {
            measuredNow = measureCurrent(rows, i) || measuredNow;
            filled += rows.heights[i];
            if (i > 0) {
                if (!known(gaps_[i - 1])) {
                    measureCurrent(rows, i - 1);
                    ensureGap(i - 1);
                    measuredNow = true;
                }
                filled += gaps_[i - 1];
            }
        }
        return measuredNow;
    }

    /// Every row: built first, their text laid out on several threads, then measured.
    void measureAll(Rows& rows) {
        const std::size_t n = children.size();
        constexpr std::size_t kParallelThreshold = 32;
        const ProposedViewSize rowProposal(rows.width, std::nullopt);
        std::vector<std::function<void()>> jobs;
        for (std::size_t i = 0; i < n; ++i) {
            Node& c = built(i);
            if (!known(rows.heights[i]) && !c.hasCachedSize(rowProposal)) {
                c.collectPrefetch(rowProposal, jobs);
            }
        }
        if (jobs.size() >= kParallelThreshold) {
            parallelFor(jobs.size(), [&jobs](std::size_t i) { jobs[i](); });
        }
        for (std::size_t i = 0; i < n; ++i) {
            measure(rows, i);
            if (i + 1 < n) {
                // The row below measured first, as in `measureSpan`.
                measure(rows, i + 1);
                ensureGap(i);
            }
        }
    }

    /// The visible part in this stack's coordinates, widened by `extra` each way; everything
    /// when the host shows all of the root.
    Span visibleSpan(CGFloat extra) const {
        if (graph == nullptr || !graph->visibleRect) {
            return {};
        }
        const Rect& v = *graph->visibleRect;
        const CGFloat originY = rootOrigin().y;
        return {v.minY() - originY - extra, v.maxY() - originY + extra};
    }
    /// How far beyond the visible part rows are laid out, so that a short scroll needs none, and
    /// placed, so that the host's bands drawn ahead within the margin hold every row.
    CGFloat margin() const {
        return graph != nullptr && graph->visibleRect
                   ? marginAhead(graph->visibleRect->size.height) + bandAhead
                   : 0;
    }

    const Rows* find(std::optional<CGFloat> width) const {
        for (const Rows& r : rowSets_) {
            if (r.width == width) {
                return &r;
            }
        }
        return nullptr;
    }
    Rows& rowsFor(std::optional<CGFloat> width) {
        ++uses_;
        for (Rows& r : rowSets_) {
            if (r.width == width) {
                r.lastUse = uses_;
                return r;
            }
        }
        if (rowSets_.size() >= kWidthsKept) {
            // Never the measures of the width the stack is placed at: a host asking for the
            // height at other widths (a scrolled window trying itself with and without its scroll
            // bar) would otherwise drop them every time, and the rows laid out in idle time would
            // be measured again from the first, never reaching the last.
            const auto placed = [&](const Rows& r) {
                return everPlaced && r.width == placedProposal.width;
            };
            rowSets_.erase(std::min_element(rowSets_.begin(), rowSets_.end(),
                                            [&](const Rows& a, const Rows& b) {
                                                if (placed(a) != placed(b)) {
                                                    return placed(b);
                                                }
                                                return a.lastUse < b.lastUse;
                                            }));
        }
        // The vector may move: totals kept for a set are summed again. Should this be the width
        // placed, idle layout measures its rows from the first.
        ++version_;
        if (placedWidth_ == width) {
            layOutAgainFrom(0);
        }
        Rows& r = rowSets_.emplace_back();
        r.width = width;
        r.heights.assign(children.size(), kUnknown);
        r.widths.assign(children.size(), 0);
        r.lastUse = uses_;
        return r;
    }

    /// The rows changed identity or order: built rows follow their keys with their measures.
    void rearrange(const std::vector<FlatChild>& flat, const EnvironmentValues& childEnv) {
        struct Old {
            std::unique_ptr<Node> node;
            std::size_t index;
        };
        std::unordered_map<ViewID, Old> old;
        for (std::size_t i = 0; i < children.size(); ++i) {
            Child& c = children[i];
            if (!c.node) {
                continue;
            }
            if (!old.emplace(c.key, Old{std::move(c.node), i}).second) {
                c.node->removeSubtree();
            }
        }
        std::vector<Rows> before = std::move(rowSets_);
        rowSets_.clear();
        for (const Rows& r : before) {
            Rows& now = rowSets_.emplace_back();
            now.width = r.width;
            now.lastUse = r.lastUse;
            now.heights.assign(flat.size(), kUnknown);
            now.widths.assign(flat.size(), 0);
        }
        children.clear();
        children.reserve(flat.size());
        // The rows drawn are evaluated now; the others keep their measures and are left stale.
        const std::size_t shownBegin = windowBegin_;
        const std::size_t shownEnd = windowEnd_;
        leaveRowsStale();
        builtRows_ = 0;
        rowGeneration_.assign(flat.size(), 0);
        for (std::size_t i = 0; i < flat.size(); ++i) {
            std::unique_ptr<Node> node;
            if (auto it = old.find(flat[i].key); it != old.end()) {
                const std::size_t was = it->second.index;
                Node* const kept = it->second.node.get();
                if (was >= shownBegin && was < shownEnd) {
                    node = reconcile(std::move(it->second.node), flat[i].view, childEnv);
                    rowGeneration_[i] = generation_;
                    ++currentRows_;
                } else {
                    node = std::move(it->second.node);
                }
                ++builtRows_;
                old.erase(it);
                node->indexInParent = i;
                if (node.get() == kept) {
                    for (std::size_t s = 0; s < before.size(); ++s) {
                        rowSets_[s].heights[i] = before[s].heights[was];
                        rowSets_[s].widths[i] = before[s].widths[was];
                    }
                }
            }
            children.push_back({flat[i].key, std::move(node)});
        }
        for (auto& [key, o] : old) {
            o.node->removeSubtree();
        }
        gaps_.assign(flat.size(), kUnknown);
        ++version_;
        layOutAgainFrom(0);
        regap_.clear();
        regapWas_.clear();
        dropPlace();
        windowBegin_ = 0;
        windowEnd_ = 0;
        childrenChanged();
        invalidatePreferences();
    }

    std::shared_ptr<const LazyVStackLayout> layout_;
    /// The rows' views and keys: the items of the lone list (kept alive by `listSource_`), or
    /// the children flattened (`ownRows_`).
    const std::vector<FlatChild>* rowViews_ = nullptr;
    std::shared_ptr<const ViewImpl> listSource_;
    std::vector<FlatChild> ownRows_;
    std::vector<Rows> rowSets_;
    std::uint64_t uses_ = 0;
    /// The space below each row (unknown until both neighbours are built).
    std::vector<CGFloat> gaps_;
    std::vector<std::size_t> regap_;
    std::vector<CGFloat> regapWas_;
    /// The rows placed in the last pass (and drawn), and where they start and end.
    std::size_t windowBegin_ = 0;
    std::size_t windowEnd_ = 0;
    CGFloat windowTop_ = 0;
    CGFloat windowBottom_ = 0;
    // The part (visible, with the margin) the rows were last placed for, and the last one
    // `placeAhead` asked to place them for.
    Span placedSpan_;
    Span aheadAsked_{kUnknown, kUnknown};
    bool registered_ = false;
    /// Rows left stale: each built row keeps the generation it was last brought up to date in;
    /// a new environment or new row views start a new one.
    std::uint64_t generation_ = 0;
    std::vector<std::uint64_t> rowGeneration_;
    std::size_t builtRows_ = 0;
    std::size_t currentRows_ = 0;
    /// Idle layout's place: the rows above `idleDone_` are up to date, measured at the width
    /// placed, and placed where the rows above put them; `idleTop_` is where the last of them
    /// starts (unknown: summed again).
    std::size_t idleDone_ = 0;
    CGFloat idleTop_ = 0;
    /// Counts the changes of measures, so that totals are summed once per change.
    std::uint64_t version_ = 0;
    Totals totals_;
    const Rows* totalsOf_ = nullptr;
    std::uint64_t totalsVersion_ = 0;
    /// The width the rows were last placed at.
    std::optional<std::optional<CGFloat>> placedWidth_;
    /// How far the visible part moved with the rows since they were last placed (corrections
    /// for rows above the first shown): where the viewer sees a placed row is its frame moved
    /// by as much.
    CGFloat movedSincePlaced_ = 0;
    /// The reader's place (`readersPlace`), and the top of the visible part it was taken at, moved
    /// with the corrections since.
    std::optional<ReadersPlace> place_;
    CGFloat placeTop_ = 0;
    /// The outermost stack's: the piece at the top of the visible part.
    std::optional<Piece> piece_;
    LazyStackNode* enclosing_ = nullptr;
    bool enclosingKnown_ = false;
    EnvironmentValues childEnv_;
    EnvironmentValues childEnvFrom_;
    bool childEnvMade_ = false;
};

} // namespace

std::unique_ptr<Node> makeLazyStackNode() {
    return std::make_unique<LazyStackNode>();
}

void lazyStackViewportChanged(Node& node) {
    static_cast<LazyStackNode&>(node).viewportChanged();
}

bool lazyStackPlaceAhead(Node& node) {
    return static_cast<LazyStackNode&>(node).placeAhead();
}

bool lazyStackHasDeferredRows(Node& node) {
    return static_cast<LazyStackNode&>(node).hasDeferredRows();
}

bool layOutDeferredRows(Node& node, std::chrono::steady_clock::time_point deadline) {
    return static_cast<LazyStackNode&>(node).layOutDeferred(deadline);
}

} // namespace detail

} // namespace platform::ui

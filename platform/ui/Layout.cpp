#include "platform/ui/Layout.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform::ui {

CGFloat soundLength(CGFloat value, bool allowInfinity) {
    if (std::isnan(value) || value < 0) {
        return 0;
    }
    if (std::isinf(value) && !allowInfinity) {
        return 0;
    }
    return value;
}

CGFloat soundCoordinate(CGFloat value) {
    return std::isfinite(value) ? value : 0;
}

namespace alignment_ids {
const AlignmentID leading{[](const ViewDimensions&) { return CGFloat(0); }, "leading"};
const AlignmentID hcenter{[](const ViewDimensions& d) { return d.width() / 2; }, "center"};
const AlignmentID trailing{[](const ViewDimensions& d) { return d.width(); }, "trailing"};
const AlignmentID top{[](const ViewDimensions&) { return CGFloat(0); }, "top"};
const AlignmentID vcenter{[](const ViewDimensions& d) { return d.height() / 2; }, "center"};
const AlignmentID bottom{[](const ViewDimensions& d) { return d.height(); }, "bottom"};
// Views without text have their baselines at the bottom edge.
const AlignmentID firstTextBaseline{[](const ViewDimensions& d) { return d.height(); },
                                    "firstTextBaseline"};
const AlignmentID lastTextBaseline{[](const ViewDimensions& d) { return d.height(); },
                                   "lastTextBaseline"};
} // namespace alignment_ids

std::optional<CGFloat> ViewDimensions::explicitValue(const AlignmentID& id) const {
    if (node_ != nullptr) {
        return node_->explicitGuide(id, size_, proposal_);
    }
    return explicit_ ? explicit_(id, size_) : std::nullopt;
}

CGFloat ViewDimensions::value(const AlignmentID& id) const {
    if (auto v = explicitValue(id)) {
        return soundCoordinate(*v);
    }
    return soundCoordinate(id.defaultValue(*this));
}

CGFloat ViewSpacing::distance(const ViewSpacing& next, Axis axis) const {
    return axis == Axis::horizontal ? std::max(trailing, next.leading) : std::max(bottom, next.top);
}

void ViewSpacing::formUnion(const ViewSpacing& o) {
    top = std::max(top, o.top);
    leading = std::max(leading, o.leading);
    bottom = std::max(bottom, o.bottom);
    trailing = std::max(trailing, o.trailing);
}

Size LayoutSubview::sizeThatFits(ProposedViewSize proposal) const {
    return node_->sizeThatFits(proposal);
}

ViewDimensions LayoutSubview::dimensions(ProposedViewSize proposal) const {
    return node_->dimensions(proposal);
}

void LayoutSubview::place(Point position, UnitPoint anchor, ProposedViewSize proposal) const {
    const Size s = node_->sizeThatFits(proposal);
    node_->place(Rect({position.x - anchor.x * s.width, position.y - anchor.y * s.height}, s),
                 proposal);
}

double LayoutSubview::priority() const {
    return get<LayoutPriorityKey>();
}

ViewSpacing LayoutSubview::spacing() const {
    return node_->spacing();
}

const std::any* LayoutSubview::layoutValue(const void* tag) const {
    return node_->layoutValue(tag);
}

ViewSpacing Layout::spacing(LayoutSubviews subviews, std::any&) const {
    if (subviews.empty()) {
        return {};
    }
    ViewSpacing s = ViewSpacing::zero();
    for (const LayoutSubview& v : subviews) {
        s.formUnion(v.spacing());
    }
    return s;
}

std::optional<CGFloat> Layout::explicitAlignment(const AlignmentID&, Rect, ProposedViewSize,
                                                 LayoutSubviews, std::any&) const {
    return std::nullopt;
}

namespace {

CGFloat along(Size s, Axis a) {
    return a == Axis::horizontal ? s.width : s.height;
}
CGFloat across(Size s, Axis a) {
    return a == Axis::horizontal ? s.height : s.width;
}
ProposedViewSize make(Axis a, std::optional<CGFloat> alongValue,
                      std::optional<CGFloat> acrossValue) {
    return a == Axis::horizontal ? ProposedViewSize(alongValue, acrossValue)
                                 : ProposedViewSize(acrossValue, alongValue);
}

/// Where each child of a stack goes, relative to the stack's top-leading corner.
struct StackPlan {
    std::vector<ProposedViewSize> proposals;
    std::vector<Size> sizes;
    std::vector<CGFloat> alongOffsets;
    std::vector<CGFloat> acrossOffsets;
    Size size;
};

StackPlan planStack(Axis axis, const AlignmentID& guide, std::optional<CGFloat> spacing,
                    ProposedViewSize p, LayoutSubviews subviews) {
    StackPlan plan;
    const std::size_t n = subviews.size();
    if (n == 0) {
        return plan;
    }
    const std::optional<CGFloat> alongProposal = axis == Axis::horizontal ? p.width : p.height;
    const std::optional<CGFloat> acrossProposal = axis == Axis::horizontal ? p.height : p.width;

    std::vector<CGFloat> gaps(n, 0);
    CGFloat totalSpacing = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const CGFloat s = spacing ? soundLength(*spacing, false)
                                  : subviews[i].spacing().distance(subviews[i + 1].spacing(), axis);
        gaps[i] = s;
        totalSpacing += s;
    }

    plan.proposals.assign(n, make(axis, alongProposal, acrossProposal));
    plan.sizes.assign(n, Size{});
    if (!alongProposal || std::isinf(*alongProposal)) {
        for (std::size_t i = 0; i < n; ++i) {
            plan.sizes[i] = subviews[i].sizeThatFits(plan.proposals[i]);
        }
    } else {
        // Offer the space to the least flexible children first, within each priority from the
        // highest down; lower priorities keep their minimum until their turn.
        std::vector<CGFloat> minimum(n);
        std::vector<CGFloat> flexibility(n);
        std::vector<double> priority(n);
        for (std::size_t i = 0; i < n; ++i) {
            minimum[i] = along(subviews[i].sizeThatFits(make(axis, 0, acrossProposal)), axis);
            const CGFloat maximum =
                along(subviews[i].sizeThatFits(make(axis, infinity, acrossProposal)), axis);
            flexibility[i] = maximum - minimum[i];
            priority[i] = subviews[i].priority();
        }
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            if (priority[a] != priority[b]) {
                return priority[a] > priority[b];
            }
            return flexibility[a] < flexibility[b];
        });
        CGFloat remaining = *alongProposal - totalSpacing;
        std::size_t k = 0;
        while (k < n) {
            const double group = priority[order[k]];
            std::size_t end = k;
            while (end < n && priority[order[end]] == group) {
                ++end;
            }
            CGFloat reserved = 0;
            for (std::size_t j = end; j < n; ++j) {
                reserved += minimum[order[j]];
            }
            CGFloat available = remaining - reserved;
            for (std::size_t j = k; j < end; ++j) {
                const std::size_t i = order[j];
                const CGFloat share =
                    std::max(CGFloat(0), available / static_cast<CGFloat>(end - j));
                plan.proposals[i] = make(axis, share, acrossProposal);
                plan.sizes[i] = subviews[i].sizeThatFits(plan.proposals[i]);
                available -= along(plan.sizes[i], axis);
                remaining -= along(plan.sizes[i], axis);
            }
            k = end;
        }
    }

    // Across the axis, line the children's guides up.
    std::vector<CGFloat> guides(n);
    CGFloat low = 0;
    CGFloat high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ViewDimensions d = subviews[i].dimensions(plan.proposals[i]);
        guides[i] = d.value(guide);
        const CGFloat top = -guides[i];
        const CGFloat bottom = across(plan.sizes[i], axis) - guides[i];
        low = i == 0 ? top : std::min(low, top);
        high = i == 0 ? bottom : std::max(high, bottom);
    }
    plan.alongOffsets.resize(n);
    plan.acrossOffsets.resize(n);
    CGFloat cursor = 0;
    for (std::size_t i = 0; i < n; ++i) {
        plan.alongOffsets[i] = cursor;
        plan.acrossOffsets[i] = -guides[i] - low;
        cursor += along(plan.sizes[i], axis) + gaps[i];
    }
    const CGFloat alongTotal = cursor;
    const CGFloat acrossTotal = high - low;
    plan.size =
        axis == Axis::horizontal ? Size{alongTotal, acrossTotal} : Size{acrossTotal, alongTotal};
    return plan;
}

/// The plans a stack made since its subviews last changed, by proposal.
struct StackCache {
    std::vector<std::pair<ProposedViewSize, std::shared_ptr<const StackPlan>>> plans;
};
constexpr std::size_t kPlansKept = 4;

/// The plan for `p`: from the cache when the node keeps one (a stack used inside another
/// layout may be handed any cache), else made now into `scratch`.
const StackPlan& cachedPlan(Axis axis, const AlignmentID& guide, std::optional<CGFloat> spacing,
                            ProposedViewSize p, LayoutSubviews subviews, std::any& cache,
                            StackPlan& scratch) {
    auto* kept = std::any_cast<StackCache>(&cache);
    if (kept == nullptr) {
        scratch = planStack(axis, guide, spacing, p, subviews);
        return scratch;
    }
    for (const auto& [proposal, plan] : kept->plans) {
        if (proposal == p) {
            return *plan;
        }
    }
    if (kept->plans.size() >= kPlansKept) {
        kept->plans.erase(kept->plans.begin());
    }
    kept->plans.emplace_back(
        p, std::make_shared<const StackPlan>(planStack(axis, guide, spacing, p, subviews)));
    return *kept->plans.back().second;
}

void placePlan(Axis axis, const StackPlan& plan, Rect bounds, LayoutSubviews subviews) {
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        const Point at = axis == Axis::horizontal ? Point{bounds.origin.x + plan.alongOffsets[i],
                                                          bounds.origin.y + plan.acrossOffsets[i]}
                                                  : Point{bounds.origin.x + plan.acrossOffsets[i],
                                                          bounds.origin.y + plan.alongOffsets[i]};
        subviews[i].place(at, UnitPoint::topLeading(), plan.proposals[i]);
    }
}

/// The first (or last) child's explicit value of `guide`, in the stack's coordinates.
std::optional<CGFloat> childGuide(const StackPlan& plan, const AlignmentID& guide,
                                  LayoutSubviews subviews, bool last, bool guideAlongAxis) {
    const std::size_t n = subviews.size();
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = last ? n - 1 - k : k;
        const ViewDimensions d = subviews[i].dimensions(plan.proposals[i]);
        if (auto v = d.explicitValue(guide)) {
            return *v + (guideAlongAxis ? plan.alongOffsets[i] : plan.acrossOffsets[i]);
        }
    }
    return std::nullopt;
}

} // namespace

Size HStackLayout::sizeThatFits(ProposedViewSize p, LayoutSubviews subviews,
                                std::any& cache) const {
    StackPlan scratch;
    return cachedPlan(Axis::horizontal, alignment_.id(), spacing_, p, subviews, cache, scratch)
        .size;
}

std::any HStackLayout::makeCache(LayoutSubviews) const {
    return StackCache{};
}

void HStackLayout::placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                                 std::any& cache) const {
    StackPlan scratch;
    placePlan(Axis::horizontal,
              cachedPlan(Axis::horizontal, alignment_.id(), spacing_, p, subviews, cache, scratch),
              bounds, subviews);
}

std::optional<CGFloat> HStackLayout::explicitAlignment(const AlignmentID& guide, Rect,
                                                       ProposedViewSize p, LayoutSubviews subviews,
                                                       std::any& cache) const {
    if (&guide != &alignment_ids::firstTextBaseline && &guide != &alignment_ids::lastTextBaseline) {
        return std::nullopt;
    }
    StackPlan scratch;
    const StackPlan& plan =
        cachedPlan(Axis::horizontal, alignment_.id(), spacing_, p, subviews, cache, scratch);
    return childGuide(plan, guide, subviews, &guide == &alignment_ids::lastTextBaseline, false);
}

bool HStackLayout::equals(const Layout& other) const {
    const auto* o = dynamic_cast<const HStackLayout*>(&other);
    return o != nullptr && o->alignment_ == alignment_ && o->spacing_ == spacing_;
}

Size VStackLayout::sizeThatFits(ProposedViewSize p, LayoutSubviews subviews,
                                std::any& cache) const {
    StackPlan scratch;
    return cachedPlan(Axis::vertical, alignment_.id(), spacing_, p, subviews, cache, scratch).size;
}

std::any VStackLayout::makeCache(LayoutSubviews) const {
    return StackCache{};
}

void VStackLayout::placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                                 std::any& cache) const {
    StackPlan scratch;
    placePlan(Axis::vertical,
              cachedPlan(Axis::vertical, alignment_.id(), spacing_, p, subviews, cache, scratch),
              bounds, subviews);
}

std::optional<CGFloat> VStackLayout::explicitAlignment(const AlignmentID& guide, Rect,
                                                       ProposedViewSize p, LayoutSubviews subviews,
                                                       std::any& cache) const {
    const bool first = &guide == &alignment_ids::firstTextBaseline;
    const bool last = &guide == &alignment_ids::lastTextBaseline;
    if (!first && !last) {
        return std::nullopt;
    }
    StackPlan scratch;
    const StackPlan& plan =
        cachedPlan(Axis::vertical, alignment_.id(), spacing_, p, subviews, cache, scratch);
    return childGuide(plan, guide, subviews, last, true);
}

bool VStackLayout::equals(const Layout& other) const {
    const auto* o = dynamic_cast<const VStackLayout*>(&other);
    return o != nullptr && o->alignment_ == alignment_ && o->spacing_ == spacing_;
}

namespace {
struct ZPlan {
    std::vector<Point> offsets;
    Size size;
};
ZPlan planZ(Alignment alignment, ProposedViewSize p, LayoutSubviews subviews) {
    ZPlan plan;
    const std::size_t n = subviews.size();
    std::vector<Size> sizes(n);
    std::vector<Point> guides(n);
    CGFloat minX = 0;
    CGFloat maxX = 0;
    CGFloat minY = 0;
    CGFloat maxY = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ViewDimensions d = subviews[i].dimensions(p);
        sizes[i] = d.size();
        guides[i] = {d[alignment.horizontal], d[alignment.vertical]};
        const CGFloat l = -guides[i].x;
        const CGFloat r = sizes[i].width - guides[i].x;
        const CGFloat t = -guides[i].y;
        const CGFloat b = sizes[i].height - guides[i].y;
        minX = i == 0 ? l : std::min(minX, l);
        maxX = i == 0 ? r : std::max(maxX, r);
        minY = i == 0 ? t : std::min(minY, t);
        maxY = i == 0 ? b : std::max(maxY, b);
    }
    plan.offsets.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        plan.offsets[i] = {-guides[i].x - minX, -guides[i].y - minY};
    }
    plan.size = {maxX - minX, maxY - minY};
    return plan;
}
} // namespace

Size ZStackLayout::sizeThatFits(ProposedViewSize p, LayoutSubviews subviews, std::any&) const {
    return planZ(alignment_, p, subviews).size;
}

void ZStackLayout::placeSubviews(Rect bounds, ProposedViewSize p, LayoutSubviews subviews,
                                 std::any&) const {
    const ZPlan plan = planZ(alignment_, p, subviews);
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        subviews[i].place(bounds.origin + plan.offsets[i], UnitPoint::topLeading(), p);
    }
}

bool ZStackLayout::equals(const Layout& other) const {
    const auto* o = dynamic_cast<const ZStackLayout*>(&other);
    return o != nullptr && o->alignment_ == alignment_;
}

} // namespace platform::ui

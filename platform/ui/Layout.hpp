#pragma once

// The proposal model: a parent proposes an optional width and height, the child answers a size,
// the parent places it. Alignment guides, view dimensions, view spacing and the protocol custom
// layouts implement.

#include "platform/graphics/Geometry.hpp"

#include <algorithm>
#include <any>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform::ui {

using platform::CGFloat;
using platform::EdgeInsets;
using platform::Point;
using platform::Rect;
using platform::Size;

inline constexpr CGFloat infinity = std::numeric_limits<CGFloat>::infinity();

enum class Axis : std::uint8_t { horizontal, vertical };

/// A proposed size: each dimension absent (the child's ideal size is asked for), finite, zero
/// (the minimum) or infinite (the maximum).
struct ProposedViewSize {
    std::optional<CGFloat> width;
    std::optional<CGFloat> height;

    static constexpr ProposedViewSize unspecified() { return {}; }
    static ProposedViewSize zero() { return {CGFloat(0), CGFloat(0)}; }
    static ProposedViewSize infinityProposal() { return {infinity, infinity}; }
    ProposedViewSize() = default;
    ProposedViewSize(std::optional<CGFloat> w, std::optional<CGFloat> h)
        : width(w)
        , height(h) {}
    explicit ProposedViewSize(Size s)
        : width(s.width)
        , height(s.height) {}

    /// Absent dimensions replaced by `fallback` (10 points, as for views without an ideal size).
    Size replacingUnspecifiedDimensions(Size fallback = {10, 10}) const {
        return {width.value_or(fallback.width), height.value_or(fallback.height)};
    }
    /// NaN becomes absent, negative values zero; infinity stays.
    ProposedViewSize sanitized() const {
        // Inline: every size asked of a node sanitizes its proposal.
        const auto fix = [](std::optional<CGFloat> v) -> std::optional<CGFloat> {
            if (!v || std::isnan(*v)) {
                return std::nullopt;
            }
            return std::max(*v, CGFloat(0));
        };
        return {fix(width), fix(height)};
    }
    friend bool operator==(const ProposedViewSize&, const ProposedViewSize&) = default;
};

/// A finite, non-negative length: NaN and negative values become 0, infinity the largest
/// finite value only where `allowInfinity` is false.
CGFloat soundLength(CGFloat value, bool allowInfinity = true);
/// A finite coordinate: NaN and infinities become 0.
CGFloat soundCoordinate(CGFloat value);

namespace detail {
class Node;
} // namespace detail

class ViewDimensions;

/// Identifies one alignment guide and gives its value for views that set none explicitly.
struct AlignmentID {
    CGFloat (*defaultValue)(const ViewDimensions&);
    /// For diagnostics only.
    const char* name;
};

namespace alignment_ids {
extern const AlignmentID leading;
extern const AlignmentID hcenter;
extern const AlignmentID trailing;
extern const AlignmentID top;
extern const AlignmentID vcenter;
extern const AlignmentID bottom;
extern const AlignmentID firstTextBaseline;
extern const AlignmentID lastTextBaseline;
} // namespace alignment_ids

class HorizontalAlignment {
public:
    constexpr explicit HorizontalAlignment(const AlignmentID& id)
        : id_(&id) {}
    static HorizontalAlignment leading() { return HorizontalAlignment(alignment_ids::leading); }
    static HorizontalAlignment center() { return HorizontalAlignment(alignment_ids::hcenter); }
    static HorizontalAlignment trailing() { return HorizontalAlignment(alignment_ids::trailing); }
    const AlignmentID& id() const { return *id_; }
    friend bool operator==(const HorizontalAlignment&, const HorizontalAlignment&) = default;

private:
    const AlignmentID* id_;
};

class VerticalAlignment {
public:
    constexpr explicit VerticalAlignment(const AlignmentID& id)
        : id_(&id) {}
    static VerticalAlignment top() { return VerticalAlignment(alignment_ids::top); }
    static VerticalAlignment center() { return VerticalAlignment(alignment_ids::vcenter); }
    static VerticalAlignment bottom() { return VerticalAlignment(alignment_ids::bottom); }
    static VerticalAlignment firstTextBaseline() {
        return VerticalAlignment(alignment_ids::firstTextBaseline);
    }
    static VerticalAlignment lastTextBaseline() {
        return VerticalAlignment(alignment_ids::lastTextBaseline);
    }
    const AlignmentID& id() const { return *id_; }
    friend bool operator==(const VerticalAlignment&, const VerticalAlignment&) = default;

private:
    const AlignmentID* id_;
};

struct Alignment {
    HorizontalAlignment horizontal = HorizontalAlignment::center();
    VerticalAlignment vertical = VerticalAlignment::center();

    static Alignment center() { return {}; }
    static Alignment leading() { return {HorizontalAlignment::leading()}; }
    static Alignment trailing() { return {HorizontalAlignment::trailing()}; }
    static Alignment top() { return {HorizontalAlignment::center(), VerticalAlignment::top()}; }
    static Alignment bottom() {
        return {HorizontalAlignment::center(), VerticalAlignment::bottom()};
    }
    static Alignment topLeading() {
        return {HorizontalAlignment::leading(), VerticalAlignment::top()};
    }
    static Alignment topTrailing() {
        return {HorizontalAlignment::trailing(), VerticalAlignment::top()};
    }
    static Alignment bottomLeading() {
        return {HorizontalAlignment::leading(), VerticalAlignment::bottom()};
    }
    static Alignment bottomTrailing() {
        return {HorizontalAlignment::trailing(), VerticalAlignment::bottom()};
    }
    friend bool operator==(const Alignment&, const Alignment&) = default;
};

/// A point in unit coordinates of a rectangle: (0, 0) its top-leading corner, (1, 1) its
/// bottom-trailing one.
struct UnitPoint {
    CGFloat x = 0;
    CGFloat y = 0;
    static constexpr UnitPoint topLeading() { return {0, 0}; }
    static constexpr UnitPoint center() { return {0.5, 0.5}; }
    static constexpr UnitPoint top() { return {0.5, 0}; }
    static constexpr UnitPoint bottomTrailing() { return {1, 1}; }
    friend constexpr bool operator==(const UnitPoint&, const UnitPoint&) = default;
};

/// A view's size plus its alignment guides: explicit ones (text baselines, `alignmentGuide`)
/// where the view has them, else each guide's default.
class ViewDimensions {
public:
    using GuideLookup = std::function<std::optional<CGFloat>(const AlignmentID&, Size)>;
    ViewDimensions() = default;
    ViewDimensions(Size size, GuideLookup explicitGuides = {})
        : size_(size)
        , explicit_(std::move(explicitGuides)) {}
    /// The dimensions of a laid-out view, its explicit guides asked of it on demand.
    ViewDimensions(Size size, detail::Node& node, ProposedViewSize proposal)
        : size_(size)
        , node_(&node)
        , proposal_(proposal) {}

    CGFloat width() const { return size_.width; }
    CGFloat height() const { return size_.height; }
    Size size() const { return size_; }
    CGFloat operator[](HorizontalAlignment g) const { return value(g.id()); }
    CGFloat operator[](VerticalAlignment g) const { return value(g.id()); }
    /// The explicit value of a guide, if the view sets one.
    std::optional<CGFloat> explicitValue(const AlignmentID& id) const;
    CGFloat value(const AlignmentID& id) const;

private:
    Size size_;
    GuideLookup explicit_;
    detail::Node* node_ = nullptr;
    ProposedViewSize proposal_;
};

/// The spacing a view wants from its neighbours, per edge. Two views are spaced by the larger
/// of their facing edges' values.
struct ViewSpacing {
    /// The platform's spacing between two views.
    static constexpr CGFloat standard = 8;
    CGFloat top = standard;
    CGFloat leading = standard;
    CGFloat bottom = standard;
    CGFloat trailing = standard;

    static ViewSpacing zero() { return {0, 0, 0, 0}; }
    /// The distance from this view to `next` following it along `axis`.
    CGFloat distance(const ViewSpacing& next, Axis axis) const;
    /// Per edge, the larger value.
    void formUnion(const ViewSpacing& other);
    friend bool operator==(const ViewSpacing&, const ViewSpacing&) = default;
};

namespace detail {
class Node;
template <class K>
inline const char layoutValueTag = 0;
} // namespace detail

/// A key for a value a view carries for its parent's layout (`layoutValue`). `K` declares
/// `using Value = ...;` and `static Value defaultValue();`.
struct LayoutPriorityKey {
    using Value = double;
    static Value defaultValue() { return 0; }
};
/// The column alignment a grid cell asks for its column.
struct GridColumnAlignmentKey {
    using Value = std::optional<HorizontalAlignment>;
    static Value defaultValue() { return std::nullopt; }
};

/// A layout's handle on one of its subviews.
class LayoutSubview {
public:
    explicit LayoutSubview(detail::Node& node)
        : node_(&node) {}
    Size sizeThatFits(ProposedViewSize proposal) const;
    ViewDimensions dimensions(ProposedViewSize proposal) const;
    /// Places the subview so that its `anchor` point lies at `position` (in the layout's
    /// coordinate space, the bounds passed to placeSubviews), sized for `proposal`.
    void place(Point position, UnitPoint anchor = UnitPoint::topLeading(),
               ProposedViewSize proposal = {}) const;
    double priority() const;
    ViewSpacing spacing() const;
    template <class K>
    typename K::Value get() const {
        if (const std::any* v = layoutValue(&detail::layoutValueTag<K>)) {
            if (const auto* typed = std::any_cast<typename K::Value>(v)) {
                return *typed;
            }
        }
        return K::defaultValue();
    }
    detail::Node& node() const { return *node_; }
    friend bool operator==(const LayoutSubview& a, const LayoutSubview& b) {
        return a.node_ == b.node_;
    }

private:
    const std::any* layoutValue(const void* tag) const;
    detail::Node* node_;
};

using LayoutSubviews = std::span<const LayoutSubview>;

/// A custom layout. The cache is made once per node, refreshed when the subviews change, and
/// kept between layout passes.
class Layout {
public:
    virtual ~Layout() = default;
    virtual Size sizeThatFits(ProposedViewSize proposal, LayoutSubviews subviews,
                              std::any& cache) const = 0;
    virtual void placeSubviews(Rect bounds, ProposedViewSize proposal, LayoutSubviews subviews,
                               std::any& cache) const = 0;
    virtual std::any makeCache(LayoutSubviews) const { return {}; }
    virtual void updateCache(std::any& cache, LayoutSubviews subviews) const {
        cache = makeCache(subviews);
    }
    /// The layout's own spacing; by default the union of its subviews'.
    virtual ViewSpacing spacing(LayoutSubviews subviews, std::any& cache) const;
    /// An explicit value for `guide` in `bounds`, or none for the guide's default.
    virtual std::optional<CGFloat> explicitAlignment(const AlignmentID& guide, Rect bounds,
                                                     ProposedViewSize proposal,
                                                     LayoutSubviews subviews,
                                                     std::any& cache) const;
    /// Layouts that compare equal reuse the node's cached sizes.
    virtual bool equals(const Layout&) const { return false; }
    /// The proposal most subviews will get for `proposal`, if the layout knows it in advance:
    /// their text is then laid out in parallel before the layout asks for sizes.
    virtual std::optional<ProposedViewSize> expectedSubviewProposal(ProposedViewSize) const {
        return std::nullopt;
    }
};

/// The built-in stack layouts, usable directly as custom layouts too.
class HStackLayout final : public Layout {
public:
    explicit HStackLayout(VerticalAlignment alignment = VerticalAlignment::center(),
                          std::optional<CGFloat> spacing = std::nullopt)
        : alignment_(alignment)
        , spacing_(spacing) {}
    Size sizeThatFits(ProposedViewSize, LayoutSubviews, std::any&) const override;
    void placeSubviews(Rect, ProposedViewSize, LayoutSubviews, std::any&) const override;
    std::optional<CGFloat> explicitAlignment(const AlignmentID&, Rect, ProposedViewSize,
                                             LayoutSubviews, std::any&) const override;
    bool equals(const Layout& other) const override;
    /// Keeps the plans of the pass (sizes, proposals, offsets), so that sizing, placing and
    /// guides compute each once.
    std::any makeCache(LayoutSubviews subviews) const override;

private:
    VerticalAlignment alignment_;
    std::optional<CGFloat> spacing_;
};

class VStackLayout final : public Layout {
public:
    explicit VStackLayout(HorizontalAlignment alignment = HorizontalAlignment::center(),
                          std::optional<CGFloat> spacing = std::nullopt)
        : alignment_(alignment)
        , spacing_(spacing) {}
    Size sizeThatFits(ProposedViewSize, LayoutSubviews, std::any&) const override;
    void placeSubviews(Rect, ProposedViewSize, LayoutSubviews, std::any&) const override;
    std::optional<CGFloat> explicitAlignment(const AlignmentID&, Rect, ProposedViewSize,
                                             LayoutSubviews, std::any&) const override;
    bool equals(const Layout& other) const override;
    /// Keeps the plans of the pass (sizes, proposals, offsets), so that sizing, placing and
    /// guides compute each once.
    std::any makeCache(LayoutSubviews subviews) const override;
    std::optional<ProposedViewSize> expectedSubviewProposal(ProposedViewSize p) const override {
        return ProposedViewSize(p.width, std::nullopt);
    }

private:
    HorizontalAlignment alignment_;
    std::optional<CGFloat> spacing_;
};

class ZStackLayout final : public Layout {
public:
    explicit ZStackLayout(Alignment alignment = Alignment::center())
        : alignment_(alignment) {}
    Size sizeThatFits(ProposedViewSize, LayoutSubviews, std::any&) const override;
    void placeSubviews(Rect, ProposedViewSize, LayoutSubviews, std::any&) const override;
    bool equals(const Layout& other) const override;

private:
    Alignment alignment_;
};

} // namespace platform::ui

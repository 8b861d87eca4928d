#include "Vellum/blocks/BlockVStack.hpp"

#include "Vellum/style/ListItemSpacing.hpp"

#include <algorithm>
#include <memory>

namespace vellum::structured {

namespace ui = platform::ui;
using platform::Rect;
using platform::Size;
using ui::AnyView;

namespace {

// One block of the stack: hands the stack the spacing the block asks for or, inside a list, the
// list item spacing, as a layout value.
struct BlockLayoutView {
    AnyView content;

    AnyView body(ui::ViewContext& context) const {
        const ui::State<BlockSpacing> wish = context.state<BlockSpacing>(BlockSpacing());
        // Read at every evaluation rather than stored with the wish, so that a new list item
        // spacing takes effect even when the block's own wish stays the same.
        const BlockSpacing spacing = context.environment<ListItemSpacingEnabledKey>()
                                         ? context.environment<ResolvedListItemSpacingKey>()
                                         : *wish;
        return content
            .onPreferenceChange<BlockSpacingKey>(
                [wish](const BlockSpacing& value) { wish.set(value); })
            .layoutValue<BlockSpacingKey>(spacing);
    }

    friend bool operator==(const BlockLayoutView& a, const BlockLayoutView& b) {
        return a.content.impl() == b.content.impl();
    }
};

const BlockVStackLayout::Cache& spacings(std::any& cache, ui::LayoutSubviews subviews,
                                         const BlockVStackLayout& layout) {
    auto* typed = std::any_cast<BlockVStackLayout::Cache>(&cache);
    if (typed == nullptr ||
        typed->spacings.size() + 1 != std::max<std::size_t>(subviews.size(), 1)) {
        cache = layout.makeCache(subviews);
        typed = std::any_cast<BlockVStackLayout::Cache>(&cache);
    }
    return *typed;
}

// The blocks as the stack last wrapped them: a block whose view is the one wrapped before keeps
// its wrapped view, which the engine passes by without comparing anything.
struct Wrapped {
    std::vector<std::pair<AnyView, AnyView>> blocks; // each block's view and its wrapped view
};

} // namespace

AnyView BlockVStack::body(ui::ViewContext& context) const {
    const ui::TextAlignment alignment = context.environment<ui::MultilineTextAlignmentKey>();
    const std::shared_ptr<Wrapped> wrapped =
        context.stateObject<Wrapped>([] { return std::make_shared<Wrapped>(); });
    std::vector<std::pair<ui::ViewID, AnyView>> blocks =
        listed_ ? blocks_ : ui::subviewsOf(content_);
    std::vector<std::pair<AnyView, AnyView>> made;
    made.reserve(blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        AnyView& view = blocks[i].second;
        AnyView block = view;
        if (i < wrapped->blocks.size() && wrapped->blocks[i].first.impl() == view.impl()) {
            view = wrapped->blocks[i].second;
        } else {
            view = AnyView(BlockLayoutView{std::move(view)});
        }
        made.emplace_back(std::move(block), view);
    }
    wrapped->blocks = std::move(made);
    auto layout = std::make_shared<const BlockVStackLayout>(alignment);
    if (context.environment<LazyBlockStackKey>()) {
        return AnyView(ui::LazyVStack(std::move(layout), {AnyView(ui::ForEach(blocks))}))
            .environment<LazyBlockStackKey>(false);
    }
    return ui::LayoutView(std::move(layout), {AnyView(ui::ForEach(blocks))});
}

platform::CGFloat BlockVStackLayout::rowOffset(const ui::LayoutSubview& row, Size size,
                                               platform::CGFloat width) const {
    switch (row.get<BlockAlignmentKey>().value_or(textAlignment_)) {
    case ui::TextAlignment::leading:
        break;
    case ui::TextAlignment::center:
        return (width - size.width) * 0.5;
    case ui::TextAlignment::trailing:
        return width - size.width;
    }
    return 0;
}

double BlockVStackLayout::spacing(const ui::LayoutSubview& upper, const ui::LayoutSubview& lower) {
    const BlockSpacing above = upper.get<BlockSpacingKey>();
    const BlockSpacing below = lower.get<BlockSpacingKey>();
    if (const std::optional<double> wish = maxOfOptionals({above.bottom, below.top})) {
        return *wish;
    }
    return upper.spacing().distance(lower.spacing(), ui::Axis::vertical);
}

std::any BlockVStackLayout::makeCache(ui::LayoutSubviews subviews) const {
    Cache cache;
    if (subviews.size() > 1) {
        cache.spacings.reserve(subviews.size() - 1);
        for (std::size_t i = 0; i + 1 < subviews.size(); ++i) {
            cache.spacings.push_back(spacing(subviews[i], subviews[i + 1]));
        }
    }
    return cache;
}

Size BlockVStackLayout::sizeThatFits(ui::ProposedViewSize proposal, ui::LayoutSubviews subviews,
                                     std::any& cache) const {
    // No room at all: nothing is measured.
    if (proposal.width && *proposal.width <= 0) {
        return {0, 0};
    }
    const Cache& cached = spacings(cache, subviews, *this);
    const ui::ProposedViewSize blockProposal(proposal.width, std::nullopt);
    Size size{0, 0};
    for (const ui::LayoutSubview& subview : subviews) {
        const Size block = subview.sizeThatFits(blockProposal);
        size.width = std::max(size.width, block.width);
        size.height += block.height;
    }
    for (const double gap : cached.spacings) {
        size.height += gap;
    }
    return size;
}

void BlockVStackLayout::placeSubviews(Rect bounds, ui::ProposedViewSize proposal,
                                      ui::LayoutSubviews subviews, std::any& cache) const {
    const Cache& cached = spacings(cache, subviews, *this);
    const ui::ProposedViewSize blockProposal(proposal.width, std::nullopt);
    double y = 0;
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        const ui::LayoutSubview& subview = subviews[i];
        const Size size = subview.sizeThatFits(blockProposal);
        double x = bounds.origin.x;
        switch (subview.get<BlockAlignmentKey>().value_or(textAlignment_)) {
        case ui::TextAlignment::leading:
            break;
        case ui::TextAlignment::center:
            x += (bounds.size.width - size.width) * 0.5;
            break;
        case ui::TextAlignment::trailing:
            x += bounds.size.width - size.width;
            break;
        }
        subview.place({x, bounds.origin.y + y}, ui::UnitPoint::topLeading(), blockProposal);
        y += size.height;
        if (i + 1 < subviews.size()) {
            y += cached.spacings[i];
        }
    }
}

std::optional<platform::CGFloat> BlockVStackLayout::explicitAlignment(const ui::AlignmentID& guide,
                                                                      Rect /*bounds*/,
                                                                      ui::ProposedViewSize proposal,
                                                                      ui::LayoutSubviews subviews,
                                                                      std::any& cache) const {
    const bool first = &guide == &ui::alignment_ids::firstTextBaseline;
    const bool last = &guide == &ui::alignment_ids::lastTextBaseline;
    if ((!first && !last) || subviews.empty()) {
        return std::nullopt;
    }
    const ui::ProposedViewSize blockProposal(proposal.width, std::nullopt);
    if (first) {
        return subviews.front().dimensions(
            blockProposal)[ui::VerticalAlignment::firstTextBaseline()];
    }
    const Cache& cached = spacings(cache, subviews, *this);
    double y = 0;
    for (std::size_t i = 0; i + 1 < subviews.size(); ++i) {
        y += subviews[i].sizeThatFits(blockProposal).height + cached.spacings[i];
    }
    return y + subviews.back().dimensions(blockProposal)[ui::VerticalAlignment::lastTextBaseline()];
}

bool BlockVStackLayout::equals(const ui::Layout& other) const {
    const auto* stack = dynamic_cast<const BlockVStackLayout*>(&other);
    return stack != nullptr && stack->textAlignment_ == textAlignment_;
}

} // namespace vellum::structured

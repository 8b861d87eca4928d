#include "Vellum/blocks/BlockVStack.hpp"

#include "Vellum/style/ListItemSpacing.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <memory>

namespace vellum::structured {

namespace ui = platform::ui;
using platform::Rect;
using platform::Size;
using ui::AnyView;

AnyView BlockVStack::body(ui::ViewContext& context) const {
    const ui::TextAlignment alignment = context.environment<ui::MultilineTextAlignmentKey>();
    // Read here, where the blocks' environment is the stack's own: a new list item spacing
    // makes a new layout, which lays the stack out again.
    const std::optional<BlockSpacing> listItemSpacing =
        context.environment<ListItemSpacingEnabledKey>()
            ? std::optional<BlockSpacing>(context.environment<ResolvedListItemSpacingKey>())
            : std::nullopt;
    // The styles that state the blocks' wishes. A wish published anew does not by itself lay
    // the stack out again (only a change of size does), so a new style has to.
    const ui::EnvironmentValues& environment = context.environment();
    std::vector<const void*> styles{
        headingStyle(environment).get(),      paragraphStyle(environment).get(),
        blockQuoteStyle(environment).get(),   codeBlockStyle(environment).get(),
        listItemStyle(environment).get(),     tableStyle(environment).get(),
        thematicBreakStyle(environment).get()};
    auto layout =
        std::make_shared<const BlockVStackLayout>(alignment, listItemSpacing, std::move(styles));
    std::vector<std::pair<ui::ViewID, AnyView>> subviews;
    if (!listed_) {
        subviews = ui::subviewsOf(content_);
    }
    const std::size_t count = listed_ ? blocks_.size() : subviews.size();
    AnyView blocks = AnyView(ui::ForEach(listed_ ? blocks_ : subviews));
    if (context.environment<LazyBlockStackKey>()) {
        return ui::detail::transformEnvironment(
            AnyView(ui::LazyVStack(std::move(layout), {std::move(blocks)})),
            [](ui::EnvironmentValues& environment) {
                environment.set<LazyBlockStackKey>(false);
                environment.set<InLazyDocumentKey>(true);
            });
    }
    if (count >= lazyBlockCount && context.environment<InLazyDocumentKey>()) {
        return ui::LazyVStack(std::move(layout), {std::move(blocks)});
    }
    return ui::LayoutView(std::move(layout), {std::move(blocks)});
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

BlockSpacing BlockVStackLayout::wish(const ui::LayoutSubview& block) const {
    if (listItemSpacing_) {
        return *listItemSpacing_;
    }
    return block.node().preferences().get<BlockSpacingKey>();
}

double BlockVStackLayout::spacingBetween(const ui::LayoutSubview& upper,
                                         const ui::LayoutSubview& lower) const {
    const BlockSpacing above = wish(upper);
    const BlockSpacing below = wish(lower);
    if (const std::optional<double> larger = maxOfOptionals({above.bottom, below.top})) {
        return *larger;
    }
    return upper.spacing().distance(lower.spacing(), ui::Axis::vertical);
}

Size BlockVStackLayout::sizeThatFits(ui::ProposedViewSize proposal, ui::LayoutSubviews subviews,
                                     std::any& /*cache*/) const {
    // No room at all: nothing is measured.
    if (proposal.width && *proposal.width <= 0) {
        return {0, 0};
    }
    const ui::ProposedViewSize blockProposal(proposal.width, std::nullopt);
    Size size{0, 0};
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        const Size block = subviews[i].sizeThatFits(blockProposal);
        size.width = std::max(size.width, block.width);
        size.height += block.height;
        if (i + 1 < subviews.size()) {
            size.height += spacingBetween(subviews[i], subviews[i + 1]);
        }
    }
    return size;
}

void BlockVStackLayout::placeSubviews(Rect bounds, ui::ProposedViewSize proposal,
                                      ui::LayoutSubviews subviews, std::any& /*cache*/) const {
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
            y += spacingBetween(subview, subviews[i + 1]);
        }
    }
}

std::optional<platform::CGFloat> BlockVStackLayout::explicitAlignment(const ui::AlignmentID& guide,
                                                                      Rect /*bounds*/,
                                                                      ui::ProposedViewSize proposal,
                                                                      ui::LayoutSubviews subviews,
                                                                      std::any& /*cache*/) const {
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
    double y = 0;
    for (std::size_t i = 0; i + 1 < subviews.size(); ++i) {
        y += subviews[i].sizeThatFits(blockProposal).height +
             spacingBetween(subviews[i], subviews[i + 1]);
    }
    return y + subviews.back().dimensions(blockProposal)[ui::VerticalAlignment::lastTextBaseline()];
}

bool BlockVStackLayout::equals(const ui::Layout& other) const {
    const auto* stack = dynamic_cast<const BlockVStackLayout*>(&other);
    return stack != nullptr && stack->textAlignment_ == textAlignment_ &&
           stack->listItemSpacing_ == listItemSpacing_ && stack->styles_ == styles_;
}

} // namespace vellum::structured

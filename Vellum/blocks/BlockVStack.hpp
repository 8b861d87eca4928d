#pragma once

// The blocks of one level of a document, one above the other. Each block says how much room it
// wants above and below itself (its style's block spacing); between two neighbours goes the larger
// of the two facing wishes, or the ordinary spacing between two views when neither states one.
// Inside a list every block takes the list item spacing instead of its own wish. Horizontally a
// block sits by the text alignment, or by its own when it states one.

#include "Vellum/style/BlockSpacing.hpp"
#include "platform/ui/UI.hpp"

#include <any>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace vellum::structured {

// The horizontal placement a block asks for in place of the stack's text alignment.
struct BlockAlignmentKey {
    using Value = std::optional<platform::ui::TextAlignment>;
    static Value defaultValue() { return std::nullopt; }
};

// Whether the block stack below lays its blocks out as they come into the host's visible part
// (a whole document's stack). The stacks inside its blocks are laid out whole, unless they hold
// many blocks (a long list's items, a long quote): those are laid out as they come into view too,
// so that one large block costs what shows of it rather than what it holds.
struct LazyBlockStackKey {
    using Value = bool;
    static Value defaultValue() { return false; }
};
// Set below a lazy document's stack, for the stacks inside its blocks.
struct InLazyDocumentKey {
    using Value = bool;
    static Value defaultValue() { return false; }
};
// How many blocks a stack inside a lazy document holds before it lays them out lazily itself.
inline constexpr std::size_t lazyBlockCount = 100;

class BlockVStack {
public:
    // `content`'s subviews (a for-each of blocks, usually) are the blocks, each keeping its own
    // identity.
    explicit BlockVStack(platform::ui::AnyView content)
        : content_(std::move(content)) {}
    // The blocks as they are, each with its identity.
    explicit BlockVStack(std::vector<std::pair<platform::ui::ViewID, platform::ui::AnyView>> blocks)
        : blocks_(std::move(blocks))
        , listed_(true) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

private:
    platform::ui::AnyView content_;
    std::vector<std::pair<platform::ui::ViewID, platform::ui::AnyView>> blocks_;
    bool listed_ = false;
};

// The layout of the stack, exposed for its tests: block spacings are read from what each subview
// publishes under BlockSpacingKey (or, inside a list, are the list item spacing), alignments come
// from its BlockAlignmentKey. The blocks need no wrapper and no observer of their own: the stack
// reads each block's wish where the block already keeps it.
class BlockVStackLayout final : public platform::ui::LazyVStackLayout {
public:
    // `styles` identify the block styles in force (compared by identity): the wishes come from
    // them, and a layout with other styles lays the stack out again, so that it reads the wishes
    // anew even where no block's size changed.
    explicit BlockVStackLayout(platform::ui::TextAlignment textAlignment,
                               std::optional<BlockSpacing> listItemSpacing = std::nullopt,
                               std::vector<const void*> styles = {})
        : textAlignment_(textAlignment)
        , listItemSpacing_(listItemSpacing)
        , styles_(std::move(styles)) {}

    [[nodiscard]] platform::Size sizeThatFits(platform::ui::ProposedViewSize proposal,
                                              platform::ui::LayoutSubviews subviews,
                                              std::any& cache) const override;
    void placeSubviews(platform::Rect bounds, platform::ui::ProposedViewSize proposal,
                       platform::ui::LayoutSubviews subviews, std::any& cache) const override;
    // The first block's first baseline and the last block's last one, so that a list marker
    // beside the stack lines up with its first line of text.
    [[nodiscard]] std::optional<platform::CGFloat>
    explicitAlignment(const platform::ui::AlignmentID& guide, platform::Rect bounds,
                      platform::ui::ProposedViewSize proposal,
                      platform::ui::LayoutSubviews subviews, std::any& cache) const override;
    [[nodiscard]] bool equals(const platform::ui::Layout& other) const override;
    [[nodiscard]] std::optional<platform::ui::ProposedViewSize>
    expectedSubviewProposal(platform::ui::ProposedViewSize proposal) const override {
        return platform::ui::ProposedViewSize(proposal.width, std::nullopt);
    }

    // The space between two neighbours: the larger stated facing side, else the views' own
    // spacing. Read at every layout rather than cached, as a block's wish may change while its
    // neighbours and their sizes stay as they were.
    [[nodiscard]] double spacingBetween(const platform::ui::LayoutSubview& upper,
                                        const platform::ui::LayoutSubview& lower) const;
    // As a lazy stack: the same spacing, and each block placed by its alignment.
    [[nodiscard]] platform::CGFloat
    rowSpacing(const platform::ui::LayoutSubview& upper,
               const platform::ui::LayoutSubview& lower) const override {
        return spacingBetween(upper, lower);
    }
    [[nodiscard]] platform::CGFloat rowOffset(const platform::ui::LayoutSubview& row,
                                              platform::Size size,
                                              platform::CGFloat width) const override;

private:
    // The wish each block publishes; inside a list, the list item spacing in its place.
    [[nodiscard]] BlockSpacing wish(const platform::ui::LayoutSubview& block) const;

    platform::ui::TextAlignment textAlignment_;
    std::optional<BlockSpacing> listItemSpacing_;
    std::vector<const void*> styles_;
};

} // namespace vellum::structured

#pragma once

// The library's view modifiers, kept apart from the engine's own names: `vellum(view)` wraps a
// view, and the wrapper's members style it.
//
//     vellum(content).structuredTextStyle(GitHubStyle()) ...
//     vellum(label).padding(FontScaled<double>(0.75))   // three quarters of the font size
//
// Most write one environment value that the markdown views read further down; the font-relative
// ones resolve their em lengths against the font of the subtree they sit in (and follow it when it
// changes) before applying the engine's modifier; the block spacing ones publish the preference
// the block stack spaces blocks by.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/highlighting/HighlighterTheme.hpp"
#include "Vellum/style/BlockSpacing.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/ListItemSpacing.hpp"
#include "Vellum/style/OverflowMode.hpp"
#include "Vellum/style/StructuredTextStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/style/TableLayout.hpp"
#include "Vellum/style/TextSelectability.hpp"
#include "Vellum/text/EmojiProperties.hpp"
#include "Vellum/text/FontScaled.hpp"
#include "Vellum/text/MathProperties.hpp"
#include "platform/ui/View.hpp"

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace vellum {

class VellumNamespace;
[[nodiscard]] VellumNamespace vellum(platform::ui::AnyView view);

class VellumNamespace {
public:
    explicit VellumNamespace(platform::ui::AnyView base_)
        : base(std::move(base_)) {}

    platform::ui::AnyView base;

    // Styles.
    [[nodiscard]] platform::ui::AnyView inlineStyle(InlineStyle style) const;
#define VELLUM_STYLE_MODIFIER(member, Protocol)                                                    \
    [[nodiscard]] platform::ui::AnyView member(std::shared_ptr<const structured::Protocol> style)  \
        const;                                                                                     \
    template <std::derived_from<structured::Protocol> S>                                           \
    [[nodiscard]] platform::ui::AnyView member(S style) const {                                    \
        return member(std::shared_ptr<const structured::Protocol>(                                 \
            std::make_shared<const S>(std::move(style))));                                         \
    }
    VELLUM_STYLE_MODIFIER(headingStyle, HeadingStyle)
    VELLUM_STYLE_MODIFIER(paragraphStyle, ParagraphStyle)
    VELLUM_STYLE_MODIFIER(blockQuoteStyle, BlockQuoteStyle)
    VELLUM_STYLE_MODIFIER(codeBlockStyle, CodeBlockStyle)
    VELLUM_STYLE_MODIFIER(listItemStyle, ListItemStyle)
    VELLUM_STYLE_MODIFIER(unorderedListMarker, UnorderedListMarker)
    VELLUM_STYLE_MODIFIER(orderedListMarker, OrderedListMarker)
    VELLUM_STYLE_MODIFIER(tableStyle, TableStyle)
    VELLUM_STYLE_MODIFIER(tableCellStyle, TableCellStyle)
    VELLUM_STYLE_MODIFIER(thematicBreakStyle, ThematicBreakStyle)
#undef VELLUM_STYLE_MODIFIER

    // All eleven values of a style set. A single style modifier placed inside this one (closer to
    // the text) overrides its part of the set; one placed outside is overridden by the set.
    template <structured::Style S>
    [[nodiscard]] platform::ui::AnyView structuredTextStyle(const S& style) const {
        using namespace structured;
        // Each writer wraps the previous one, the inline style innermost.
        platform::ui::AnyView view = inlineStyle(style.inlineStyle);
        view = vellum(std::move(view)).headingStyle(shareStyle<HeadingStyle>(style.headingStyle));
        view = vellum(std::move(view))
                   .paragraphStyle(shareStyle<ParagraphStyle>(style.paragraphStyle));
        view = vellum(std::move(view))
                   .blockQuoteStyle(shareStyle<BlockQuoteStyle>(style.blockQuoteStyle));
        view = vellum(std::move(view))
                   .codeBlockStyle(shareStyle<CodeBlockStyle>(style.codeBlockStyle));
        view =
            vellum(std::move(view)).listItemStyle(shareStyle<ListItemStyle>(style.listItemStyle));
        view = vellum(std::move(view))
                   .unorderedListMarker(shareStyle<UnorderedListMarker>(style.unorderedListMarker));
        view = vellum(std::move(view))
                   .orderedListMarker(shareStyle<OrderedListMarker>(style.orderedListMarker));
        view = vellum(std::move(view)).tableStyle(shareStyle<TableStyle>(style.tableStyle));
        view = vellum(std::move(view))
                   .tableCellStyle(shareStyle<TableCellStyle>(style.tableCellStyle));
        return vellum(std::move(view))
            .thematicBreakStyle(shareStyle<ThematicBreakStyle>(style.thematicBreakStyle));
    }

    // Other environment values.
    [[nodiscard]] platform::ui::AnyView highlighterTheme(HighlighterTheme theme) const;
    // How content wider than the column (tables, code) is fitted.
    [[nodiscard]] platform::ui::AnyView overflowMode(OverflowMode mode) const;
    // The spacing between the blocks inside lists, in ems; each list resolves it with its font.
    [[nodiscard]] platform::ui::AnyView
    listItemSpacing(FontScaled<structured::BlockSpacing> spacing) const;
    [[nodiscard]] platform::ui::AnyView emojiProperties(EmojiProperties properties) const;
    [[nodiscard]] platform::ui::AnyView mathProperties(MathProperties properties) const;
    // The loaders that turn image links and emoji shortcodes into attachments.
    [[nodiscard]] platform::ui::AnyView
    imageAttachmentLoader(std::shared_ptr<const AttachmentLoader> loader) const;
    template <std::derived_from<AttachmentLoader> L>
    [[nodiscard]] platform::ui::AnyView imageAttachmentLoader(L loader) const {
        return imageAttachmentLoader(
            std::shared_ptr<const AttachmentLoader>(std::make_shared<const L>(std::move(loader))));
    }
    [[nodiscard]] platform::ui::AnyView
    emojiAttachmentLoader(std::shared_ptr<const AttachmentLoader> loader) const;
    template <std::derived_from<AttachmentLoader> L>
    [[nodiscard]] platform::ui::AnyView emojiAttachmentLoader(L loader) const {
        return emojiAttachmentLoader(
            std::shared_ptr<const AttachmentLoader>(std::make_shared<const L>(std::move(loader))));
    }
    // Whether the texts inside can be selected: what `selectability` answers. Off by default.
    [[nodiscard]] platform::ui::AnyView textSelection(const TextSelectability& selectability) const;
    // The font inside scaled by `scale` of the font around.
    [[nodiscard]] platform::ui::AnyView fontScale(double scale) const;

    // Font-relative layout: lengths in units of the font size of the subtree.
    [[nodiscard]] platform::ui::AnyView padding(FontScaled<double> length) const;
    [[nodiscard]] platform::ui::AnyView padding(platform::ui::Edges edges,
                                                FontScaled<double> length) const;
    [[nodiscard]] platform::ui::AnyView padding(FontScaled<platform::EdgeInsets> insets) const;
    // An absent width or height stays unconstrained.
    [[nodiscard]] platform::ui::AnyView
    frame(std::optional<FontScaled<double>> width, std::optional<FontScaled<double>> height,
          platform::ui::Alignment alignment = platform::ui::Alignment::center()) const;
    [[nodiscard]] platform::ui::AnyView
    frameMinWidth(FontScaled<double> minWidth,
                  platform::ui::Alignment alignment = platform::ui::Alignment::center()) const;
    [[nodiscard]] platform::ui::AnyView lineSpacing(FontScaled<double> spacing) const;

    // The space the block asks for above and below it, in ems or in points.
    [[nodiscard]] platform::ui::AnyView
    blockSpacing(FontScaled<structured::BlockSpacing> spacing) const;
    [[nodiscard]] platform::ui::AnyView blockSpacing(structured::BlockSpacing spacing) const;

    // The spacing a table style asks for between the cells of its grid; an absent side keeps the
    // grid's own spacing.
    [[nodiscard]] platform::ui::AnyView tableCellSpacing(std::optional<double> horizontal,
                                                         std::optional<double> vertical) const;
    // Draws what `content` makes of the table's measured geometry behind (or over) the table,
    // filling it: the cells' bounds, reported by each cell, in the table's own coordinates. A view
    // without a table gets the layout of no cells.
    using TableDecoration =
        std::function<platform::ui::AnyView(const structured::TableLayout& layout)>;
    [[nodiscard]] platform::ui::AnyView tableBackground(TableDecoration content) const;
    [[nodiscard]] platform::ui::AnyView tableOverlay(TableDecoration content) const;

private:
    template <class K>
    [[nodiscard]] platform::ui::AnyView write(typename K::Value value) const {
        return base.environment<K>(std::move(value));
    }
};

// The library's modifiers of `view`.
inline VellumNamespace vellum(platform::ui::AnyView view) {
    return VellumNamespace(std::move(view));
}

} // namespace vellum

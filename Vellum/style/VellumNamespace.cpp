#include "Vellum/style/VellumNamespace.hpp"

#include "Vellum/text/FontScaleModifier.hpp"
#include "Vellum/text/FontScaledView.hpp"
#include "platform/ui/Containers.hpp"

#include <vector>

namespace vellum {

using platform::ui::AnyView;
using namespace structured;

AnyView VellumNamespace::inlineStyle(InlineStyle style) const {
    return write<InlineStyleKey>(std::move(style));
}

// An empty style would leave the blocks with nothing to draw them with: the default stands in.
#define VELLUM_STYLE_MODIFIER(member, Protocol)                                                    \
    AnyView VellumNamespace::member(std::shared_ptr<const Protocol> style) const {                 \
        return write<Protocol##Key>(std::move(style));                                             \
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

AnyView VellumNamespace::highlighterTheme(HighlighterTheme theme) const {
    return write<HighlighterThemeKey>(std::move(theme));
}

AnyView VellumNamespace::overflowMode(OverflowMode mode) const {
    return write<OverflowModeKey>(mode);
}

AnyView VellumNamespace::listItemSpacing(FontScaled<BlockSpacing> spacing) const {
    return write<ListItemSpacingKey>(spacing);
}

AnyView VellumNamespace::emojiProperties(EmojiProperties properties) const {
    return write<EmojiPropertiesKey>(std::move(properties));
}

AnyView VellumNamespace::mathProperties(MathProperties properties) const {
    return write<MathPropertiesKey>(std::move(properties));
}

AnyView
VellumNamespace::imageAttachmentLoader(std::shared_ptr<const AttachmentLoader> loader) const {
    return write<ImageAttachmentLoaderKey>(std::move(loader));
}

AnyView
VellumNamespace::emojiAttachmentLoader(std::shared_ptr<const AttachmentLoader> loader) const {
    return write<EmojiAttachmentLoaderKey>(std::move(loader));
}

AnyView VellumNamespace::textSelection(const TextSelectability& selectability) const {
    return write<TextSelectionKey>(selectability.allowsSelection());
}

AnyView VellumNamespace::fontScale(double scale) const {
    return base.modifier(FontScaleModifier{scale});
}

AnyView VellumNamespace::padding(FontScaled<double> length) const {
    return WithFontScaledValue<double>(
        std::move(length), [base = base](const double& points) { return base.padding(points); });
}

AnyView VellumNamespace::padding(platform::ui::Edges edges, FontScaled<double> length) const {
    return WithFontScaledValue<double>(
        std::move(length),
        [base = base, edges](const double& points) { return base.padding(edges, points); });
}

AnyView VellumNamespace::padding(FontScaled<platform::EdgeInsets> insets) const {
    return WithFontScaledValue<platform::EdgeInsets>(
        std::move(insets),
        [base = base](const platform::EdgeInsets& points) { return base.padding(points); });
}

AnyView VellumNamespace::frame(std::optional<FontScaled<double>> width,
                               std::optional<FontScaled<double>> height,
                               platform::ui::Alignment alignment) const {
    // One value, so that both sides resolve against the same font; an absent side stays absent.
    FontScaled<platform::ui::ProposedViewSize> size;
    if (width) {
        size.value.width = width->value;
    }
    if (height) {
        size.value.height = height->value;
    }
    return WithFontScaledValue<platform::ui::ProposedViewSize>(
        std::move(size), [base = base, alignment](const platform::ui::ProposedViewSize& points) {
            return base.frame(points.width, points.height, alignment);
        });
}

AnyView VellumNamespace::frameMinWidth(FontScaled<double> minWidth,
                                       platform::ui::Alignment alignment) const {
    return WithFontScaledValue<double>(std::move(minWidth),
                                       [base = base, alignment](const double& points) {
                                           platform::ui::FlexibleFrame frame;
                                           frame.minWidth = points;
                                           frame.alignment = alignment;
                                           return base.frame(frame);
                                       });
}

AnyView VellumNamespace::lineSpacing(FontScaled<double> spacing) const {
    return WithFontScaledValue<double>(std::move(spacing), [base = base](const double& points) {
        return base.lineSpacing(points);
    });
}

AnyView VellumNamespace::blockSpacing(FontScaled<BlockSpacing> spacing) const {
    return WithFontScaledValue<BlockSpacing>(std::move(spacing),
                                             [base = base](const BlockSpacing& points) {
                                                 return base.preference<BlockSpacingKey>(points);
                                             });
}

AnyView VellumNamespace::blockSpacing(BlockSpacing spacing) const {
    return base.preference<BlockSpacingKey>(spacing);
}

AnyView VellumNamespace::tableCellSpacing(std::optional<double> horizontal,
                                          std::optional<double> vertical) const {
    return base.preference<TableCellSpacingKey>(TableCellSpacing{horizontal, vertical});
}

namespace {

// The cells' anchors resolved in a reader laid over the table, so that the layout is in the
// coordinates of what is drawn there. Equal while the anchors and the decoration are the same:
// the decoration is built again after every layout of the table, and a reader that differed each
// time would be laid out again each time, for ever.
struct TableDecorationReader {
    // Shared: the reader is copied with its view and its geometry closure, the anchors only read.
    std::shared_ptr<const TableCellBoundsKey::Value> anchors;
    std::shared_ptr<const VellumNamespace::TableDecoration> content;

    [[nodiscard]] AnyView body() const {
        return platform::ui::GeometryReader(
            [anchors = anchors, content = content](const platform::ui::GeometryProxy& proxy) {
                std::vector<TableLayout::Cell> cells;
                cells.reserve(anchors->size());
                for (const auto& [identifier, anchor] : *anchors) {
                    cells.push_back({identifier, proxy[anchor]});
                }
                return (*content)(TableLayout::fromCells(std::move(cells)));
            });
    }
    friend bool operator==(const TableDecorationReader& a, const TableDecorationReader& b) {
        return *a.anchors == *b.anchors && a.content == b.content;
    }
};

AnyView tableDecoration(const AnyView& base, VellumNamespace::TableDecoration content,
                        bool behind) {
    std::function<AnyView(const TableCellBoundsKey::Value&)> make =
        [content = std::make_shared<const VellumNamespace::TableDecoration>(std::move(content))](
            const TableCellBoundsKey::Value& anchors) {
            return AnyView(TableDecorationReader{
                std::make_shared<const TableCellBoundsKey::Value>(anchors), content});
        };
    return behind ? base.backgroundPreferenceValue<TableCellBoundsKey>(std::move(make))
                  : base.overlayPreferenceValue<TableCellBoundsKey>(std::move(make));
}

} // namespace

AnyView VellumNamespace::tableBackground(TableDecoration content) const {
    return tableDecoration(base, std::move(content), true);
}

AnyView VellumNamespace::tableOverlay(TableDecoration content) const {
    return tableDecoration(base, std::move(content), false);
}

} // namespace vellum

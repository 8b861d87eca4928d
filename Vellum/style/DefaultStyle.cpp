#include "Vellum/style/DefaultStyle.hpp"

#include "Vellum/style/DefaultTheme.hpp"
#include "Vellum/style/FirstTextCenterAlignment.hpp"
#include "Vellum/style/OverflowContainer.hpp"
#include "Vellum/style/StyleSetModifiers.hpp"
#include "Vellum/text/FontScaledView.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/Shapes.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace vellum::structured {

namespace {

using platform::ui::AnyView;
using platform::ui::Edges;
namespace ui = platform::ui;

// Points: the bar reads as a bar beside text of any size, never as a hairline.
constexpr double quoteBarWidth = 6;
constexpr double panelCornerRadius = 4;
// One point between cells, filled by the grid; one point of empty margin around the table.
constexpr double tableOutset = 1;
// Around a cell's text, on every side.
constexpr double cellPaddingEm = 0.588;

// Levels below 1 are not produced by the parser; they get the largest heading rather than an
// index before the table.
std::size_t headingIndex(int headingLevel) {
    return static_cast<std::size_t>(std::clamp(headingLevel, 1, 6) - 1);
}

} // namespace

AnyView DefaultHeadingStyle::makeBody(ui::ViewContext& context,
                                      const HeadingStyleConfiguration& configuration) const {
    const std::size_t level = headingIndex(configuration.headingLevel);
    // The heading's font in its weight; the ems of its spacing resolve against that font before
    // the heading's scale, the text takes it scaled. Resolved here, once, rather than by a view
    // per value.
    TextEnvironmentValues text(context.environment());
    const platform::Font weighted =
        text.font.value_or(platform::Font::body()).weight(platform::Font::Weight::semibold());
    text.font = weighted;
    const double scale = fontScales[level];
    const AnyView view = styleset::fontAndLineSpacing(
        configuration.label.content, scale == 1.0 ? weighted : weighted.scaled(scale),
        FontScaled<double>(lineSpacings[level]).resolve(text));
    return view.preference<BlockSpacingKey>(fontScaled(1.6, 0.8).resolve(text));
}

AnyView DefaultParagraphStyle::makeBody(ui::ViewContext& context,
                                        const BlockStyleConfiguration& configuration) const {
    // The ems resolve against the paragraph's own font, read here rather than by a view per value:
    // a document has hundreds of paragraphs.
    const TextEnvironmentValues text(context.environment());
    const AnyView view =
        configuration.label.content.lineSpacing(FontScaled<double>(0.23).resolve(text));
    // No bottom wish: the block below decides that gap.
    return view.preference<BlockSpacingKey>(fontScaled(0.8, std::nullopt).resolve(text));
}

AnyView DefaultBlockQuoteStyle::makeBody(ui::ViewContext& context,
                                         const BlockStyleConfiguration& configuration) const {
    ui::FlexibleFrame fullWidth;
    fullWidth.maxWidth = ui::infinity;
    fullWidth.alignment = ui::Alignment::leading();
    // The ems resolve against the quote's font, read here rather than by a view per value.
    const TextEnvironmentValues text(context.environment());
    AnyView view = configuration.label.content.frame(fullWidth);
    view = view.lineSpacing(FontScaled<double>(0.471).resolve(text));
    view = view.padding(Edges::all(), FontScaled<double>(0.941).resolve(text));
    const platform::Color background = backgroundColor.resolve(context.environment());
    const platform::Color border = borderColor.resolve(context.environment());
    const AnyView panel =
        ui::ZStack(ui::Alignment::leading(),
                   {ui::Rectangle().fill(background),
                    ui::Rectangle().fill(border).frame(quoteBarWidth, std::nullopt,
                                                       ui::Alignment::leading())})
            .clipShape(
                ui::RoundedRectangle(panelCornerRadius, platform::RoundedCornerStyle::continuous));
    return view.background(panel);
}

AnyView DefaultCodeBlockStyle::makeBody(ui::ViewContext& context,
                                        const CodeBlockStyleConfiguration& configuration) const {
    // The code's font: the panel's in its monospaced design, scaled; its line spacing in ems of
    // that font. Resolved here, once, rather than by a view per value.
    TextEnvironmentValues text(context.environment());
    const platform::Font font =
        text.font.value_or(platform::Font::body()).monospaced().scaled(0.882);
    text.font = font;
    AnyView view = styleset::fontAndLineSpacing(configuration.label.content, font,
                                                FontScaled<double>(0.39).resolve(text));
    view = view.fixedSize(false, true);
    view = view.padding(platform::EdgeInsets(8, 14, 8, 0));
    // Wide code scrolls (or wraps) inside the panel, which keeps the column's width.
    view = overflowContainer([inner = std::move(view)](const OverflowState&) { return inner; });
    const ui::RoundedRectangle panel(panelCornerRadius, platform::RoundedCornerStyle::continuous);
    view = view.background(
                   configuration.highlighterTheme.backgroundColor.resolve(context.environment()))
               .clipShape(panel);
    view = view.overlay(panel.stroke(defaultSeparator().resolve(context.environment()), 1));
    // A present zero: the code block wants its following block flush against it. In ems of the
    // panel's font, not the code's.
    return view.preference<BlockSpacingKey>(
        fontScaled(0.88, 0.0).resolve(TextEnvironmentValues(context.environment())));
}

AnyView DefaultListItemStyle::makeBody(ui::ViewContext& context,
                                       const ListItemStyleConfiguration& configuration) const {
    // Resolved against the item's font here rather than by a view of its own.
    const double spacing = markerSpacing.resolve(TextEnvironmentValues(context.environment()));
    return ui::HStack(firstTextCenter(), spacing,
                      {configuration.marker.content, configuration.block.content});
}

AnyView DefaultTableStyle::makeBody(ui::ViewContext& context,
                                    const TableStyleConfiguration& configuration) const {
    AnyView view = vellum(configuration.label.content).tableCellSpacing(tableOutset, tableOutset);
    view = view.preference<BlockSpacingKey>(
        fontScaled(1.6, 1.6).resolve(TextEnvironmentValues(context.environment())));
    const platform::Color border = defaultTableBorder().resolve(context.environment());
    view = vellum(view).tableOverlay(
        [border](const TableLayout& layout) { return tableGrid(layout, border); });
    return view.padding(tableOutset);
}

AnyView OverflowTableStyle::makeBody(ui::ViewContext& context,
                                     const TableStyleConfiguration& configuration) const {
    const platform::Color border = defaultTableBorder().resolve(context.environment());
    AnyView view =
        overflowContainer([label = configuration.label.content, relativeWidth = relativeWidth,
                           border](const OverflowState& state) {
            // Scrolled, the table is laid out wider than what shows of it; wrapped (or before the
            // visible width is known) it fits its container and sets no minimum width.
            ui::FlexibleFrame frame;
            frame.alignment = ui::Alignment::leading();
            if (state.isScroll() && state.containerWidth()) {
                frame.minWidth = *state.containerWidth() * relativeWidth;
            }
            AnyView table = label.fixedSize(false, true).frame(frame);
            table = vellum(table).tableOverlay(
                [border](const TableLayout& layout) { return tableGrid(layout, border); });
            return table.padding(tableOutset);
        });
    view = vellum(view).tableCellSpacing(tableOutset, tableOutset);
    return styleset::blockSpacingEm(view, 1.6, 1.6);
}

AnyView DefaultTableCellStyle::makeBody(ui::ViewContext& context,
                                        const TableCellStyleConfiguration& configuration) const {
    const platform::Font::Weight weight = configuration.row == 0
                                              ? platform::Font::Weight::semibold()
                                              : platform::Font::Weight::regular();
    // The ems resolve against the cell's own font (the weight leaves its size), read here rather
    // than by a view per value: a document has thousands of cells.
    const TextEnvironmentValues text(context.environment());
    AnyView view = configuration.label.content;
    if (!configuration.sharedByTable) {
        view = styleset::fontWeightAndLineSpacing(std::move(view), weight,
                                                  FontScaled<double>(0.471).resolve(text));
        return view.padding(Edges::all(), FontScaled<double>(cellPaddingEm).resolve(text));
    }
    if (configuration.row == 0) {
        // The table made every cell regular: only the head row says otherwise.
        view = styleset::fontWeightOverTableCells(view, weight);
    }
    // The table's grid keeps the padding (cellPadding).
    return view;
}

TableCellPadding DefaultTableCellStyle::cellPadding(ui::ViewContext& context) const {
    const double padding =
        FontScaled<double>(cellPaddingEm).resolve(TextEnvironmentValues(context.environment()));
    return {padding, padding};
}

AnyView DefaultTableCellStyle::makeCells(ui::ViewContext& context, AnyView cells) const {
    return styleset::fontWeightAndLineSpacing(
        std::move(cells), platform::Font::Weight::regular(),
        FontScaled<double>(0.471).resolve(TextEnvironmentValues(context.environment())));
}

AnyView
DividerThematicBreakStyle::makeBody(ui::ViewContext& context,
                                    const BlockStyleConfiguration& /*configuration*/) const {
    ui::FlexibleFrame line;
    line.minHeight = 1;
    const AnyView view = AnyView(ui::Divider())
                             .frame(line)
                             .overlay(AnyView(defaultSeparator().resolve(context.environment())));
    return view.preference<BlockSpacingKey>(
        fontScaled(1.6, 1.6).resolve(TextEnvironmentValues(context.environment())));
}

std::vector<platform::Rect> tableGridGaps(std::span<const platform::Rect> rows,
                                          std::span<const platform::Rect> columns,
                                          platform::Rect bounds) {
    std::vector<platform::Rect> gaps;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double top = rows[i - 1].maxY();
        const double bottom = rows[i].minY();
        if (bottom - top > 0) {
            gaps.emplace_back(bounds.minX(), top, bounds.width(), bottom - top);
        }
    }
    for (std::size_t i = 1; i < columns.size(); ++i) {
        const double leading = columns[i - 1].maxX();
        const double trailing = columns[i].minX();
        if (trailing - leading > 0) {
            gaps.emplace_back(leading, bounds.minY(), trailing - leading, bounds.height());
        }
    }
    return gaps;
}

AnyView tableGrid(const TableLayout& layout, platform::Color color) {
    std::vector<platform::Rect> rows;
    std::vector<platform::Rect> columns;
    for (const int row : layout.rowIndices()) {
        rows.push_back(layout.rowBounds(row));
    }
    for (const int column : layout.columnIndices()) {
        columns.push_back(layout.columnBounds(column));
    }
    return tableFill(tableGridGaps(rows, columns, layout.bounds()), color);
}

namespace {

// `rect` with its edges moved to the nearest device pixel boundaries (at least one pixel across),
// while the drawing is only scaled and moved: cells sit at fractional points, and a one-point line
// between them would otherwise be smeared over three pixel rows at part strength.
platform::Rect onPixels(const platform::Rect& rect, const platform::AffineTransform& t) {
    if (t.b != 0 || t.c != 0 || t.a <= 0 || t.d <= 0) {
        return rect;
    }
    const auto snap = [](double from, double to, double scale, double offset) {
        const double low = std::round(from * scale + offset);
        const double high = std::max(std::round(to * scale + offset), low + 1);
        return std::pair((low - offset) / scale, (high - low) / scale);
    };
    const auto [x, width] = snap(rect.minX(), rect.maxX(), t.a, t.tx);
    const auto [y, height] = snap(rect.minY(), rect.maxY(), t.d, t.ty);
    return {x, y, width, height};
}

struct TableFill {
    std::vector<platform::Rect> rects;
    platform::Color color;

    [[nodiscard]] AnyView body() const {
        return ui::Canvas(
            [rects = rects, color = color](ui::CanvasContext& canvas, platform::Size /*size*/) {
                const platform::AffineTransform device = canvas.graphics.transform();
                for (const platform::Rect& rect : rects) {
                    canvas.graphics.fill(onPixels(rect, device), color);
                }
            });
    }
    friend bool operator==(const TableFill&, const TableFill&) = default;
};

} // namespace

AnyView tableFill(std::vector<platform::Rect> rects, platform::Color color) {
    return TableFill{std::move(rects), color};
}

// The shorthands of the protocols.

std::shared_ptr<const HeadingStyle> HeadingStyle::defaultStyle() {
    return std::make_shared<const DefaultHeadingStyle>();
}

std::shared_ptr<const ParagraphStyle> ParagraphStyle::defaultStyle() {
    return std::make_shared<const DefaultParagraphStyle>();
}

std::shared_ptr<const BlockQuoteStyle> BlockQuoteStyle::defaultStyle() {
    return std::make_shared<const DefaultBlockQuoteStyle>(defaultQuoteBackground(),
                                                          defaultQuoteBorder());
}

std::shared_ptr<const CodeBlockStyle> CodeBlockStyle::defaultStyle() {
    return std::make_shared<const DefaultCodeBlockStyle>();
}

std::shared_ptr<const ListItemStyle> ListItemStyle::defaultStyle() {
    return defaultStyle(FontScaled<double>(0.5));
}

std::shared_ptr<const ListItemStyle> ListItemStyle::defaultStyle(FontScaled<double> markerSpacing) {
    return std::make_shared<const DefaultListItemStyle>(markerSpacing);
}

std::shared_ptr<const TableStyle> TableStyle::defaultStyle() {
    return std::make_shared<const DefaultTableStyle>();
}

std::shared_ptr<const TableStyle> TableStyle::overflow(double relativeWidth) {
    return std::make_shared<const OverflowTableStyle>(relativeWidth);
}

std::shared_ptr<const TableCellStyle> TableCellStyle::defaultStyle() {
    return std::make_shared<const DefaultTableCellStyle>();
}

std::shared_ptr<const ThematicBreakStyle> ThematicBreakStyle::divider() {
    return std::make_shared<const DividerThematicBreakStyle>();
}

} // namespace vellum::structured

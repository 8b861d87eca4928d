#pragma once

// The library's out-of-the-box look: spacings in em, so a document keeps its proportions at any
// font size; headings large and semibold; quotes as tinted panels with a bar; code in outlined
// panels; tables with thin inner grid lines.

#include "Vellum/style/BlockQuoteStyle.hpp"
#include "Vellum/style/CodeBlockStyle.hpp"
#include "Vellum/style/DecimalListMarker.hpp"
#include "Vellum/style/DefaultTheme.hpp"
#include "Vellum/style/HeadingStyle.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/ListItemStyle.hpp"
#include "Vellum/style/OrderedListMarker.hpp"
#include "Vellum/style/ParagraphStyle.hpp"
#include "Vellum/style/SymbolListMarker.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "Vellum/style/ThematicBreakStyle.hpp"
#include "Vellum/style/UnorderedListMarker.hpp"
#include "Vellum/text/DynamicColor.hpp"
#include "Vellum/text/FontScaled.hpp"

#include <array>
#include <span>
#include <vector>

namespace vellum::structured {

// Levels beyond six look like six.
class DefaultHeadingStyle final : public HeadingStyle {
public:
    static constexpr std::array<double, 6> fontScales{2.353, 1.882, 1.647, 1.412, 1.294, 1.0};
    static constexpr std::array<double, 6> lineSpacings{0.1, 0.25, 0.143, 0.167, 0.182, 0.471};

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const HeadingStyleConfiguration& configuration) const override;
};

class DefaultParagraphStyle final : public ParagraphStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;
};

class DefaultBlockQuoteStyle final : public BlockQuoteStyle {
public:
    DefaultBlockQuoteStyle(DynamicColor backgroundColor_, DynamicColor borderColor_)
        : backgroundColor(std::move(backgroundColor_))
        , borderColor(std::move(borderColor_)) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;

    DynamicColor backgroundColor;
    DynamicColor borderColor;
};

// The panel takes the highlighter theme's background, so it follows the theme's schemes.
class DefaultCodeBlockStyle final : public CodeBlockStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const CodeBlockStyleConfiguration& configuration) const override;
};

// The marker and the item's content side by side, level on the middle of the first text line.
class DefaultListItemStyle final : public ListItemStyle {
public:
    explicit DefaultListItemStyle(FontScaled<double> markerSpacing_)
        : markerSpacing(markerSpacing_) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const ListItemStyleConfiguration& configuration) const override;

    FontScaled<double> markerSpacing;
};

class DefaultTableStyle final : public TableStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableStyleConfiguration& configuration) const override;
};

// A table that, when scrolled, is laid out `relativeWidth` times as wide as its container.
class OverflowTableStyle final : public TableStyle {
public:
    explicit OverflowTableStyle(double relativeWidth_)
        : relativeWidth(relativeWidth_) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableStyleConfiguration& configuration) const override;

    double relativeWidth;
};

// The head row (row 0) semibold.
class DefaultTableCellStyle final : public TableCellStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableCellStyleConfiguration& configuration) const override;
    // Every cell's regular weight and line spacing, once around a table's cells.
    [[nodiscard]] platform::ui::AnyView makeCells(platform::ui::ViewContext& context,
                                                  platform::ui::AnyView cells) const override;
    // The same on every side of every cell, kept by the table's grid.
    [[nodiscard]] TableCellPadding cellPadding(platform::ui::ViewContext& context) const override;
    // The bodies keep no state and read the font's size alone.
    [[nodiscard]] bool makesBodiesInTable() const override { return true; }
};

class DividerThematicBreakStyle final : public ThematicBreakStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;
};

// The lines between the cells of a laid-out table (rows top to bottom, columns leading to
// trailing, each as its rectangle): for each pair of neighbouring rows with space between them the
// strip across the table's full width, then likewise for columns across its full height. Only the
// inner lines: a single cell has none, and nothing is drawn along the outer edge.
[[nodiscard]] std::vector<platform::Rect> tableGridGaps(std::span<const platform::Rect> rows,
                                                        std::span<const platform::Rect> columns,
                                                        platform::Rect bounds);

// Rectangles filled in `color`, for a table decoration: a view that compares equal while the
// rectangles and colour stay the same, so that a new layout pass over an unchanged table neither
// draws it again nor lays it out again.
[[nodiscard]] platform::ui::AnyView tableFill(std::vector<platform::Rect> rects,
                                              platform::Color color);
// The lines between the cells of a measured table (tableGridGaps) filled in `color`.
[[nodiscard]] platform::ui::AnyView tableGrid(const TableLayout& layout, platform::Color color);

// The complete default look; the environment's defaults are its members.
struct DefaultStyle {
    InlineStyle inlineStyle = InlineStyle::defaultStyle();
    DefaultHeadingStyle headingStyle;
    DefaultParagraphStyle paragraphStyle;
    DefaultBlockQuoteStyle blockQuoteStyle{defaultQuoteBackground(), defaultQuoteBorder()};
    DefaultCodeBlockStyle codeBlockStyle;
    DefaultListItemStyle listItemStyle{FontScaled<double>(0.5)};
    SymbolListMarker unorderedListMarker{"circle.fill", 0.33, FontScaled<double>(1.5)};
    DecimalListMarker orderedListMarker{FontScaled<double>(1.5)};
    DefaultTableStyle tableStyle;
    DefaultTableCellStyle tableCellStyle;
    DividerThematicBreakStyle thematicBreakStyle;
};

} // namespace vellum::structured

#pragma once

// The look of markdown as GitHub renders it: smaller headings with a rule under the two top
// levels, fixed point spacings between blocks, a thin bar for quotes, flat code panels, striped
// tables with an outline and bullets that change shape with depth.

#include "Vellum/style/BlockQuoteStyle.hpp"
#include "Vellum/style/CodeBlockStyle.hpp"
#include "Vellum/style/DecimalListMarker.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/HeadingStyle.hpp"
#include "Vellum/style/HierarchicalSymbolListMarker.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/ParagraphStyle.hpp"
#include "Vellum/style/TableCellStyle.hpp"
#include "Vellum/style/TableStyle.hpp"
#include "Vellum/style/ThematicBreakStyle.hpp"

#include <array>
#include <span>
#include <vector>

namespace vellum::structured {

// Levels beyond six look like six; six and deeper are drawn in the muted colour.
class GitHubHeadingStyle final : public HeadingStyle {
public:
    static constexpr std::array<double, 6> fontScales{2.0, 1.5, 1.25, 1.0, 0.875, 0.85};

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const HeadingStyleConfiguration& configuration) const override;
};

class GitHubParagraphStyle final : public ParagraphStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;
};

class GitHubBlockQuoteStyle final : public BlockQuoteStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;
};

// The panel is the palette's, whatever the highlighter theme; no outline.
class GitHubCodeBlockStyle final : public CodeBlockStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const CodeBlockStyleConfiguration& configuration) const override;
};

class GitHubTableStyle final : public TableStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableStyleConfiguration& configuration) const override;
};

// The head row (row 0) semibold.
class GitHubTableCellStyle final : public TableCellStyle {
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

class GitHubThematicBreakStyle final : public ThematicBreakStyle {
public:
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const override;
};

// The zebra stripes behind a laid-out table: every second body row (row indices 2, 4, ...; row 0
// is the head), each across all the columns and rounded outwards to whole points. None for a table
// of fewer than three rows or with no columns.
[[nodiscard]] std::vector<platform::Rect>
gitHubTableStripes(std::span<const platform::Rect> rows, std::span<const platform::Rect> columns);

// The complete GitHub look. Lists keep the default item layout and numbers; bullets go disc,
// circle, square with depth.
struct GitHubStyle {
    InlineStyle inlineStyle = InlineStyle::gitHub();
    GitHubHeadingStyle headingStyle;
    GitHubParagraphStyle paragraphStyle;
    GitHubBlockQuoteStyle blockQuoteStyle;
    GitHubCodeBlockStyle codeBlockStyle;
    DefaultListItemStyle listItemStyle{FontScaled<double>(0.5)};
    HierarchicalSymbolListMarker unorderedListMarker{
        {SymbolListMarker("circle.fill", 0.33, FontScaled<double>(1.5)),
         SymbolListMarker("circle", 0.33, FontScaled<double>(1.5)),
         SymbolListMarker("square.fill", 0.33, FontScaled<double>(1.5))}};
    DecimalListMarker orderedListMarker{FontScaled<double>(1.5)};
    GitHubTableStyle tableStyle;
    GitHubTableCellStyle tableCellStyle;
    GitHubThematicBreakStyle thematicBreakStyle;
};

} // namespace vellum::structured

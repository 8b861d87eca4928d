#include "Vellum/style/GitHubStyle.hpp"

#include "Vellum/style/GitHubTheme.hpp"
#include "Vellum/style/OverflowContainer.hpp"
#include "Vellum/style/StyleSetModifiers.hpp"
#include "Vellum/text/FontScaledView.hpp"
#include "platform/ui/Containers.hpp"
#include "platform/ui/Shapes.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vellum::structured {

namespace {

using platform::ui::AnyView;
using platform::ui::Edges;
namespace ui = platform::ui;

constexpr double tableOutline = 1;
// Points around a cell's text, left and right, above and below.
constexpr double cellPaddingH = 13;
constexpr double cellPaddingV = 6;
// Em: the quote bar's width, which is also the margin it is drawn in.
constexpr double quoteBarWidth = 0.2;

} // namespace

AnyView GitHubHeadingStyle::makeBody(ui::ViewContext& context,
                                     const HeadingStyleConfiguration& configuration) const {
    // Levels below 1 are not produced by the parser; they get the largest heading.
    const int level = std::clamp(configuration.headingLevel, 1, 6);
    AnyView title = configuration.label.content;
    if (configuration.headingLevel >= 6) {
        title = title.foregroundStyle(gitHubMutedHeading().resolve(context.environment()));
    }
    title = styleset::fontScale(title, fontScales[static_cast<std::size_t>(level - 1)]);
    title = styleset::lineSpacing(title, 0.125);
    title = styleset::blockSpacing(title, BlockSpacing(24, 16));
    title = styleset::fontWeight(title, platform::Font::Weight::semibold());
    // The gap above the rule is resolved against the font outside the heading's scale.
    const platform::Color divider = gitHubHeadingDivider().resolve(context.environment());
    return WithFontScaledValue<double>(
        FontScaled<double>(0.3), [title, level, divider](const double& spacing) {
            std::vector<AnyView> rows{title};
            if (level <= 2) {
                rows.emplace_back(AnyView(ui::Divider()).overlay(AnyView(divider)));
            }
            return ui::VStack(ui::HorizontalAlignment::leading(), spacing, std::move(rows));
        });
}

AnyView GitHubParagraphStyle::makeBody(ui::ViewContext& context,
                                       const BlockStyleConfiguration& configuration) const {
    // The line spacing resolves against the paragraph's own font, read here rather than by a view
    // of its own: a document has hundreds of paragraphs.
    const double lineSpacing =
        FontScaled<double>(0.25).resolve(TextEnvironmentValues(context.environment()));
    // Points, not em: the gap between paragraphs stays the same at any font size.
    return styleset::blockSpacing(configuration.label.content.lineSpacing(lineSpacing),
                                  BlockSpacing(0, 16));
}

AnyView GitHubBlockQuoteStyle::makeBody(ui::ViewContext& context,
                                        const BlockStyleConfiguration& configuration) const {
    const AnyView bar =
        styleset::frame(ui::RoundedRectangle(6, platform::RoundedCornerStyle::continuous)
                            .fill(gitHubBorder().resolve(context.environment())),
                        quoteBarWidth, std::nullopt, ui::Alignment::center());
    const AnyView text = styleset::padding(configuration.label.content.foregroundStyle(
                                               gitHubQuoteText().resolve(context.environment())),
                                           Edges::horizontal(), 1);
    // The bar sits in a leading margin of its own width, behind the text, so that it is offered
    // the text's height and runs the full height of the quote; beside the text in a stack it
    // would only get its own small ideal height.
    return styleset::padding(text, Edges::onlyLeading(), quoteBarWidth)
        .background(bar, ui::Alignment::leading());
}

AnyView GitHubCodeBlockStyle::makeBody(ui::ViewContext& context,
                                       const CodeBlockStyleConfiguration& configuration) const {
    AnyView view = styleset::lineSpacing(configuration.label.content, 0.225);
    view = styleset::fontScale(view, 0.85);
    view = view.fixedSize(false, true);
    view = styleset::monospaced(view);
    view = view.padding(16);
    // Wide code scrolls (or wraps) inside the panel, which keeps the column's width.
    view = overflowContainer([inner = std::move(view)](const OverflowState&) { return inner; });
    view = view.background(AnyView(gitHubSecondaryBackground().resolve(context.environment())))
               .clipShape(ui::RoundedRectangle(6, platform::RoundedCornerStyle::continuous));
    return styleset::blockSpacing(view, BlockSpacing(0, 16));
}

AnyView GitHubTableStyle::makeBody(ui::ViewContext& context,
                                   const TableStyleConfiguration& configuration) const {
    AnyView view = vellum(configuration.label.content).tableCellSpacing(tableOutline, tableOutline);
    view = styleset::blockSpacing(view, BlockSpacing(0, 16));
    const platform::Color stripe = gitHubSecondaryBackground().resolve(context.environment());
    view = vellum(view).tableBackground([stripe](const TableLayout& layout) {
        std::vector<platform::Rect> rows;
        std::vector<platform::Rect> columns;
        for (const int row : layout.rowIndices()) {
            rows.push_back(layout.rowBounds(row));
        }
        for (const int column : layout.columnIndices()) {
            columns.push_back(layout.columnBounds(column));
        }
        return tableFill(gitHubTableStripes(rows, columns), stripe);
    });
    const platform::Color border = gitHubBorder().resolve(context.environment());
    view = vellum(view).tableOverlay(
        [border](const TableLayout& layout) { return tableGrid(layout, border); });
    view = view.padding(tableOutline);
    // A stroked shape keeps its line inside its frame (centred half its width in), so the whole
    // outline lies in the padding; insetting the rectangle again would move it half a point onto
    // the cells and leave half a point blank outside it.
    return view.overlay(ui::Rectangle().stroke(border, tableOutline));
}

AnyView GitHubTableCellStyle::makeBody(ui::ViewContext& context,
                                       const TableCellStyleConfiguration& configuration) const {
    const platform::Font::Weight weight = configuration.row == 0
                                              ? platform::Font::Weight::semibold()
                                              : platform::Font::Weight::regular();
    AnyView view = configuration.label.content;
    if (!configuration.sharedByTable) {
        // Resolved against the cell's own font, read here rather than by a view of its own: a
        // document has thousands of cells.
        view = styleset::fontWeightAndLineSpacing(
            std::move(view), weight,
            FontScaled<double>(0.25).resolve(TextEnvironmentValues(context.environment())));
        return view.padding(
            platform::EdgeInsets(cellPaddingV, cellPaddingH, cellPaddingV, cellPaddingH));
    }
    if (configuration.row == 0) {
        // The table made every cell regular: only the head row says otherwise.
        view = styleset::fontWeightOverTableCells(view, weight);
    }
    // The table's grid keeps the padding (cellPadding).
    return view;
}

TableCellPadding GitHubTableCellStyle::cellPadding(ui::ViewContext& /*context*/) const {
    return {cellPaddingH, cellPaddingV};
}

AnyView GitHubTableCellStyle::makeCells(ui::ViewContext& context, AnyView cells) const {
    return styleset::fontWeightAndLineSpacing(
        std::move(cells), platform::Font::Weight::regular(),
        FontScaled<double>(0.25).resolve(TextEnvironmentValues(context.environment())));
}

AnyView GitHubThematicBreakStyle::makeBody(ui::ViewContext& context,
                                           const BlockStyleConfiguration& /*configuration*/) const {
    const AnyView line = styleset::frame(ui::Divider(), std::nullopt, 0.25, ui::Alignment::center())
                             .overlay(AnyView(gitHubBorder().resolve(context.environment())));
    return styleset::blockSpacing(line, BlockSpacing(24, 24));
}

std::vector<platform::Rect> gitHubTableStripes(std::span<const platform::Rect> rows,
                                               std::span<const platform::Rect> columns) {
    std::vector<platform::Rect> stripes;
    if (columns.empty()) {
        return stripes;
    }
    for (std::size_t row = 2; row < rows.size(); row += 2) {
        platform::Rect stripe = platform::Rect::null();
        for (const platform::Rect& column : columns) {
            stripe = stripe.unionWith(platform::Rect(column.minX(), rows[row].minY(),
                                                     column.width(), rows[row].height()));
        }
        stripes.push_back(stripe.integral());
    }
    return stripes;
}

// The shorthands of the protocols.

std::shared_ptr<const HeadingStyle> HeadingStyle::gitHub() {
    return std::make_shared<const GitHubHeadingStyle>();
}

std::shared_ptr<const ParagraphStyle> ParagraphStyle::gitHub() {
    return std::make_shared<const GitHubParagraphStyle>();
}

std::shared_ptr<const BlockQuoteStyle> BlockQuoteStyle::gitHub() {
    return std::make_shared<const GitHubBlockQuoteStyle>();
}

std::shared_ptr<const CodeBlockStyle> CodeBlockStyle::gitHub() {
    return std::make_shared<const GitHubCodeBlockStyle>();
}

std::shared_ptr<const TableStyle> TableStyle::gitHub() {
    return std::make_shared<const GitHubTableStyle>();
}

std::shared_ptr<const TableCellStyle> TableCellStyle::gitHub() {
    return std::make_shared<const GitHubTableCellStyle>();
}

std::shared_ptr<const ThematicBreakStyle> ThematicBreakStyle::gitHub() {
    return std::make_shared<const GitHubThematicBreakStyle>();
}

} // namespace vellum::structured

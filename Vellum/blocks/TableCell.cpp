#include "Vellum/blocks/TableCell.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/inline/WithInlineStyle.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

namespace ui = platform::ui;

ui::AnyView TableCell::styled(ui::ViewContext& context, const TableCellStyle* style) const {
    if (style == nullptr) {
        return {};
    }
    const ui::AnyView label{StyledTextFragment(platform::AttributedString(content_))};
    TableCellStyleConfiguration configuration;
    configuration.label = ConfigurationContent(label);
    // The lists around the table, as for every other block at its place (quotes do not count).
    configuration.indentationLevel = sharedIndentationLevel(content_);
    configuration.row = identifier_.row;
    configuration.column = identifier_.column;
    configuration.sharedByTable = sharedByTable_;
    return style->makeBody(context, configuration);
}

ui::AnyView TableCell::body(ui::ViewContext& context) const {
    // The style's body stands in the cell's place: one node fewer per cell. Where the cell lies
    // the table's grid reports, as it places the cell.
    return styled(context, tableCellStyle(context.environment()).get());
}

} // namespace vellum::structured

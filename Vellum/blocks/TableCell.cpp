#include "Vellum/blocks/TableCell.hpp"

#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/inline/WithInlineStyle.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "platform/foundation/AttributeScope.hpp"

#include <algorithm>

namespace vellum::structured {

namespace {

namespace ui = platform::ui;
using platform::PresentationIntent;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

// The nesting depth of the intent the whole cell shares (0 when its runs differ or have none):
// the lists and quotes around the table.
int wholeContentIndentationLevel(const platform::AttributedSubstring& content) {
    const PresentationIntent* shared = nullptr;
    for (const platform::AttributedString::Run& run : content.runs()) {
        const PresentationIntent* intent = run.get<IntentAttribute>();
        if (intent == nullptr || (shared != nullptr && !(*shared == *intent))) {
            return 0;
        }
        shared = intent;
    }
    if (shared == nullptr) {
        return 0;
    }
    return static_cast<int>(std::ranges::count_if(shared->components(), [](const auto& component) {
        const PresentationIntent::Kind kind = component.kind();
        return kind == PresentationIntent::Kind::orderedList ||
               kind == PresentationIntent::Kind::unorderedList ||
               kind == PresentationIntent::Kind::blockQuote;
    }));
}

} // namespace

ui::AnyView TableCell::styled(ui::ViewContext& context, const TableCellStyle* style) const {
    if (style == nullptr) {
        return {};
    }
    const ui::AnyView label{StyledTextFragment(platform::AttributedString(content_))};
    TableCellStyleConfiguration configuration;
    configuration.label = ConfigurationContent(label);
    configuration.indentationLevel = wholeContentIndentationLevel(content_);
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

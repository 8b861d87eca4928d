#include "Vellum/blocks/UnorderedList.hpp"

#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/blocks/OrderedList.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

namespace ui = platform::ui;
using ui::AnyView;

namespace {

struct UnorderedListItem {
    std::optional<IntentType> intent;
    platform::AttributedSubstring content;

    AnyView body(ui::ViewContext& context) const {
        const int level = firstRunIndentationLevel(content);
        UnorderedListMarkerConfiguration markerConfiguration;
        markerConfiguration.indentationLevel = level;
        ListItemStyleConfiguration configuration;
        configuration.marker = ConfigurationContent(ResolvedUnorderedListMarker(
            unorderedListMarker(context.environment()), markerConfiguration));
        configuration.block = ConfigurationContent(BlockContent(intent, content));
        configuration.indentationLevel = level;
        // The style's body stands in this view's place: one node fewer.
        const std::shared_ptr<const ListItemStyle> style = listItemStyle(context.environment());
        return style ? style->makeBody(context, configuration) : ui::AnyView();
    }

    friend bool operator==(const UnorderedListItem&, const UnorderedListItem&) = default;
};

} // namespace

AnyView UnorderedList::body(ui::ViewContext& context) const {
    const std::vector<BlockRuns::BlockRun> items = BlockRuns(content_, intent_).elements();
    std::vector<std::pair<ui::ViewID, AnyView>> rows;
    rows.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        rows.emplace_back(static_cast<int>(i),
                          AnyView(UnorderedListItem{items[i].intent, content_[items[i].range]}));
    }
    return withListItemSpacing(BlockVStack(std::move(rows)), context);
}

} // namespace vellum::structured

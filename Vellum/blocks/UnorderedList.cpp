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
    return withListItemSpacing(
        BlockVStack(ui::ForEach::range(
            static_cast<int>(items.size()),
            [&items, content = content_](int index) {
                const BlockRuns::BlockRun& item = items[static_cast<std::size_t>(index)];
                return AnyView(UnorderedListItem{item.intent, content[item.range]});
            })),
        context);
}

} // namespace vellum::structured

#include "Vellum/blocks/OrderedList.hpp"

#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/ListItemSpacing.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

namespace vellum::structured {

namespace ui = platform::ui;
using ui::AnyView;
using Kind = platform::PresentationIntent::Kind;

namespace {

struct OrderedListItem {
    std::optional<IntentType> intent;
    platform::AttributedSubstring content;
    std::optional<double> markerWidth;

    AnyView body(ui::ViewContext& context) const {
        const int level = firstRunIndentationLevel(content);
        // The number as the markdown gave it; the list does not count.
        const int ordinal = intent && intent->kind() == Kind::listItem ? intent->ordinal() : 0;
        OrderedListMarkerConfiguration markerConfiguration;
        markerConfiguration.indentationLevel = level;
        markerConfiguration.ordinal = ordinal;
        // Measured at its natural width (the marker publishes it itself, without a reader in its
        // background), then shown at the list's common width, trailing.
        const AnyView marker =
            ui::detail::transformPreferences(
                AnyView(ResolvedOrderedListMarker(orderedListMarker(context.environment()),
                                                  markerConfiguration)),
                [](ui::PreferenceValues& values, const ui::GeometryProxy& proxy) {
                    values.set<OrderedList::MarkerWidthKey>(proxy.size().width);
                })
                .frame(markerWidth, std::nullopt, ui::Alignment::trailing());

        ListItemStyleConfiguration configuration;
        configuration.marker = ConfigurationContent(marker);
        configuration.block = ConfigurationContent(BlockContent(intent, content));
        configuration.indentationLevel = level;
        // The style's body stands in this view's place: one node fewer.
        const std::shared_ptr<const ListItemStyle> style = listItemStyle(context.environment());
        return style ? style->makeBody(context, configuration) : ui::AnyView();
    }

    friend bool operator==(const OrderedListItem&, const OrderedListItem&) = default;
};

} // namespace

void OrderedList::MarkerWidthKey::reduce(Value& value, Value next) {
    value = maxOfOptionals({value, next});
}

AnyView withListItemSpacing(AnyView stack, ui::ViewContext& context) {
    const BlockSpacing spacing = context.environment<ListItemSpacingKey>().resolve(
        TextEnvironmentValues(context.environment()));
    // Both values in one write of the environment rather than a view each.
    return ui::detail::transformEnvironment(
        std::move(stack), [spacing](ui::EnvironmentValues& environment) {
            environment.set<ResolvedListItemSpacingKey>(spacing);
            environment.set<ListItemSpacingEnabledKey>(true);
        });
}

AnyView OrderedList::body(ui::ViewContext& context) const {
    const ui::State<std::optional<double>> markerWidth =
        context.state<std::optional<double>>(std::nullopt);
    const std::vector<BlockRuns::BlockRun> items = BlockRuns(content_, intent_).elements();
    const AnyView stack =
        AnyView(BlockVStack(ui::ForEach::range(
                    static_cast<int>(items.size()),
                    [&items, content = content_, width = *markerWidth](int index) {
                        const BlockRuns::BlockRun& item = items[static_cast<std::size_t>(index)];
                        return AnyView(OrderedListItem{item.intent, content[item.range], width});
                    })))
            .onPreferenceChange<MarkerWidthKey>(
                [markerWidth](const std::optional<double>& width) { markerWidth.set(width); });
    // The widths go on up: the markers of a list nested in an item take part in the widest
    // marker of every numbered list around it, so that the text of the outer items starts where
    // the nested numbers need it to.
    return withListItemSpacing(stack, context);
}

} // namespace vellum::structured

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

// An item's marker, publishing its natural width (itself, without a reader in its background).
AnyView measuredMarker(ui::ViewContext& context, const std::optional<IntentType>& intent,
                       const platform::AttributedSubstring& content) {
    OrderedListMarkerConfiguration configuration;
    configuration.indentationLevel = firstRunIndentationLevel(content);
    // The number as the markdown gave it; the list does not count.
    configuration.ordinal = intent && intent->kind() == Kind::listItem ? intent->ordinal() : 0;
    return ui::detail::transformPreferences(
        AnyView(ResolvedOrderedListMarker(orderedListMarker(context.environment()), configuration)),
        [](ui::PreferenceValues& values, const ui::GeometryProxy& proxy) {
            values.set<OrderedList::MarkerWidthKey>(proxy.size().width);
        });
}

struct OrderedListItem {
    std::optional<IntentType> intent;
    platform::AttributedSubstring content;
    std::optional<double> markerWidth;

    AnyView body(ui::ViewContext& context) const {
        const int level = firstRunIndentationLevel(content);
        // Measured at its natural width, then shown at the list's common width, trailing.
        const AnyView marker = measuredMarker(context, intent, content)
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
    std::vector<std::pair<ui::ViewID, AnyView>> rows;
    rows.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        rows.emplace_back(
            static_cast<int>(i),
            AnyView(OrderedListItem{items[i].intent, content_[items[i].range], *markerWidth}));
    }
    AnyView stack = AnyView(BlockVStack(std::move(rows)));
    if (items.size() >= lazyBlockCount) {
        // A long list lays out only the items near the screen, and only items placed publish
        // their markers' widths: the last item's marker, the widest in a list numbered on, is
        // measured on its own as well (unseen, and publishing nothing else), so that the first
        // items shown already take the width that the items far below need.
        const BlockRuns::BlockRun& last = items.back();
        stack = stack.background(
            ui::detail::transformPreferences(
                measuredMarker(context, last.intent, content_[last.range]).fixedSize(),
                [](ui::PreferenceValues& values, const ui::GeometryProxy& /*proxy*/) {
                    ui::PreferenceValues widthOnly;
                    widthOnly.set<MarkerWidthKey>(values.get<MarkerWidthKey>());
                    values = std::move(widthOnly);
                })
                .frame(0, 0, ui::Alignment::topLeading())
                .opacity(0),
            ui::Alignment::topLeading());
    }
    stack = std::move(stack).onPreferenceChange<MarkerWidthKey>(
        [markerWidth](const std::optional<double>& width) { markerWidth.set(width); });
    // The widths go on up: the markers of a list nested in an item take part in the widest
    // marker of every numbered list around it, so that the text of the outer items starts where
    // the nested numbers need it to.
    return withListItemSpacing(stack, context);
}

} // namespace vellum::structured

#include "Vellum/blocks/OrderedList.hpp"

#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/markdown/BlockRuns.hpp"
#include "Vellum/style/ListItemSpacing.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/CharacterWidths.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/ui/Containers.hpp"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace vellum::structured {

namespace ui = platform::ui;
using ui::AnyView;
using Kind = platform::PresentationIntent::Kind;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

namespace {

OrderedListMarkerConfiguration markerConfiguration(const std::optional<IntentType>& intent,
                                                   const platform::AttributedSubstring& content) {
    OrderedListMarkerConfiguration configuration;
    configuration.indentationLevel = firstRunIndentationLevel(content);
    // The number as the markdown gave it; the list does not count.
    configuration.ordinal = intent && intent->kind() == Kind::listItem ? intent->ordinal() : 0;
    return configuration;
}

// An item's marker, publishing its natural width (itself, without a reader in its background).
AnyView measuredMarker(ui::ViewContext& context,
                       const OrderedListMarkerConfiguration& configuration) {
    return ui::detail::transformPreferences(
        AnyView(ResolvedOrderedListMarker(orderedListMarker(context.environment()), configuration)),
        [](ui::PreferenceValues& values, const ui::GeometryProxy& proxy) {
            values.set<OrderedList::MarkerWidthKey>(proxy.size().width);
        });
}

// The markers of every item of the list `list` holding `content`, and of every numbered list
// nested in its items, as the markdown numbers them: read from the text, none laid out.
std::vector<OrderedListMarkerConfiguration> allMarkers(const platform::AttributedSubstring& content,
                                                       const IntentType& list) {
    std::vector<OrderedListMarkerConfiguration> markers;
    std::unordered_set<int> seen;
    const platform::PresentationIntent* previous = nullptr;
    for (const platform::AttributedString::Run& run : content.runs()) {
        const platform::PresentationIntent* intent = run.get<IntentAttribute>();
        // The runs of one paragraph share its intent.
        if (intent == nullptr || (previous != nullptr && *intent == *previous)) {
            continue;
        }
        previous = intent;
        const std::vector<IntentType>& components = intent->components(); // innermost first
        const auto self = std::find(components.begin(), components.end(), list);
        for (auto item = components.begin(); item < self; ++item) {
            if (item->kind() == Kind::listItem && item + 1 != components.end() &&
                (item + 1)->kind() == Kind::orderedList && seen.insert(item->identity()).second) {
                // An item's first run is the first seen of it: its level is the item's.
                markers.push_back({indentationLevel(*intent), item->ordinal()});
            }
        }
    }
    return markers;
}

// Of `markers`, those that may be the widest at their indentation level, ranked by the widths of
// their texts; none when the marker style shows no text.
std::optional<std::vector<OrderedListMarkerConfiguration>>
widestMarkers(ui::ViewContext& context, const OrderedListMarker& style,
              const std::vector<OrderedListMarkerConfiguration>& markers) {
    const platform::Font base = context.environment().font().value_or(platform::Font::body());
    std::vector<std::pair<platform::Font, CharacterWidths>> fonts;
    const auto widthsIn = [&fonts](const platform::Font& font) -> CharacterWidths& {
        for (auto& [known, widths] : fonts) {
            if (known == font) {
                return widths;
            }
        }
        return fonts.emplace_back(font, CharacterWidths(font)).second;
    };
    struct Ranked {
        double width = 0;
        std::size_t marker = 0;
        std::string text;
    };
    std::map<int, std::vector<Ranked>> levels;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const std::optional<ui::Text> text = style.markerText(context, markers[i]);
        if (!text) {
            return std::nullopt;
        }
        double width = 0;
        for (const ui::Text::Run& run : text->runs()) {
            platform::Font font = run.attributes->font.value_or(base);
            font = run.bold ? font.bold() : font;
            font = run.italic ? font.italic() : font;
            width += widthsIn(font).width(run.text);
        }
        levels[markers[i].indentationLevel].push_back({width, i, text->string()});
    }
    // Within a little of the widest, as kerning may rank them otherwise; a few texts at most.
    constexpr std::size_t kept = 8;
    std::vector<OrderedListMarkerConfiguration> widest;
    for (auto& [level, ranked] : levels) {
        std::sort(ranked.begin(), ranked.end(),
                  [](const Ranked& a, const Ranked& b) { return a.width > b.width; });
        const double least = ranked.front().width - std::max(2.0, 0.05 * ranked.front().width);
        std::unordered_set<std::string> texts;
        for (const Ranked& marker : ranked) {
            if (marker.width < least || texts.size() == kept) {
                break;
            }
            if (texts.insert(marker.text).second) {
                widest.push_back(markers[marker.marker]);
            }
        }
    }
    return widest;
}

// A marker measured unseen, publishing its width and nothing else.
AnyView hiddenMarker(ui::ViewContext& context,
                     const OrderedListMarkerConfiguration& configuration) {
    return ui::detail::transformPreferences(
               measuredMarker(context, configuration).fixedSize(),
               [](ui::PreferenceValues& values, const ui::GeometryProxy& /*proxy*/) {
                   ui::PreferenceValues widthOnly;
                   widthOnly.set<OrderedList::MarkerWidthKey>(
                       values.get<OrderedList::MarkerWidthKey>());
                   values = std::move(widthOnly);
               })
        .frame(0, 0, ui::Alignment::topLeading())
        .opacity(0);
}

struct OrderedListItem {
    std::optional<IntentType> intent;
    platform::AttributedSubstring content;
    std::optional<double> markerWidth;

    AnyView body(ui::ViewContext& context) const {
        const int level = firstRunIndentationLevel(content);
        // Measured at its natural width, then shown at the list's common width, trailing.
        const AnyView marker = measuredMarker(context, markerConfiguration(intent, content))
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
    if (items.size() >= lazyBlockCount && context.environment<InLazyDocumentKey>()) {
        // A long list lays out only the items near the screen, and only items placed publish
        // their markers' widths: the widest markers of all its items, and of the numbered lists
        // nested in them, found from their texts, are measured on their own as well (unseen,
        // and publishing nothing else), so that the first items shown already take the width
        // that the items far below need. A marker style that shows no text has its last item's
        // marker measured, the widest in a list numbered on.
        const BlockRuns::BlockRun& last = items.back();
        std::optional<std::vector<OrderedListMarkerConfiguration>> widest;
        if (intent_) {
            widest = widestMarkers(context, *orderedListMarker(context.environment()),
                                   allMarkers(content_, *intent_));
        }
        if (!widest) {
            widest = {markerConfiguration(last.intent, content_[last.range])};
        }
        std::vector<AnyView> hidden;
        hidden.reserve(widest->size());
        for (const OrderedListMarkerConfiguration& configuration : *widest) {
            hidden.push_back(hiddenMarker(context, configuration));
        }
        stack = stack.background(AnyView(ui::ZStack(ui::Alignment::topLeading(), std::move(hidden)))
                                     .frame(0, 0, ui::Alignment::topLeading()),
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

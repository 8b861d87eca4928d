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
    std::vector<double> widths(markers.size(), 0);
    std::map<int, double> widestOfLevel;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const std::optional<ui::Text> text = style.markerText(context, markers[i]);
        if (!text) {
            return std::nullopt;
        }
        for (const ui::Text::Run& run : text->runs()) {
            const platform::Font& font = run.attributes->font ? *run.attributes->font : base;
            if (run.bold || run.italic) {
                const platform::Font bold = run.bold ? font.bold() : font;
                widths[i] += widthsIn(run.italic ? bold.italic() : bold).width(run.text);
            } else {
                widths[i] += widthsIn(font).width(run.text);
            }
        }
        double& widest = widestOfLevel[markers[i].indentationLevel];
        widest = std::max(widest, widths[i]);
    }
    // Within a little of the widest, as kerning may rank them otherwise; a few texts at most.
    std::vector<std::size_t> near;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const double widest = widestOfLevel[markers[i].indentationLevel];
        if (widths[i] >= widest - std::max(2.0, 0.05 * widest)) {
            near.push_back(i);
        }
    }
    std::stable_sort(near.begin(), near.end(),
                     [&widths](std::size_t a, std::size_t b) { return widths[a] > widths[b]; });
    constexpr std::size_t kept = 8;
    std::map<int, std::unordered_set<std::string>> texts;
    std::vector<OrderedListMarkerConfiguration> widest;
    for (const std::size_t i : near) {
        std::unordered_set<std::string>& level = texts[markers[i].indentationLevel];
        if (level.size() < kept &&
            level.insert(style.markerText(context, markers[i])->string()).second) {
            widest.push_back(markers[i]);
        }
    }
    return widest;
}

// The widest markers found for a list's text with a marker style and a font, kept with the list's
// identity: the list's body is made again when the width they publish arrives.
struct WidestMarkers {
    std::optional<platform::AttributedSubstring> content;
    std::shared_ptr<const OrderedListMarker> style;
    std::optional<platform::Font> font;
    std::optional<std::vector<OrderedListMarkerConfiguration>> widest;

    const std::optional<std::vector<OrderedListMarkerConfiguration>>&
    of(ui::ViewContext& context, const platform::AttributedSubstring& list,
       const IntentType& intent) {
        std::shared_ptr<const OrderedListMarker> now = orderedListMarker(context.environment());
        std::optional<platform::Font> nowFont = context.environment().font();
        if (!content || !sameContent(*content, list) || style != now || font != nowFont) {
            widest = widestMarkers(context, *now, allMarkers(list, intent));
            content = list;
            style = std::move(now);
            font = std::move(nowFont);
        }
        return widest;
    }
};

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
    const std::shared_ptr<WidestMarkers> widestMarkers =
        context.stateObject<WidestMarkers>([] { return std::make_shared<WidestMarkers>(); });
    const std::vector<BlockRuns::BlockRun> items = BlockRuns(content_, intent_).elements();
    std::vector<std::pair<ui::ViewID, AnyView>> rows;
    rows.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        rows.emplace_back(
            static_cast<int>(i),
            AnyView(OrderedListItem{items[i].intent, content_[items[i].range], *markerWidth}));
    }
    AnyView stack = AnyView(BlockVStack(std::move(rows)));
    if (context.environment<InLazyDocumentKey>() &&
        (items.size() >= lazyBlockCount || content_.runs().size() >= lazyBlockCount)) {
        // A long list lays out only the items near the screen (as does a long list nested in a
        // short one), and only items placed publish their markers' widths: the widest markers of
        // all its items, and of the numbered lists nested in them, found from their texts, are
        // measured on their own as well (unseen, and publishing nothing else), so that the first
        // items shown already take the width that the items far below need. A marker style that
        // shows no text has its last item's marker measured, the widest in a list numbered on.
        const BlockRuns::BlockRun& last = items.back();
        std::optional<std::vector<OrderedListMarkerConfiguration>> widest;
        if (intent_) {
            widest = widestMarkers->of(context, content_, *intent_);
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

#include "Vellum/style/MapOrdinalListMarker.hpp"

#include "Vellum/style/ListMarkerFrame.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "platform/ui/Text.hpp"

namespace vellum::structured {

std::optional<platform::ui::Text>
MapOrdinalListMarker::markerText(platform::ui::ViewContext& /*context*/,
                                 const OrderedListMarkerConfiguration& configuration) const {
    // A marker built without a function still numbers its items.
    const std::string number =
        transform ? transform(configuration.ordinal) : decimalOrdinal(configuration.ordinal);
    return platform::ui::Text(number + ".");
}

platform::ui::AnyView
MapOrdinalListMarker::makeBody(platform::ui::ViewContext& context,
                               const OrderedListMarkerConfiguration& configuration) const {
    return listMarkerFrame(*markerText(context, configuration), minWidth);
}

} // namespace vellum::structured

namespace vellum::structured {

std::shared_ptr<const OrderedListMarker> OrderedListMarker::upperRoman() {
    return std::make_shared<const MapOrdinalListMarker>(FontScaled<double>(1.5), upperRomanOrdinal);
}

std::shared_ptr<const OrderedListMarker> OrderedListMarker::lowerRoman() {
    return std::make_shared<const MapOrdinalListMarker>(FontScaled<double>(1.5), lowerRomanOrdinal);
}

std::shared_ptr<const OrderedListMarker> OrderedListMarker::upperAlpha() {
    return std::make_shared<const MapOrdinalListMarker>(FontScaled<double>(1.5), upperAlphaOrdinal);
}

std::shared_ptr<const OrderedListMarker> OrderedListMarker::lowerAlpha() {
    return std::make_shared<const MapOrdinalListMarker>(FontScaled<double>(1.5), lowerAlphaOrdinal);
}

} // namespace vellum::structured

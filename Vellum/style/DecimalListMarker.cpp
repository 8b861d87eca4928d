#include "Vellum/style/DecimalListMarker.hpp"

#include "Vellum/style/ListMarkerFrame.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/Text.hpp"

namespace vellum::structured {

std::optional<platform::ui::Text>
DecimalListMarker::markerText(platform::ui::ViewContext& context,
                              const OrderedListMarkerConfiguration& configuration) const {
    const platform::Font font = context.environment().font().value_or(platform::Font::body());
    return platform::ui::Text(decimalOrdinal(configuration.ordinal) + ".")
        .font(font.monospacedDigit());
}

platform::ui::AnyView
DecimalListMarker::makeBody(platform::ui::ViewContext& context,
                            const OrderedListMarkerConfiguration& configuration) const {
    return listMarkerFrame(*markerText(context, configuration), minWidth,
                           TextEnvironmentValues(context.environment()));
}

} // namespace vellum::structured

namespace vellum::structured {

std::shared_ptr<const OrderedListMarker> OrderedListMarker::decimal() {
    return std::make_shared<const DecimalListMarker>(FontScaled<double>(1.5));
}

} // namespace vellum::structured

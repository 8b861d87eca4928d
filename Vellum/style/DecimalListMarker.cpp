#include "Vellum/style/DecimalListMarker.hpp"

#include "Vellum/style/ListMarkerFrame.hpp"
#include "Vellum/style/Ordinal.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/Text.hpp"

namespace vellum::structured {

platform::ui::AnyView
DecimalListMarker::makeBody(platform::ui::ViewContext& context,
                            const OrderedListMarkerConfiguration& configuration) const {
    const TextEnvironmentValues environment(context.environment());
    const platform::Font font = environment.font.value_or(platform::Font::body());
    const platform::ui::Text text = platform::ui::Text(decimalOrdinal(configuration.ordinal) + ".")
                                        .font(font.monospacedDigit());
    return listMarkerFrame(text, minWidth, environment);
}

} // namespace vellum::structured

namespace vellum::structured {

std::shared_ptr<const OrderedListMarker> OrderedListMarker::decimal() {
    return std::make_shared<const DecimalListMarker>(FontScaled<double>(1.5));
}

} // namespace vellum::structured

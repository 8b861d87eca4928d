#include "Vellum/style/ListMarkerFrame.hpp"

#include "Vellum/style/VellumNamespace.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <utility>

namespace vellum::structured {

platform::ui::AnyView listMarkerFrame(platform::ui::AnyView marker, FontScaled<double> minWidth) {
    return vellum(std::move(marker)).frameMinWidth(minWidth, platform::ui::Alignment::trailing());
}

platform::ui::AnyView listMarkerFrame(platform::ui::AnyView marker, FontScaled<double> minWidth,
                                      const TextEnvironmentValues& environment) {
    platform::ui::FlexibleFrame frame;
    frame.minWidth = minWidth.resolve(environment);
    frame.alignment = platform::ui::Alignment::trailing();
    return marker.frame(frame);
}

} // namespace vellum::structured

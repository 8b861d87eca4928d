#include "Vellum/style/ListMarkerFrame.hpp"

#include "Vellum/style/VellumNamespace.hpp"

#include <utility>

namespace vellum::structured {

platform::ui::AnyView listMarkerFrame(platform::ui::AnyView marker, FontScaled<double> minWidth) {
    return vellum(std::move(marker)).frameMinWidth(minWidth, platform::ui::Alignment::trailing());
}

} // namespace vellum::structured

#include "Vellum/style/DashListMarker.hpp"

#include "Vellum/style/ListMarkerFrame.hpp"
#include "platform/ui/Text.hpp"

namespace vellum::structured {

platform::ui::AnyView
DashListMarker::makeBody(platform::ui::ViewContext& /*context*/,
                         const UnorderedListMarkerConfiguration& /*configuration*/) const {
    return listMarkerFrame(platform::ui::Text("-"), minWidth);
}

std::shared_ptr<const UnorderedListMarker> UnorderedListMarker::dash() {
    return std::make_shared<const DashListMarker>(FontScaled<double>(1.5));
}

} // namespace vellum::structured

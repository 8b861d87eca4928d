#pragma once

// A hyphen as the bullet of every unordered list item.

#include "Vellum/style/UnorderedListMarker.hpp"
#include "Vellum/text/FontScaled.hpp"

namespace vellum::structured {

class DashListMarker final : public UnorderedListMarker {
public:
    explicit DashListMarker(FontScaled<double> minWidth_)
        : minWidth(minWidth_) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const UnorderedListMarkerConfiguration& configuration) const override;

    FontScaled<double> minWidth;
};

} // namespace vellum::structured

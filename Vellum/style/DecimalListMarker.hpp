#pragma once

// Ordered-list markers in decimal digits followed by a full stop: "7.". Digits are set with
// equal widths, so markers with the same number of digits are the same width.

#include "Vellum/style/OrderedListMarker.hpp"
#include "Vellum/text/FontScaled.hpp"

namespace vellum::structured {

class DecimalListMarker final : public OrderedListMarker {
public:
    explicit DecimalListMarker(FontScaled<double> minWidth_)
        : minWidth(minWidth_) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const OrderedListMarkerConfiguration& configuration) const override;
    [[nodiscard]] std::optional<platform::ui::Text>
    markerText(platform::ui::ViewContext& context,
               const OrderedListMarkerConfiguration& configuration) const override;

    FontScaled<double> minWidth;
};

} // namespace vellum::structured

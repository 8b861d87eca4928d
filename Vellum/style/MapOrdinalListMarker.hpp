#pragma once

// Ordered-list markers whose number is written by a function (Roman numerals, letters, ...)
// followed by a full stop: "xiv.", "c.".

#include "Vellum/style/OrderedListMarker.hpp"
#include "Vellum/text/FontScaled.hpp"

#include <cstdint>
#include <functional>
#include <string>

namespace vellum::structured {

class MapOrdinalListMarker final : public OrderedListMarker {
public:
    using Transform = std::function<std::string(std::int64_t)>;

    MapOrdinalListMarker(FontScaled<double> minWidth_, Transform transform_)
        : minWidth(minWidth_)
        , transform(std::move(transform_)) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const OrderedListMarkerConfiguration& configuration) const override;
    [[nodiscard]] std::optional<platform::ui::Text>
    markerText(platform::ui::ViewContext& context,
               const OrderedListMarkerConfiguration& configuration) const override;

    FontScaled<double> minWidth;
    Transform transform;
};

} // namespace vellum::structured

#pragma once

// The look of the number of an ordered list item. A style is a stateless value: the block view
// hands it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/View.hpp"

#include <memory>
#include <optional>

namespace vellum::structured {

class OrderedListMarker {
public:
    virtual ~OrderedListMarker() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const OrderedListMarkerConfiguration& configuration) const = 0;

    // The text the marker shows, for a marker whose width follows from that text alone (a wider
    // text, a wider marker): a long list reads it for every item, those of the lists nested in
    // it included, to find its widest markers without laying its items out. None for a marker
    // that shows something else; a long list then measures its last item's marker beside those
    // laid out.
    [[nodiscard]] virtual std::optional<platform::ui::Text>
    markerText(platform::ui::ViewContext& /*context*/,
               const OrderedListMarkerConfiguration& /*configuration*/) const {
        return std::nullopt;
    }

    // The built-in styles, by the names call sites use.
    // At least 1.5 em wide.
    [[nodiscard]] static std::shared_ptr<const OrderedListMarker> decimal();
    [[nodiscard]] static std::shared_ptr<const OrderedListMarker> upperRoman();
    [[nodiscard]] static std::shared_ptr<const OrderedListMarker> lowerRoman();
    [[nodiscard]] static std::shared_ptr<const OrderedListMarker> upperAlpha();
    [[nodiscard]] static std::shared_ptr<const OrderedListMarker> lowerAlpha();

protected:
    OrderedListMarker() = default;
    OrderedListMarker(const OrderedListMarker&) = default;
    OrderedListMarker(OrderedListMarker&&) = default;
    OrderedListMarker& operator=(const OrderedListMarker&) = default;
    OrderedListMarker& operator=(OrderedListMarker&&) = default;
};

// Any ordered-list marker style, as the environment holds it.
using AnyOrderedListMarker = std::shared_ptr<const OrderedListMarker>;

} // namespace vellum::structured

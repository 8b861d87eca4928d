#pragma once

// The look of the number of an ordered list item. A style is a stateless value: the block view
// hands it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class OrderedListMarker {
public:
    virtual ~OrderedListMarker() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const OrderedListMarkerConfiguration& configuration) const = 0;

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

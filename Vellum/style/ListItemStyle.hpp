#pragma once

// The look of one item of an ordered or unordered list: its marker beside its content. A style is a
// stateless value: the block view hands it a configuration and shows the view it builds. It may
// read the environment and keep per-identity state through the context, as if it were the showing
// view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "Vellum/text/FontScaled.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class ListItemStyle {
public:
    virtual ~ListItemStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const ListItemStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    // Marker spacing 0.5 em.
    [[nodiscard]] static std::shared_ptr<const ListItemStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const ListItemStyle>
    defaultStyle(FontScaled<double> markerSpacing);

protected:
    ListItemStyle() = default;
    ListItemStyle(const ListItemStyle&) = default;
    ListItemStyle(ListItemStyle&&) = default;
    ListItemStyle& operator=(const ListItemStyle&) = default;
    ListItemStyle& operator=(ListItemStyle&&) = default;
};

// Any list item style, as the environment holds it.
using AnyListItemStyle = std::shared_ptr<const ListItemStyle>;

} // namespace vellum::structured

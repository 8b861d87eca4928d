#pragma once

// The look of a table around its grid of cells. A style is a stateless value: the block view hands
// it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class TableStyle {
public:
    virtual ~TableStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const TableStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    [[nodiscard]] static std::shared_ptr<const TableStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const TableStyle> gitHub();
    // Scrolls sideways when wider than its container.
    [[nodiscard]] static std::shared_ptr<const TableStyle> overflow(double relativeWidth = 1.5);

protected:
    TableStyle() = default;
    TableStyle(const TableStyle&) = default;
    TableStyle(TableStyle&&) = default;
    TableStyle& operator=(const TableStyle&) = default;
    TableStyle& operator=(TableStyle&&) = default;
};

// Any table style, as the environment holds it.
using AnyTableStyle = std::shared_ptr<const TableStyle>;

} // namespace vellum::structured

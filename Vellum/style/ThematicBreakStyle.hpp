#pragma once

// The look of a thematic break. A style is a stateless value: the block view hands it a
// configuration and shows the view it builds. It may read the environment and keep per-identity
// state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class ThematicBreakStyle {
public:
    virtual ~ThematicBreakStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    // A divider line.
    [[nodiscard]] static std::shared_ptr<const ThematicBreakStyle> divider();
    [[nodiscard]] static std::shared_ptr<const ThematicBreakStyle> gitHub();

protected:
    ThematicBreakStyle() = default;
    ThematicBreakStyle(const ThematicBreakStyle&) = default;
    ThematicBreakStyle(ThematicBreakStyle&&) = default;
    ThematicBreakStyle& operator=(const ThematicBreakStyle&) = default;
    ThematicBreakStyle& operator=(ThematicBreakStyle&&) = default;
};

// Any thematic break style, as the environment holds it.
using AnyThematicBreakStyle = std::shared_ptr<const ThematicBreakStyle>;

} // namespace vellum::structured

#pragma once

// The look of a heading. A style is a stateless value: the block view hands it a configuration and
// shows the view it builds. It may read the environment and keep per-identity state through the
// context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class HeadingStyle {
public:
    virtual ~HeadingStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const HeadingStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    // The default heading style.
    [[nodiscard]] static std::shared_ptr<const HeadingStyle> defaultStyle();
    // The GitHub heading style.
    [[nodiscard]] static std::shared_ptr<const HeadingStyle> gitHub();

protected:
    HeadingStyle() = default;
    HeadingStyle(const HeadingStyle&) = default;
    HeadingStyle(HeadingStyle&&) = default;
    HeadingStyle& operator=(const HeadingStyle&) = default;
    HeadingStyle& operator=(HeadingStyle&&) = default;
};

// Any heading style, as the environment holds it.
using AnyHeadingStyle = std::shared_ptr<const HeadingStyle>;

} // namespace vellum::structured

#pragma once

// A thematic break, in the look of the environment's thematic break style (which usually draws a
// rule and ignores the label).

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

namespace vellum::structured {

class ThematicBreak {
public:
    explicit ThematicBreak(platform::AttributedSubstring content)
        : content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const ThematicBreak&, const ThematicBreak&) = default;

private:
    platform::AttributedSubstring content_;
};

} // namespace vellum::structured

#pragma once

// Scales the font of everything inside a view by a factor of the font around it (the body font
// when none is set). The factor stays part of the font's description, so modifiers nested inside
// each other compound: 0.5 inside 0.5 sets a quarter of the size.

#include "platform/ui/View.hpp"

namespace vellum {

struct FontScaleModifier {
    double scale = 1;

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const FontScaleModifier&, const FontScaleModifier&) = default;
};

} // namespace vellum

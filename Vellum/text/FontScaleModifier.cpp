#include "Vellum/text/FontScaleModifier.hpp"

#include "Vellum/text/TextEnvironmentValues.hpp"

namespace vellum {

platform::ui::AnyView FontScaleModifier::body(platform::ui::ViewContext& context,
                                              platform::ui::AnyView content) const {
    const TextEnvironmentValues environment(context.environment());
    const platform::Font font = environment.font.value_or(platform::Font::body());
    // A factor of one writes the font unchanged: an extra scale node would make an equal-sized
    // font that compares unequal, and every text below would be laid out again for nothing.
    return content.font(scale == 1.0 ? font : font.scaled(scale));
}

} // namespace vellum

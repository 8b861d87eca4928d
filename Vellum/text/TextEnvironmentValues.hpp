#pragma once

// A snapshot of the environment values text styling depends on. Styles, colours, text properties
// and em-based lengths are resolved outside view bodies, against this plain value; views take it
// from their environment and hand it down.

#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "Vellum/text/EmojiProperties.hpp"
#include "Vellum/text/MathProperties.hpp"
#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <functional>
#include <optional>

namespace vellum {

struct TextEnvironmentValues {
    // Absent when no font was set; users fall back to the body font themselves.
    std::optional<platform::Font> font;
    platform::ui::DynamicTypeSize dynamicTypeSize = platform::ui::DynamicTypeSize::large;
    std::optional<platform::ui::LegibilityWeight> legibilityWeight;
    EmojiProperties emojiProperties = EmojiProperties::defaultValue();
    MathProperties mathProperties = MathProperties::defaultValue();
    platform::ColorScheme colorScheme = platform::ColorScheme::light;
    platform::ColorSchemeContrast colorSchemeContrast = platform::ColorSchemeContrast::standard;

    // The values of an environment with nothing written.
    TextEnvironmentValues() = default;
    explicit TextEnvironmentValues(const platform::ui::EnvironmentValues& environment);

    [[nodiscard]] ColorEnvironmentValues colorEnvironment() const {
        return {colorScheme, colorSchemeContrast};
    }

    friend bool operator==(const TextEnvironmentValues&, const TextEnvironmentValues&) = default;
};

// The snapshot of `environment`, made afresh on each call.
[[nodiscard]] inline TextEnvironmentValues
textEnvironment(const platform::ui::EnvironmentValues& environment) {
    return TextEnvironmentValues(environment);
}
[[nodiscard]] inline ColorEnvironmentValues
colorEnvironment(const platform::ui::EnvironmentValues& environment) {
    return ColorEnvironmentValues(environment);
}

} // namespace vellum

template <>
struct std::hash<vellum::TextEnvironmentValues> {
    std::size_t operator()(const vellum::TextEnvironmentValues& values) const noexcept;
};

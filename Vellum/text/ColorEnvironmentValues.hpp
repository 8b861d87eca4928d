#pragma once

// The two environment values colours resolve against: the colour scheme and its contrast.

#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <functional>

namespace vellum {

struct ColorEnvironmentValues {
    platform::ColorScheme colorScheme = platform::ColorScheme::light;
    platform::ColorSchemeContrast colorSchemeContrast = platform::ColorSchemeContrast::standard;

    ColorEnvironmentValues() = default;
    ColorEnvironmentValues(platform::ColorScheme scheme, platform::ColorSchemeContrast contrast)
        : colorScheme(scheme)
        , colorSchemeContrast(contrast) {}
    explicit ColorEnvironmentValues(const platform::ui::EnvironmentValues& environment)
        : colorScheme(environment.colorScheme())
        , colorSchemeContrast(environment.colorSchemeContrast()) {}

    friend bool operator==(const ColorEnvironmentValues&, const ColorEnvironmentValues&) = default;
};

// The appearance that named images and system colours are resolved in for these values.
[[nodiscard]] inline platform::Appearance
appearanceForColorEnvironment(const ColorEnvironmentValues& environment) {
    return {environment.colorScheme, environment.colorSchemeContrast};
}

} // namespace vellum

template <>
struct std::hash<vellum::ColorEnvironmentValues> {
    std::size_t operator()(const vellum::ColorEnvironmentValues& values) const noexcept {
        return static_cast<std::size_t>(values.colorScheme) * 31 +
               static_cast<std::size_t>(values.colorSchemeContrast);
    }
};

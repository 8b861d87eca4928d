#pragma once

// A colour with variants for colour schemes and contrasts. Resolution picks, among the variants
// that fit an environment, the most specific one (a variant naming both scheme and contrast beats
// one naming either, which beats one naming neither); on a tie the earlier variant wins.

#include "Vellum/text/ColorEnvironmentValues.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vellum {

class DynamicColor {
public:
    struct Variant {
        // Absent: any scheme, any contrast.
        std::optional<platform::ColorScheme> colorScheme;
        std::optional<platform::ColorSchemeContrast> colorSchemeContrast;
        platform::Color color;
        friend bool operator==(const Variant&, const Variant&) = default;
    };

    // One colour for every environment.
    DynamicColor(platform::Color color); // NOLINT: implicit, a plain colour is a dynamic colour
    // The increased-contrast colours are optional; without them an increased-contrast environment
    // takes the plain light or dark colour.
    DynamicColor(platform::Color light, platform::Color dark,
                 std::optional<platform::Color> highContrastLight = std::nullopt,
                 std::optional<platform::Color> highContrastDark = std::nullopt);
    explicit DynamicColor(std::vector<Variant> variants)
        : variants_(std::move(variants)) {}

    [[nodiscard]] const std::vector<Variant>& variants() const { return variants_; }

    // Nothing when no variant fits.
    [[nodiscard]] std::optional<platform::Color> resolve(const ColorEnvironmentValues& env) const;
    // As a fill or foreground style: clear when no variant fits.
    [[nodiscard]] platform::Color resolve(const platform::ui::EnvironmentValues& env) const;

    friend bool operator==(const DynamicColor&, const DynamicColor&) = default;
    [[nodiscard]] std::size_t hash() const noexcept;

private:
    std::vector<Variant> variants_;
};

[[nodiscard]] std::optional<platform::Color>
resolveDynamicColor(const ColorEnvironmentValues& environment,
                    std::span<const DynamicColor::Variant> variants);

} // namespace vellum

template <>
struct std::hash<vellum::DynamicColor> {
    std::size_t operator()(const vellum::DynamicColor& color) const noexcept {
        return color.hash();
    }
};

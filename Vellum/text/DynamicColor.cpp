#include "Vellum/text/DynamicColor.hpp"

#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

namespace vellum {

namespace {

int specificity(const DynamicColor::Variant& variant) {
    return (variant.colorScheme ? 1 : 0) + (variant.colorSchemeContrast ? 1 : 0);
}

bool fits(const DynamicColor::Variant& variant, const ColorEnvironmentValues& environment) {
    return (!variant.colorScheme || *variant.colorScheme == environment.colorScheme) &&
           (!variant.colorSchemeContrast ||
            *variant.colorSchemeContrast == environment.colorSchemeContrast);
}

} // namespace

DynamicColor::DynamicColor(platform::Color color)
    : variants_{Variant{std::nullopt, std::nullopt, color}} {}

DynamicColor::DynamicColor(platform::Color light, platform::Color dark,
                           std::optional<platform::Color> highContrastLight,
                           std::optional<platform::Color> highContrastDark) {
    using platform::ColorScheme;
    using platform::ColorSchemeContrast;
    variants_.push_back({ColorScheme::light, std::nullopt, light});
    variants_.push_back({ColorScheme::dark, std::nullopt, dark});
    if (highContrastLight) {
        variants_.push_back(
            {ColorScheme::light, ColorSchemeContrast::increased, *highContrastLight});
    }
    if (highContrastDark) {
        variants_.push_back({ColorScheme::dark, ColorSchemeContrast::increased, *highContrastDark});
    }
}

std::optional<platform::Color>
resolveDynamicColor(const ColorEnvironmentValues& environment,
                    std::span<const DynamicColor::Variant> variants) {
    const DynamicColor::Variant* choice = nullptr;
    for (const DynamicColor::Variant& variant : variants) {
        if (!fits(variant, environment)) {
            continue;
        }
        // Only a strictly more specific variant replaces the choice: ties keep the earlier one.
        if (choice == nullptr || specificity(variant) > specificity(*choice)) {
            choice = &variant;
        }
    }
    if (choice == nullptr) {
        return std::nullopt;
    }
    return choice->color;
}

std::optional<platform::Color> DynamicColor::resolve(const ColorEnvironmentValues& env) const {
    return resolveDynamicColor(env, variants_);
}

platform::Color DynamicColor::resolve(const platform::ui::EnvironmentValues& env) const {
    return resolve(ColorEnvironmentValues(env)).value_or(platform::Color::clear());
}

std::size_t DynamicColor::hash() const noexcept {
    std::size_t seed = 0;
    detail::hashCombine(seed, variants_.size());
    for (const Variant& variant : variants_) {
        detail::hashCombine(seed, variant.colorScheme ? 1 : 0);
        if (variant.colorScheme) {
            detail::hashCombine(seed, static_cast<std::size_t>(*variant.colorScheme));
        }
        detail::hashCombine(seed, variant.colorSchemeContrast ? 1 : 0);
        if (variant.colorSchemeContrast) {
            detail::hashCombine(seed, static_cast<std::size_t>(*variant.colorSchemeContrast));
        }
        detail::hashValue(seed, variant.color);
    }
    return seed;
}

} // namespace vellum

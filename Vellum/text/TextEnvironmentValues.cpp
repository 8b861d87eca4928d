#include "Vellum/text/TextEnvironmentValues.hpp"

#include "Vellum/text/FontProviderCache.hpp"

namespace vellum {

TextEnvironmentValues::TextEnvironmentValues(const platform::ui::EnvironmentValues& environment)
    : font(environment.font())
    , dynamicTypeSize(environment.get<platform::ui::DynamicTypeSizeKey>())
    , legibilityWeight(environment.get<platform::ui::LegibilityWeightKey>())
    , emojiProperties(environment.get<EmojiPropertiesKey>())
    , mathProperties(environment.get<MathPropertiesKey>())
    , colorScheme(environment.colorScheme())
    , colorSchemeContrast(environment.colorSchemeContrast()) {}

std::optional<double> resolvedPointSize(const TextEnvironmentValues& environment) {
    const platform::Font font = environment.font.value_or(platform::Font::body());
    if (const std::optional<AnyFontProvider> provider = cachedFontProvider(font)) {
        return provider->pointSize(environment);
    }
    return std::nullopt;
}

} // namespace vellum

std::size_t std::hash<vellum::TextEnvironmentValues>::operator()(
    const vellum::TextEnvironmentValues& values) const noexcept {
    using vellum::detail::hashCombine;
    using vellum::detail::hashValue;
    std::size_t seed = 0;
    hashValue(seed, values.font);
    hashCombine(seed, static_cast<std::size_t>(values.dynamicTypeSize));
    hashCombine(seed, values.legibilityWeight ? 1 : 0);
    if (values.legibilityWeight) {
        hashCombine(seed, static_cast<std::size_t>(*values.legibilityWeight));
    }
    hashValue(seed, values.emojiProperties);
    hashValue(seed, values.mathProperties);
    hashCombine(seed, static_cast<std::size_t>(values.colorScheme));
    hashCombine(seed, static_cast<std::size_t>(values.colorSchemeContrast));
    return seed;
}

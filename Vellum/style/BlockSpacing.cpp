#include "Vellum/style/BlockSpacing.hpp"

#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

namespace vellum::structured {

std::optional<double> maxOfOptionals(std::initializer_list<std::optional<double>> values) {
    std::optional<double> largest;
    for (const std::optional<double>& value : values) {
        // Only a strictly larger value replaces the current one.
        if (value && (!largest || *value > *largest)) {
            largest = value;
        }
    }
    return largest;
}

} // namespace vellum::structured

std::size_t std::hash<vellum::structured::BlockSpacing>::operator()(
    const vellum::structured::BlockSpacing& spacing) const noexcept {
    std::size_t seed = 0;
    for (const std::optional<double>& side : {spacing.top, spacing.bottom}) {
        vellum::detail::hashCombine(seed, side ? vellum::detail::hashLength(*side) + 1 : 0);
    }
    return seed;
}

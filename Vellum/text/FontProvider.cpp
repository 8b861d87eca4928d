#include "Vellum/text/FontProvider.hpp"

#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

namespace vellum {

using platform::Font;

namespace {

std::size_t hashOptionalEnum(std::size_t seed, bool present, std::size_t value) {
    detail::hashCombine(seed, present ? 1 : 0);
    if (present) {
        detail::hashCombine(seed, value);
    }
    return seed;
}

template <class E>
std::size_t hashOptional(std::size_t seed, const std::optional<E>& value) {
    return hashOptionalEnum(seed, value.has_value(), value ? static_cast<std::size_t>(*value) : 0);
}

std::size_t hashOptional(std::size_t seed, const std::optional<Font::Weight>& weight) {
    detail::hashCombine(seed, weight ? 1 : 0);
    if (weight) {
        detail::hashCombine(seed, detail::hashLength(weight->value));
    }
    return seed;
}

} // namespace

double TextStyleFontProvider::pointSize(const TextEnvironmentValues& /*environment*/) const {
    return Font::pointSize(style) * scale_;
}

Font TextStyleFontProvider::font(const TextEnvironmentValues& /*environment*/) const {
    const Font styled = Font::system(style, design, weight);
    if (scale_ == 1.0) {
        return styled;
    }
    // The face the style stands for (its design and weight included), re-created at the new size.
    if (const std::optional<platform::ResolvedFont> face = styled.resolve()) {
        return Font(face->withSize(Font::pointSize(style) * scale_));
    }
    return styled.scaled(scale_);
}

std::size_t TextStyleFontProvider::hash() const noexcept {
    std::size_t seed = static_cast<std::size_t>(style);
    seed = hashOptional(seed, design);
    seed = hashOptional(seed, weight);
    detail::hashCombine(seed, detail::hashLength(scale_));
    return seed;
}

double SystemFontProvider::pointSize(const TextEnvironmentValues& /*environment*/) const {
    return size * scale_;
}

Font SystemFontProvider::font(const TextEnvironmentValues& /*environment*/) const {
    return Font::system(size * scale_, weight, design);
}

std::size_t SystemFontProvider::hash() const noexcept {
    std::size_t seed = detail::hashLength(size);
    seed = hashOptional(seed, weight);
    seed = hashOptional(seed, design);
    detail::hashCombine(seed, detail::hashLength(scale_));
    return seed;
}

double NamedFontProvider::pointSize(const TextEnvironmentValues& /*environment*/) const {
    return size * scale_;
}

Font NamedFontProvider::font(const TextEnvironmentValues& /*environment*/) const {
    return Font::custom(name, size * scale_, textStyle);
}

std::size_t NamedFontProvider::hash() const noexcept {
    std::size_t seed = std::hash<std::string>{}(name);
    detail::hashCombine(seed, detail::hashLength(size));
    seed = hashOptional(seed, textStyle);
    detail::hashCombine(seed, detail::hashLength(scale_));
    return seed;
}

double PlatformFontProvider::pointSize(const TextEnvironmentValues& /*environment*/) const {
    return font_.size * scale_;
}

Font PlatformFontProvider::font(const TextEnvironmentValues& /*environment*/) const {
    if (scale_ == 1.0) {
        return Font(font_);
    }
    return Font(font_.withSize(font_.size * scale_));
}

std::size_t PlatformFontProvider::hash() const noexcept {
    std::size_t seed = font_.hash();
    detail::hashCombine(seed, detail::hashLength(scale_));
    return seed;
}

std::size_t WeightFontModifier::hash() const noexcept {
    return detail::hashLength(weight.value);
}

std::size_t WidthFontModifier::hash() const noexcept {
    return detail::hashLength(width.value);
}

std::size_t ScaleFontModifier::hash() const noexcept {
    return detail::hashLength(scaleFactor);
}

} // namespace vellum

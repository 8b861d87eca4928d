#pragma once

// Font providers: a font reduced to what styling needs of it, its point size in a text environment
// and the font built again, optionally at another scale. Leaf providers describe a base font; the
// two wrapping providers add a font modifier over a base provider. Every provider multiplies its
// natural size by its `scale`.

#include "platform/foundation/Hash.hpp"
#include "platform/text/Font.hpp"
#include "platform/text/ResolvedFont.hpp"

#include <concepts>
#include <cstddef>
#include <optional>
#include <string>

namespace vellum {

struct TextEnvironmentValues;

template <class P>
concept FontProvider = requires(P provider, const P& constProvider, double scale,
                                const TextEnvironmentValues& environment) {
    { constProvider.scale() } -> std::convertible_to<double>;
    provider.setScale(scale);
    { constProvider.pointSize(environment) } -> std::convertible_to<double>;
    { constProvider.font(environment) } -> std::convertible_to<platform::Font>;
    { constProvider.hash() } -> std::convertible_to<std::size_t>;
}
&&std::equality_comparable<P>&& std::copy_constructible<P>;

// A text style of the system font, optionally in another design or weight.
struct TextStyleFontProvider {
    platform::Font::TextStyle style = platform::Font::TextStyle::body;
    std::optional<platform::Font::Design> design;
    std::optional<platform::Font::Weight> weight;
    double scale_ = 1.0;

    [[nodiscard]] double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    // The style's own size; design and weight do not change it.
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const;
    // At scale 1 the text style itself, so that it keeps following its style; otherwise the face
    // the style resolves to, at the scaled size.
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const TextStyleFontProvider&, const TextStyleFontProvider&) = default;
};

// The system font at a fixed size.
struct SystemFontProvider {
    double size = 13;
    std::optional<platform::Font::Weight> weight;
    std::optional<platform::Font::Design> design;
    double scale_ = 1.0;

    [[nodiscard]] double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const;
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const SystemFontProvider&, const SystemFontProvider&) = default;
};

// A family by name, at a fixed size or relative to a text style.
struct NamedFontProvider {
    std::string name;
    double size = 13;
    std::optional<platform::Font::TextStyle> textStyle;
    double scale_ = 1.0;

    [[nodiscard]] double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const;
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const NamedFontProvider&, const NamedFontProvider&) = default;
};

// A face that was already resolved.
struct PlatformFontProvider {
    platform::ResolvedFont font_;
    double scale_ = 1.0;

    [[nodiscard]] double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const;
    // At scale 1 the very same face; otherwise that face at the scaled size.
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const PlatformFontProvider&, const PlatformFontProvider&) = default;
};

// ---- Modifiers ----

// A change to a font, and (for scaling only) to its point size.
template <class M>
concept FontModifier = std::equality_comparable<M> && requires(const M& m, platform::Font& font) {
    m.modify(font);
    { m.hash() } -> std::convertible_to<std::size_t>;
};
// A modifier without fields: the type alone says what it does.
template <class M>
concept StaticFontModifier = FontModifier<M> && std::is_empty_v<M> && std::default_initializable<M>;

// Modifiers leave the point size alone unless they say otherwise.
template <FontModifier M>
void modifyPointSize(const M& modifier, double& pointSize) {
    if constexpr (requires { modifier.modify(pointSize); }) {
        modifier.modify(pointSize);
    }
}

#define VELLUM_STATIC_FONT_MODIFIER(Type, call)                                                    \
    struct Type {                                                                                  \
        void modify(platform::Font& font) const { font = font.call(); }                            \
        [[nodiscard]] std::size_t hash() const noexcept { return 0; }                              \
        friend constexpr bool operator==(Type, Type) = default;                                    \
    };

VELLUM_STATIC_FONT_MODIFIER(BoldFontModifier, bold)
VELLUM_STATIC_FONT_MODIFIER(ItalicFontModifier, italic)
VELLUM_STATIC_FONT_MODIFIER(MonospacedFontModifier, monospaced)
VELLUM_STATIC_FONT_MODIFIER(MonospacedDigitFontModifier, monospacedDigit)
VELLUM_STATIC_FONT_MODIFIER(LowercaseSmallCapsFontModifier, lowercaseSmallCaps)
VELLUM_STATIC_FONT_MODIFIER(UppercaseSmallCapsFontModifier, uppercaseSmallCaps)

#undef VELLUM_STATIC_FONT_MODIFIER

struct WeightFontModifier {
    platform::Font::Weight weight;
    void modify(platform::Font& font) const { font = font.weight(weight); }
    [[nodiscard]] std::size_t hash() const noexcept;
    friend constexpr bool operator==(const WeightFontModifier&,
                                     const WeightFontModifier&) = default;
};

struct WidthFontModifier {
    platform::Font::Width width;
    void modify(platform::Font& font) const { font = font.width(width); }
    [[nodiscard]] std::size_t hash() const noexcept;
    friend constexpr bool operator==(const WidthFontModifier&, const WidthFontModifier&) = default;
};

struct LeadingFontModifier {
    platform::Font::Leading leading = platform::Font::Leading::standard;
    void modify(platform::Font& font) const { font = font.leading(leading); }
    [[nodiscard]] std::size_t hash() const noexcept { return static_cast<std::size_t>(leading); }
    friend constexpr bool operator==(const LeadingFontModifier&,
                                     const LeadingFontModifier&) = default;
};

// The only modifier that changes the point size.
struct ScaleFontModifier {
    double scaleFactor = 1;
    void modify(platform::Font& font) const { font = font.scaled(scaleFactor); }
    void modify(double& pointSize) const { pointSize *= scaleFactor; }
    [[nodiscard]] std::size_t hash() const noexcept;
    friend constexpr bool operator==(const ScaleFontModifier&, const ScaleFontModifier&) = default;
};

// ---- Wrapping providers ----
// They have no scale of their own: reading and writing it reaches the base, so a wrapped font is
// rescaled as a whole.

template <FontProvider Base, StaticFontModifier Modifier>
struct StaticFontModifierProvider {
    Base base;

    [[nodiscard]] double scale() const { return base.scale(); }
    void setScale(double scale) { base.setScale(scale); }
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const {
        return base.pointSize(environment);
    }
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const {
        platform::Font font = base.font(environment);
        Modifier().modify(font);
        return font;
    }
    [[nodiscard]] std::size_t hash() const noexcept { return base.hash(); }
    friend bool operator==(const StaticFontModifierProvider&,
                           const StaticFontModifierProvider&) = default;
};

template <FontProvider Base, FontModifier Modifier>
struct FontModifierProvider {
    Base base;
    Modifier modifier;

    [[nodiscard]] double scale() const { return base.scale(); }
    void setScale(double scale) { base.setScale(scale); }
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const {
        double size = base.pointSize(environment);
        modifyPointSize(modifier, size);
        return size;
    }
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const {
        platform::Font font = base.font(environment);
        modifier.modify(font);
        return font;
    }
    [[nodiscard]] std::size_t hash() const noexcept {
        return platform::hashCombine(base.hash(), modifier.hash());
    }
    friend bool operator==(const FontModifierProvider&, const FontModifierProvider&) = default;
};

} // namespace vellum

#pragma once

// Text properties: small, comparable styling instructions (make it bold, colour it, track it by
// half a point) applied to a run's attribute container for a text environment. Inline styles and
// style sets are made of them.
//
// Font properties start from the container's font, else the environment's, else the body font,
// and write the result back, so properties applied in sequence build on each other.

#include "Vellum/text/DynamicColor.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/text/Font.hpp"
#include "platform/text/StyledText.hpp"

#include <concepts>
#include <cstddef>
#include <optional>

namespace vellum {

template <class P>
concept TextProperty = requires(const P& property, platform::AttributeContainer& container,
                                const TextEnvironmentValues& environment) {
    property.apply(container, environment);
    { property.hash() } -> std::convertible_to<std::size_t>;
}
&&std::equality_comparable<P>&& std::copy_constructible<P>;

// The font font properties start from.
[[nodiscard]] platform::Font baseFont(const platform::AttributeContainer& container,
                                      const TextEnvironmentValues& environment);

struct ForegroundColorProperty {
    DynamicColor color;
    // Removes the colour when no variant fits the environment.
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept { return color.hash(); }
    friend bool operator==(const ForegroundColorProperty&,
                           const ForegroundColorProperty&) = default;
};

struct BackgroundColorProperty {
    DynamicColor color;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept { return color.hash(); }
    friend bool operator==(const BackgroundColorProperty&,
                           const BackgroundColorProperty&) = default;
};

// Absent: the run takes the font of its surroundings again.
struct FontProperty {
    std::optional<platform::Font> font;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const FontProperty&, const FontProperty&) = default;
};

#define VELLUM_FONT_PROPERTY(Type)                                                                 \
    struct Type {                                                                                  \
        void apply(platform::AttributeContainer& container,                                        \
                   const TextEnvironmentValues& env) const;                                        \
        [[nodiscard]] std::size_t hash() const noexcept { return 0; }                              \
        friend constexpr bool operator==(Type, Type) = default;                                    \
    };

VELLUM_FONT_PROPERTY(BoldProperty)
VELLUM_FONT_PROPERTY(ItalicProperty)
VELLUM_FONT_PROPERTY(MonospacedProperty)
VELLUM_FONT_PROPERTY(MonospacedDigitProperty)
VELLUM_FONT_PROPERTY(SmallCapsProperty)
VELLUM_FONT_PROPERTY(LowercaseSmallCapsProperty)
VELLUM_FONT_PROPERTY(UppercaseSmallCapsProperty)

#undef VELLUM_FONT_PROPERTY

struct FontWeightProperty {
    platform::Font::Weight weight;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const FontWeightProperty&, const FontWeightProperty&) = default;
};

struct FontWidthProperty {
    platform::Font::Width width;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const FontWidthProperty&, const FontWidthProperty&) = default;
};

struct FontLeadingProperty {
    platform::Font::Leading leading = platform::Font::Leading::standard;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept { return static_cast<std::size_t>(leading); }
    friend bool operator==(const FontLeadingProperty&, const FontLeadingProperty&) = default;
};

// The base font at `scale` times its size.
struct FontScaleProperty {
    double scale = 1;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const FontScaleProperty&, const FontScaleProperty&) = default;
};

struct UnderlineStyleProperty {
    platform::TextLineStyle style;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const UnderlineStyleProperty&, const UnderlineStyleProperty&) = default;
};

struct StrikethroughStyleProperty {
    platform::TextLineStyle style;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const StrikethroughStyleProperty&,
                           const StrikethroughStyleProperty&) = default;
};

// Points, whatever the font size.
struct BaselineOffsetProperty {
    double offset = 0;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const BaselineOffsetProperty&, const BaselineOffsetProperty&) = default;
};

struct KerningProperty {
    double kerning = 0;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const KerningProperty&, const KerningProperty&) = default;
};

struct TrackingProperty {
    double tracking = 0;
    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const;
    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const TrackingProperty&, const TrackingProperty&) = default;
};

// Factories, named as styles write them: `textProperty::bold`, `textProperty::fontScale(0.85)`.
namespace textProperty {
inline ForegroundColorProperty foregroundColor(DynamicColor color) {
    return {std::move(color)};
}
inline BackgroundColorProperty backgroundColor(DynamicColor color) {
    return {std::move(color)};
}
inline FontProperty font(std::optional<platform::Font> font) {
    return {std::move(font)};
}
inline constexpr BoldProperty bold{};
inline constexpr ItalicProperty italic{};
inline constexpr MonospacedProperty monospaced{};
inline constexpr MonospacedDigitProperty monospacedDigit{};
inline constexpr SmallCapsProperty smallCaps{};
inline constexpr LowercaseSmallCapsProperty lowercaseSmallCaps{};
inline constexpr UppercaseSmallCapsProperty uppercaseSmallCaps{};
inline FontWeightProperty fontWeight(platform::Font::Weight weight) {
    return {weight};
}
inline FontWidthProperty fontWidth(platform::Font::Width width) {
    return {width};
}
inline FontLeadingProperty fontLeading(platform::Font::Leading leading) {
    return {leading};
}
inline FontScaleProperty fontScale(double scale) {
    return {scale};
}
inline UnderlineStyleProperty underlineStyle(platform::TextLineStyle style) {
    return {std::move(style)};
}
inline StrikethroughStyleProperty strikethroughStyle(platform::TextLineStyle style) {
    return {std::move(style)};
}
inline BaselineOffsetProperty baselineOffset(double offset) {
    return {offset};
}
inline KerningProperty kerning(double kerning) {
    return {kerning};
}
inline TrackingProperty tracking(double tracking) {
    return {tracking};
}
} // namespace textProperty

} // namespace vellum

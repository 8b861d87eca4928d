#pragma once

// Colours: concrete sRGB values with an opacity, and the named system colours whose concrete value
// depends on the appearance (light or dark scheme, standard or increased contrast) they are drawn
// in.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

enum class ColorScheme : std::uint8_t { light, dark };
enum class ColorSchemeContrast : std::uint8_t { standard, increased };

/// The appearance a colour is resolved in.
struct Appearance {
    ColorScheme colorScheme = ColorScheme::light;
    ColorSchemeContrast contrast = ColorSchemeContrast::standard;

    friend constexpr bool operator==(const Appearance&, const Appearance&) = default;
};

/// A concrete sRGB colour, components in 0...1, not premultiplied.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    friend constexpr bool operator==(const RGBA&, const RGBA&) = default;
};

/// The named colours of the system palette. Each has a light, a dark and an increased-contrast
/// value for both schemes.
enum class SystemColor : std::uint8_t {
    primary,   ///< the main text colour (label)
    secondary, ///< dimmed text (secondary label)
    tertiary,
    quaternary,
    separator,
    accent, ///< the accent colour (controls, selection highlights)
    link,
    selectedTextBackground,
    textBackground,
    windowBackground,
    controlBackground,
    red,
    orange,
    yellow,
    green,
    blue,
    purple,
    gray,
};

/// A colour value: either a concrete sRGB colour or a named system colour, in both cases with an
/// opacity. Equal colours hash equally; a system colour never equals a concrete one, even when it
/// would resolve to the same components.
class Color {
public:
    /// Opaque black.
    constexpr Color() = default;
    /// An sRGB colour; components and opacity are clamped to 0...1 (NaN becomes 0).
    Color(double red, double green, double blue, double opacity = 1.0);
    /// A grey of the given white level.
    static Color gray(double white, double opacity = 1.0) { return {white, white, white, opacity}; }
    /// A named system colour, resolved when drawn.
    static Color system(SystemColor name, double opacity = 1.0);

    static Color clear() { return {0, 0, 0, 0}; }
    static Color black() { return {0, 0, 0, 1}; }
    static Color white() { return {1, 1, 1, 1}; }
    static Color primary() { return system(SystemColor::primary); }
    static Color secondary() { return system(SystemColor::secondary); }
    static Color separator() { return system(SystemColor::separator); }
    static Color accentColor() { return system(SystemColor::accent); }
    static Color link() { return system(SystemColor::link); }
    static Color selectedTextBackgroundColor() {
        return system(SystemColor::selectedTextBackground);
    }

    /// The same colour with its opacity multiplied by `factor`.
    Color opacity(double factor) const;

    bool isSystem() const { return isSystem_; }
    /// The system colour's name; meaningless for concrete colours.
    SystemColor systemColor() const { return name_; }
    /// The opacity this value carries (for system colours, the factor applied to the palette's own
    /// alpha).
    double opacityValue() const { return alpha_; }

    /// The concrete colour in `appearance`. Concrete colours ignore the appearance.
    RGBA resolve(const Appearance& appearance = {}) const;

    friend bool operator==(const Color&, const Color&) = default;
    std::size_t hash() const noexcept;

private:
    double red_ = 0;
    double green_ = 0;
    double blue_ = 0;
    double alpha_ = 1;
    bool isSystem_ = false;
    SystemColor name_ = SystemColor::primary;
};

} // namespace platform

template <>
struct std::hash<platform::Color> {
    std::size_t operator()(const platform::Color& c) const noexcept { return c.hash(); }
};

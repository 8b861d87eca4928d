#include "platform/graphics/Color.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace platform {

namespace {

double clampUnit(double v) {
    if (std::isnan(v))
        return 0;
    return std::clamp(v, 0.0, 1.0);
}

struct PaletteEntry {
    RGBA light;
    RGBA dark;
    RGBA lightHighContrast;
    RGBA darkHighContrast;
};

constexpr RGBA rgb(int r, int g, int b, double a = 1.0) {
    return {r / 255.0, g / 255.0, b / 255.0, a};
}

// One row per SystemColor, in declaration order. Text colours are black or white at a reduced
// opacity so they read well on any background; the increased-contrast variants raise that opacity
// and darken (light) or brighten (dark) the tints.
constexpr std::array<PaletteEntry, 18> palette{{
    // primary
    {rgb(0, 0, 0, 0.85), rgb(255, 255, 255, 0.85), rgb(0, 0, 0, 1.0), rgb(255, 255, 255, 1.0)},
    // secondary
    {rgb(0, 0, 0, 0.50), rgb(255, 255, 255, 0.55), rgb(0, 0, 0, 0.70), rgb(255, 255, 255, 0.75)},
    // tertiary
    {rgb(0, 0, 0, 0.26), rgb(255, 255, 255, 0.25), rgb(0, 0, 0, 0.50), rgb(255, 255, 255, 0.50)},
    // quaternary
    {rgb(0, 0, 0, 0.10), rgb(255, 255, 255, 0.10), rgb(0, 0, 0, 0.30), rgb(255, 255, 255, 0.30)},
    // separator
    {rgb(0, 0, 0, 0.10), rgb(255, 255, 255, 0.10), rgb(0, 0, 0, 0.35), rgb(255, 255, 255, 0.40)},
    // accent
    {rgb(0, 122, 255), rgb(10, 132, 255), rgb(0, 64, 221), rgb(64, 156, 255)},
    // link
    {rgb(0, 104, 218), rgb(65, 156, 255), rgb(0, 64, 180), rgb(120, 184, 255)},
    // selectedTextBackground
    {rgb(179, 215, 255), rgb(63, 99, 139), rgb(128, 188, 254), rgb(84, 135, 191)},
    // textBackground
    {rgb(255, 255, 255), rgb(30, 30, 30), rgb(255, 255, 255), rgb(0, 0, 0)},
    // windowBackground
    {rgb(236, 236, 236), rgb(50, 50, 50), rgb(236, 236, 236), rgb(30, 30, 30)},
    // controlBackground
    {rgb(255, 255, 255), rgb(30, 30, 30), rgb(255, 255, 255), rgb(0, 0, 0)},
    // red
    {rgb(255, 59, 48), rgb(255, 69, 58), rgb(215, 0, 21), rgb(255, 105, 97)},
    // orange
    {rgb(255, 149, 0), rgb(255, 159, 10), rgb(201, 52, 0), rgb(255, 179, 64)},
    // yellow
    {rgb(255, 204, 0), rgb(255, 214, 10), rgb(178, 80, 0), rgb(255, 212, 38)},
    // green
    {rgb(40, 205, 65), rgb(50, 215, 75), rgb(0, 125, 27), rgb(49, 222, 75)},
    // blue
    {rgb(0, 122, 255), rgb(10, 132, 255), rgb(0, 64, 221), rgb(64, 156, 255)},
    // purple
    {rgb(175, 82, 222), rgb(191, 90, 242), rgb(137, 68, 171), rgb(218, 143, 255)},
    // gray
    {rgb(142, 142, 147), rgb(152, 152, 157), rgb(108, 108, 112), rgb(174, 174, 178)},
}};

} // namespace

Color::Color(double red, double green, double blue, double opacity)
    : red_(clampUnit(red))
    , green_(clampUnit(green))
    , blue_(clampUnit(blue))
    , alpha_(clampUnit(opacity)) {}

Color Color::system(SystemColor name, double opacity) {
    Color c;
    c.isSystem_ = true;
    c.name_ = name;
    c.alpha_ = clampUnit(opacity);
    return c;
}

Color Color::opacity(double factor) const {
    Color c = *this;
    c.alpha_ = clampUnit(alpha_ * clampUnit(factor));
    return c;
}

RGBA Color::resolve(const Appearance& appearance) const {
    if (!isSystem_)
        return {red_, green_, blue_, alpha_};
    const auto index = static_cast<std::size_t>(name_);
    if (index >= palette.size())
        return {0, 0, 0, 0};
    const PaletteEntry& e = palette[index];
    const bool dark = appearance.colorScheme == ColorScheme::dark;
    const bool high = appearance.contrast == ColorSchemeContrast::increased;
    RGBA v = dark ? (high ? e.darkHighContrast : e.dark) : (high ? e.lightHighContrast : e.light);
    v.alpha *= alpha_;
    return v;
}

std::size_t Color::hash() const noexcept {
    std::size_t h = isSystem_ ? 0x51u + static_cast<std::size_t>(name_) : 0;
    for (const double v : {red_, green_, blue_, alpha_})
        h = hashCombine(h, hashDouble(v));
    return h;
}

} // namespace platform

#pragma once

#include "platform/graphics/Color.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// The light or dark scheme and the contrast the user chose for the desktop, followed as they
// change.
//
// The desktop's settings portal speaks first where there is one: its colour-scheme preference
// takes the place of the toolkit's prefer-dark setting (and is written into it, so that the
// toolkit's own windows follow too), its contrast preference raises the contrast. Without it, or
// where it states no preference, the toolkit's settings decide: the prefer-dark setting and the
// theme's name ("Adwaita-dark", "HighContrast", "HighContrastInverse", or a ":dark" variant forced
// through GTK_THEME). A theme that is dark in itself always gives the dark scheme, so views match
// the window they are in.
//
// Needs the display connection the toolkit opens at start-up; without one the appearance stays
// light with standard contrast. Main thread only.
class DesktopAppearance {
public:
    using Observer = std::function<void(const Appearance&)>;

    // What the appearance is made from.
    struct Sources {
        // The portal's "color-scheme": 0 no preference, 1 prefer dark, 2 prefer light.
        std::optional<std::uint32_t> portalColorScheme;
        // The portal's "contrast": 0 no preference, 1 higher contrast.
        std::optional<std::uint32_t> portalContrast;
        bool preferDarkTheme = false; // the toolkit's prefer-dark setting
        std::string themeName;        // the toolkit's theme name
        std::string themeOverride;    // GTK_THEME, "Name" or "Name:variant"

        friend bool operator==(const Sources&, const Sources&) = default;
    };

    static DesktopAppearance& shared();

    DesktopAppearance(const DesktopAppearance&) = delete;
    DesktopAppearance& operator=(const DesktopAppearance&) = delete;

    [[nodiscard]] Appearance current() const noexcept { return current_; }

    // Calls `observer` on every change of current() for as long as the caller keeps the returned
    // handle.
    [[nodiscard]] std::shared_ptr<const Observer> observe(Observer observer);

    // The appearance `sources` make.
    [[nodiscard]] static Appearance resolve(const Sources& sources);

    struct Internal;

private:
    DesktopAppearance();
    ~DesktopAppearance();
    void applyPortalScheme();
    void refresh();

    std::unique_ptr<Internal> internal_;
    Appearance current_;
};

} // namespace platform

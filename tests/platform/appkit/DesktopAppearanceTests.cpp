#include "platform/appkit/DesktopAppearance.hpp"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

namespace {

using platform::Appearance;
using platform::ColorScheme;
using platform::ColorSchemeContrast;
using platform::DesktopAppearance;
using Sources = DesktopAppearance::Sources;

constexpr Appearance light{ColorScheme::light, ColorSchemeContrast::standard};
constexpr Appearance dark{ColorScheme::dark, ColorSchemeContrast::standard};
constexpr Appearance lightHigh{ColorScheme::light, ColorSchemeContrast::increased};
constexpr Appearance darkHigh{ColorScheme::dark, ColorSchemeContrast::increased};

TEST(DesktopAppearanceTest, ToolkitSettingsAndThemeNamesMakeTheAppearance) {
    EXPECT_EQ(DesktopAppearance::resolve({}), light);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Adwaita"}), light);
    EXPECT_EQ(DesktopAppearance::resolve({.preferDarkTheme = true, .themeName = "Adwaita"}), dark);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Adwaita-dark"}), dark);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Arc-Dark"}), dark);
    // A theme that merely has "dark" in its name is not a dark variant.
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Darkwood"}), light);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "HighContrast"}), lightHigh);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "HighContrastInverse"}), darkHigh);
    // GTK_THEME replaces the configured theme, variant included.
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Adwaita", .themeOverride = "Adwaita:dark"}),
              dark);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Adwaita-dark", .themeOverride = "Adwaita"}),
              light);
    EXPECT_EQ(DesktopAppearance::resolve({.themeName = "Adwaita", .themeOverride = "HighContrast"}),
              lightHigh);
}

TEST(DesktopAppearanceTest, ThePortalStandsInForThePreferDarkSetting) {
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 1, .themeName = "Adwaita"}), dark);
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 2, .preferDarkTheme = true}), light);
    // A dark theme is dark whatever is preferred: the window around the views is.
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 2, .themeName = "Adwaita-dark"}),
              dark);
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 0, .preferDarkTheme = true}), dark);
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 7, .themeName = "Adwaita-dark"}),
              dark);
    EXPECT_EQ(DesktopAppearance::resolve({.portalContrast = 1}), lightHigh);
    EXPECT_EQ(DesktopAppearance::resolve({.portalContrast = 0, .themeName = "HighContrast"}),
              lightHigh);
    EXPECT_EQ(DesktopAppearance::resolve({.portalColorScheme = 1, .portalContrast = 1}), darkHigh);
}

TEST(DesktopAppearanceTest, FollowsTheToolkitSettingsAsTheyChange) {
    g_setenv("GSK_RENDERER", "cairo", FALSE);
    g_unsetenv("GTK_THEME");
    if (!gtk_init_check()) {
        GTEST_SKIP() << "no display";
    }
    GtkSettings* const settings = gtk_settings_get_default();
    g_object_set(settings, "gtk-theme-name", "Adwaita", "gtk-application-prefer-dark-theme", FALSE,
                 nullptr);
    auto& desktop = DesktopAppearance::shared();
    EXPECT_EQ(desktop.current(), light);

    std::vector<Appearance> seen;
    auto observation = desktop.observe([&](const Appearance& now) { seen.push_back(now); });
    g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    EXPECT_EQ(desktop.current(), dark);
    g_object_set(settings, "gtk-theme-name", "HighContrast", nullptr);
    EXPECT_EQ(desktop.current(), darkHigh);
    // Changes that leave the appearance as it was are not reported.
    g_object_set(settings, "gtk-theme-name", "HighContrastInverse", nullptr);
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);
    EXPECT_EQ(desktop.current(), darkHigh);
    g_object_set(settings, "gtk-theme-name", "Adwaita", nullptr);
    EXPECT_EQ(desktop.current(), light);
    EXPECT_EQ(seen, (std::vector<Appearance>{dark, darkHigh, light}));

    // Dropping the handle ends the observation.
    observation.reset();
    g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    EXPECT_EQ(desktop.current(), dark);
    EXPECT_EQ(seen.size(), 3u);
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);
}

} // namespace

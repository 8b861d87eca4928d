#include "platform/appkit/DesktopAppearance.hpp"

#include "platform/foundation/ASCII.hpp"

#include <algorithm>
#include <gtk/gtk.h>
#include <string_view>
#include <vector>

namespace platform {

namespace {

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* appearanceNamespace = "org.freedesktop.appearance";
constexpr const char* colorSchemeKey = "color-scheme";
constexpr const char* contrastKey = "contrast";

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           ascii::equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool isHighContrastTheme(std::string_view name) {
    return ascii::equalsIgnoringCase(name, "HighContrast") ||
           ascii::equalsIgnoringCase(name, "HighContrastInverse");
}

// A setting's value as the portal sends it: older portals wrap the value in one more variant.
std::optional<std::uint32_t> unsignedSetting(GVariant* value) {
    GVariant* current = g_variant_ref(value);
    for (int depth = 0; depth < 4 && g_variant_is_of_type(current, G_VARIANT_TYPE_VARIANT);
         ++depth) {
        GVariant* const inner = g_variant_get_variant(current);
        g_variant_unref(current);
        current = inner;
    }
    std::optional<std::uint32_t> result;
    if (g_variant_is_of_type(current, G_VARIANT_TYPE_UINT32)) {
        result = g_variant_get_uint32(current);
    }
    g_variant_unref(current);
    return result;
}

} // namespace

struct DesktopAppearance::Internal {
    Sources sources;
    std::vector<std::weak_ptr<const Observer>> observers;
    GDBusConnection* bus = nullptr; // owned once the session bus answered

    // Records one portal setting; true when it was one of ours.
    bool take(std::string_view key, GVariant* value) {
        if (key == colorSchemeKey) {
            sources.portalColorScheme = unsignedSetting(value);
            return true;
        }
        if (key == contrastKey) {
            sources.portalContrast = unsignedSetting(value);
            return true;
        }
        return false;
    }
};

DesktopAppearance& DesktopAppearance::shared() {
    static DesktopAppearance instance;
    return instance;
}

DesktopAppearance::DesktopAppearance()
    : internal_(std::make_unique<Internal>()) {
    if (const char* const override = g_getenv("GTK_THEME")) {
        internal_->sources.themeOverride = override;
    }
    if (GtkSettings* const settings = gtk_settings_get_default()) {
        const auto changed = +[](GObject*, GParamSpec*, gpointer) { shared().refresh(); };
        g_signal_connect(settings, "notify::gtk-application-prefer-dark-theme", G_CALLBACK(changed),
                         nullptr);
        g_signal_connect(settings, "notify::gtk-theme-name", G_CALLBACK(changed), nullptr);
    }
    refresh();

    // Only a bus that is already running: connecting must not start one of its own.
    const char* const address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string socket = std::string{g_get_user_runtime_dir()} + "/bus";
    if ((address == nullptr || address[0] == '\0') &&
        !g_file_test(socket.c_str(), G_FILE_TEST_EXISTS)) {
        return;
    }
    g_bus_get(
        G_BUS_TYPE_SESSION, nullptr,
        +[](GObject*, GAsyncResult* result, gpointer) {
            GDBusConnection* const bus = g_bus_get_finish(result, nullptr);
            if (bus == nullptr) {
                return;
            }
            Internal& internal = *shared().internal_;
            internal.bus = bus;
            g_dbus_connection_signal_subscribe(
                bus, portalName, settingsInterface, "SettingChanged", portalPath,
                appearanceNamespace, G_DBUS_SIGNAL_FLAGS_NONE,
                +[](GDBusConnection*, const char*, const char*, const char*, const char*,
                    GVariant* parameters, gpointer) {
                    const char* space = nullptr;
                    const char* key = nullptr;
                    GVariant* value = nullptr;
                    g_variant_get(parameters, "(&s&sv)", &space, &key, &value);
                    DesktopAppearance& appearance = shared();
                    if (std::string_view{space} == appearanceNamespace &&
                        appearance.internal_->take(key, value)) {
                        appearance.applyPortalScheme();
                        appearance.refresh();
                    }
                    g_variant_unref(value);
                },
                nullptr, nullptr);
            for (const char* key : {colorSchemeKey, contrastKey}) {
                g_dbus_connection_call(
                    bus, portalName, portalPath, settingsInterface, "Read",
                    g_variant_new("(ss)", appearanceNamespace, key), G_VARIANT_TYPE("(v)"),
                    G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
                    +[](GObject* source, GAsyncResult* reply, gpointer data) {
                        GVariant* const answer = g_dbus_connection_call_finish(
                            G_DBUS_CONNECTION(source), reply, nullptr);
                        if (answer == nullptr) {
                            return; // no portal, or it does not know the setting
                        }
                        GVariant* value = nullptr;
                        g_variant_get(answer, "(v)", &value);
                        DesktopAppearance& appearance = shared();
                        appearance.internal_->take(static_cast<const char*>(data), value);
                        appearance.applyPortalScheme();
                        appearance.refresh();
                        g_variant_unref(value);
                        g_variant_unref(answer);
                    },
                    const_cast<char*>(key));
            }
        },
        nullptr);
}

// The process's appearance lives as long as the process; the toolkit's objects it listens to may
// already be gone when it is destroyed, so it leaves them alone.
DesktopAppearance::~DesktopAppearance() = default;

std::shared_ptr<const DesktopAppearance::Observer> DesktopAppearance::observe(Observer observer) {
    auto handle = std::make_shared<const Observer>(std::move(observer));
    auto& observers = internal_->observers;
    std::erase_if(observers, [](const auto& entry) { return entry.expired(); });
    observers.push_back(handle);
    return handle;
}

void DesktopAppearance::applyPortalScheme() {
    // The toolkit of this version does not read the portal itself; told through its prefer-dark
    // setting, it draws the windows around the tree in the same scheme.
    const auto scheme = internal_->sources.portalColorScheme;
    GtkSettings* const settings = gtk_settings_get_default();
    if (settings != nullptr && (scheme == 1u || scheme == 2u)) {
        g_object_set(settings, "gtk-application-prefer-dark-theme", scheme == 1u ? TRUE : FALSE,
                     nullptr);
    }
}

void DesktopAppearance::refresh() {
    Sources& sources = internal_->sources;
    if (GtkSettings* const settings = gtk_settings_get_default()) {
        gboolean preferDark = FALSE;
        char* themeName = nullptr;
        g_object_get(settings, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name",
                     &themeName, nullptr);
        sources.preferDarkTheme = preferDark != FALSE;
        sources.themeName = themeName != nullptr ? themeName : "";
        g_free(themeName);
    }
    const Appearance next = resolve(sources);
    if (next == current_) {
        return;
    }
    current_ = next;
    // An observer may start or stop observing while being told, so tell a copy.
    const auto observers = internal_->observers;
    for (const auto& entry : observers) {
        if (const auto observer = entry.lock()) {
            (*observer)(current_);
        }
    }
}

Appearance DesktopAppearance::resolve(const Sources& sources) {
    std::string_view theme = sources.themeName;
    bool darkVariant = false;
    if (!sources.themeOverride.empty()) {
        // "Name:variant" replaces the configured theme and picks its variant.
        const std::string_view override = sources.themeOverride;
        const auto colon = override.find(':');
        theme = override.substr(0, colon);
        darkVariant = colon != std::string_view::npos &&
                      ascii::equalsIgnoringCase(override.substr(colon + 1), "dark");
    }
    // The portal's preference stands in for the toolkit's prefer-dark setting (and is written
    // into it, see applyPortalScheme), but a theme that is dark in itself stays dark: the tree is
    // drawn in the scheme of the window around it, or its text could vanish into the background.
    const bool preferDark = sources.portalColorScheme == 1u ||
                            (sources.portalColorScheme != 2u && sources.preferDarkTheme);
    Appearance appearance;
    if (preferDark || darkVariant || endsWithIgnoringCase(theme, "-dark") ||
        ascii::equalsIgnoringCase(theme, "HighContrastInverse")) {
        appearance.colorScheme = ColorScheme::dark;
    }
    if (sources.portalContrast == 1u || isHighContrastTheme(theme)) {
        appearance.contrast = ColorSchemeContrast::increased;
    }
    return appearance;
}

} // namespace platform

// The desktop's appearance as a settings portal reports it. A case of its own program: the
// appearance is read once per process, and this case must be the one to start it, on a private
// session bus.

#include "platform/appkit/DesktopAppearance.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <chrono>
#include <functional>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <map>
#include <string>

namespace {

using platform::Appearance;
using platform::ColorScheme;
using platform::ColorSchemeContrast;
using platform::DesktopAppearance;

constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* appearanceNamespace = "org.freedesktop.appearance";

constexpr const char* settingsXML = R"(<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <signal name="SettingChanged">
      <arg type="s" name="namespace"/>
      <arg type="s" name="key"/>
      <arg type="v" name="value"/>
    </signal>
  </interface>
</node>)";

// A session bus of its own, with a settings portal on it that answers from a table.
class PortalOnPrivateBus {
public:
    PortalOnPrivateBus() {
        GError* error = nullptr;
        daemon_ = g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error, "dbus-daemon",
                                   "--session", "--nofork", "--print-address=1", nullptr);
        if (daemon_ == nullptr) {
            g_error_free(error);
            return;
        }
        GDataInputStream* const lines =
            g_data_input_stream_new(g_subprocess_get_stdout_pipe(daemon_));
        char* const line = g_data_input_stream_read_line(lines, nullptr, nullptr, nullptr);
        g_object_unref(lines);
        if (line == nullptr) {
            return;
        }
        address_ = line;
        g_free(line);
        connection_ = g_dbus_connection_new_for_address_sync(
            address_.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (connection_ == nullptr) {
            return;
        }
        GDBusNodeInfo* const node = g_dbus_node_info_new_for_xml(settingsXML, nullptr);
        static const GDBusInterfaceVTable vtable{
            +[](GDBusConnection*, const char*, const char*, const char*, const char*,
                GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
                const auto& values = static_cast<PortalOnPrivateBus*>(data)->values_;
                const char* space = nullptr;
                const char* key = nullptr;
                g_variant_get(parameters, "(&s&s)", &space, &key);
                const auto found = values.find(std::string{space} + "/" + key);
                if (found == values.end()) {
                    g_dbus_method_invocation_return_dbus_error(
                        invocation, "org.freedesktop.portal.Error.NotFound", "no such setting");
                    return;
                }
                // The older portals' answer: the value wrapped in one more variant.
                g_dbus_method_invocation_return_value(
                    invocation, g_variant_new("(v)", g_variant_new_variant(
                                                         g_variant_new_uint32(found->second))));
            },
            nullptr,
            nullptr,
            {}};
        g_dbus_connection_register_object(connection_, portalPath, node->interfaces[0], &vtable,
                                          this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
        GVariant* const reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
    }
    ~PortalOnPrivateBus() {
        if (connection_ != nullptr) {
            g_dbus_connection_close_sync(connection_, nullptr, nullptr);
            g_object_unref(connection_);
        }
        if (daemon_ != nullptr) {
            g_subprocess_force_exit(daemon_);
            g_subprocess_wait(daemon_, nullptr, nullptr);
            g_object_unref(daemon_);
        }
    }
    PortalOnPrivateBus(const PortalOnPrivateBus&) = delete;
    PortalOnPrivateBus& operator=(const PortalOnPrivateBus&) = delete;

    [[nodiscard]] bool running() const { return connection_ != nullptr; }
    [[nodiscard]] const std::string& address() const { return address_; }

    void set(const std::string& key, std::uint32_t value) {
        values_[std::string{appearanceNamespace} + "/" + key] = value;
    }
    void announce(const char* space, const char* key, std::uint32_t value) {
        g_dbus_connection_emit_signal(
            connection_, nullptr, portalPath, settingsInterface, "SettingChanged",
            g_variant_new("(ssv)", space, key, g_variant_new_uint32(value)), nullptr);
    }

private:
    GSubprocess* daemon_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    std::string address_;
    std::map<std::string, std::uint32_t> values_;
};

bool iterateUntil(const std::function<bool()>& done) {
    return moss_test::waitUntil(done);
}

TEST(DesktopPortalTest, FollowsTheSettingsPortal) {
    PortalOnPrivateBus portal;
    ASSERT_TRUE(portal.running());
    portal.set("color-scheme", 1); // prefer dark; no contrast setting at all
    g_setenv("DBUS_SESSION_BUS_ADDRESS", portal.address().c_str(), TRUE);
    g_setenv("GSK_RENDERER", "cairo", FALSE);
    g_unsetenv("GTK_THEME");
    if (!gtk_init_check()) {
        GTEST_SKIP() << "no display";
    }
    GtkSettings* const settings = gtk_settings_get_default();
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);

    auto& desktop = DesktopAppearance::shared();
    const auto is = [&](ColorScheme scheme, ColorSchemeContrast contrast) {
        return [&desktop, scheme, contrast] {
            return desktop.current() == Appearance{scheme, contrast};
        };
    };
    EXPECT_TRUE(iterateUntil(is(ColorScheme::dark, ColorSchemeContrast::standard)));
    // The toolkit is told, so that its own windows go dark with the views.
    const auto prefersDark = [settings] {
        gboolean value = FALSE;
        g_object_get(settings, "gtk-application-prefer-dark-theme", &value, nullptr);
        return value != FALSE;
    };
    EXPECT_TRUE(prefersDark());

    portal.announce(appearanceNamespace, "color-scheme", 2);
    EXPECT_TRUE(iterateUntil(is(ColorScheme::light, ColorSchemeContrast::standard)));
    EXPECT_FALSE(prefersDark());
    portal.announce(appearanceNamespace, "contrast", 1);
    EXPECT_TRUE(iterateUntil(is(ColorScheme::light, ColorSchemeContrast::increased)));

    // Another namespace's key of the same name is not ours.
    portal.announce("org.gnome.desktop.interface", "color-scheme", 1);
    // No preference from the portal leaves the toolkit's setting in charge.
    portal.announce(appearanceNamespace, "contrast", 0);
    EXPECT_TRUE(iterateUntil(is(ColorScheme::light, ColorSchemeContrast::standard)));
    portal.announce(appearanceNamespace, "color-scheme", 0);
    g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    EXPECT_TRUE(iterateUntil(is(ColorScheme::dark, ColorSchemeContrast::standard)));
}

} // namespace

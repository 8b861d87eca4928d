#include "platform/appkit/CommandMenu.hpp"

#include <gtk/gtk.h>
#include <memory>

namespace platform {

namespace {

void performCommand(GSimpleAction* /*action*/, GVariant* /*parameter*/, gpointer data) {
    const auto& perform = *static_cast<const std::function<void()>*>(data);
    if (perform) {
        perform();
    }
}

void releaseCommand(gpointer data, GClosure* /*closure*/) {
    const std::unique_ptr<std::function<void()>> owner{static_cast<std::function<void()>*>(data)};
}

} // namespace

void CommandMenu::install(void* application, std::string_view title,
                          std::vector<Command> commands) {
    auto* const app = GTK_APPLICATION(application);
    GMenu* const section = g_menu_new();
    for (Command& command : commands) {
        GSimpleAction* const action = g_simple_action_new(command.actionName.c_str(), nullptr);
        auto perform = std::make_unique<std::function<void()>>(std::move(command.perform));
        g_signal_connect_data(action, "activate", G_CALLBACK(performCommand), perform.release(),
                              releaseCommand, GConnectFlags{});
        g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(action));
        g_object_unref(action);

        const std::string detailed = "app." + command.actionName;
        if (!command.accelerator.empty()) {
            const char* const accels[] = {command.accelerator.c_str(), nullptr};
            gtk_application_set_accels_for_action(app, detailed.c_str(), accels);
        }
        g_menu_append(section, command.title.c_str(), detailed.c_str());
    }

    GMenuModel* existing = gtk_application_get_menubar(app);
    GMenu* bar = nullptr;
    if (existing != nullptr && G_IS_MENU(existing)) {
        bar = G_MENU(g_object_ref(existing));
    } else {
        bar = g_menu_new();
        gtk_application_set_menubar(app, G_MENU_MODEL(bar));
    }
    const std::string menuTitle{title};
    g_menu_append_submenu(bar, menuTitle.c_str(), G_MENU_MODEL(section));
    g_object_unref(section);
    g_object_unref(bar);
}

void* CommandMenu::activeWindow(void* application) {
    return gtk_application_get_active_window(GTK_APPLICATION(application));
}

} // namespace platform

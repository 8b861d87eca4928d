#include "Mossbarrow/App/MossbarrowCommands.hpp"

#include "Mossbarrow/Views/MossbarrowWindow.hpp"
#include "platform/appkit/CommandMenu.hpp"

#include <gtkmm.h>

namespace mossbarrow {

std::optional<MossbarrowCommandHandler> MossbarrowCommands::focusedHandler(void* application) {
    GtkWindow* const active = gtk_application_get_active_window(GTK_APPLICATION(application));
    auto* const window =
        active == nullptr ? nullptr : dynamic_cast<MossbarrowWindow*>(Glib::wrap(active));
    if (window == nullptr) {
        return std::nullopt;
    }
    return window->content().commandHandler();
}

void MossbarrowCommands::install(void* application, std::function<void()> newWindow) {
    platform::CommandMenu::install(
        application, "File", {{"New Window", "new-window", "<Control>n", std::move(newWindow)}});
    // The closures look the handler up when they run, so they follow the focus.
    const auto perform = [application](std::function<void()> MossbarrowCommandHandler::*item) {
        return [application, item] {
            const auto handler = focusedHandler(application);
            if (handler && (*handler).*item) {
                ((*handler).*item)();
            }
        };
    };
    platform::CommandMenu::install(
        application, "Mossbarrow",
        {{"Refresh", "refresh", "<Control>r", perform(&MossbarrowCommandHandler::refresh)},
         {"Toggle Bookmark", "toggle-bookmark", "<Control>d",
          perform(&MossbarrowCommandHandler::toggleBookmark)},
         {"Copy", "copy", "<Control><Shift>c", perform(&MossbarrowCommandHandler::copy)}});
}

} // namespace mossbarrow

#include "Mossbarrow/App/MossbarrowCommands.hpp"

#include "Mossbarrow/App/MossbarrowWindow.hpp"
#include "platform/appkit/CommandMenu.hpp"

namespace mossbarrow {

std::optional<MossbarrowCommandHandler>
MossbarrowCommands::focusedHandler(const Glib::RefPtr<Gtk::Application>& application) {
    auto* const window = dynamic_cast<MossbarrowWindow*>(application->get_active_window());
    if (window == nullptr) {
        return std::nullopt;
    }
    return window->content().commandHandler();
}

void MossbarrowCommands::install(const Glib::RefPtr<Gtk::Application>& application) {
    // The closures look the handler up when they run, so they follow the focus.
    Gtk::Application* const app = application.get();
    const auto perform = [app](std::function<void()> MossbarrowCommandHandler::*item) {
        return [app, item] {
            const auto handler =
                focusedHandler(Glib::RefPtr<Gtk::Application>(app, [](Gtk::Application*) {}));
            if (handler && (*handler).*item) {
                ((*handler).*item)();
            }
        };
    };
    platform::CommandMenu::install(
        application->gobj(), "Mossbarrow",
        {{"Refresh", "refresh", "<Control>r", perform(&MossbarrowCommandHandler::refresh)},
         {"Toggle Bookmark", "toggle-bookmark", "<Control>d",
          perform(&MossbarrowCommandHandler::toggleBookmark)},
         {"Copy", "copy", "<Control><Shift>c", perform(&MossbarrowCommandHandler::copy)}});
}

} // namespace mossbarrow

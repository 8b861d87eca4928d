#pragma once

#include "Mossbarrow/Views/MossbarrowCommandHandler.hpp"

#include <functional>
#include <optional>

namespace mossbarrow {

// The application's menus: "File" with New Window (Ctrl+N), and its own menu, "Mossbarrow", with
// Refresh (Ctrl+R), Toggle Bookmark (Ctrl+D) and Copy (Shift+Ctrl+C). Each item of the latter
// calls the handler of the window in front; with no window, or one that offers none, an item
// does nothing. Plain Ctrl+C is left to the focused text.
class MossbarrowCommands {
public:
    // `application` is the GtkApplication*, after its start-up; `newWindow` opens a window.
    static void install(void* application, std::function<void()> newWindow);

    // The handler of the focused window of `application`, if it offers one.
    static std::optional<MossbarrowCommandHandler> focusedHandler(void* application);
};

} // namespace mossbarrow

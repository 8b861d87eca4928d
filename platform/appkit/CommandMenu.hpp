#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A menu of application commands with keyboard shortcuts, installed on a GTK application.
//
// Each command becomes an application action ("app.<actionName>") so that it is reachable both
// from the menu bar and through its accelerator in every window of the application. The
// commands themselves decide what to act on (usually the handler of the focused window, found
// with activeWindow()).
class CommandMenu {
public:
    struct Command {
        std::string title;       // the menu item's label
        std::string actionName;  // a GAction name: letters, digits, '-' and '.'
        std::string accelerator; // GTK accelerator syntax, e.g. "<Control><Shift>c"
        std::function<void()> perform;
    };

    // `application` is a GtkApplication* that has started up (its "startup" signal ran). Adds
    // the commands' actions and accelerators and appends a submenu titled `title` to the
    // application's menu bar, creating the bar when there is none.
    static void install(void* application, std::string_view title, std::vector<Command> commands);

    // The application's window that last had the focus (GtkWindow*), or null with none open.
    [[nodiscard]] static void* activeWindow(void* application);
};

} // namespace platform

#pragma once

#include "platform/data/ModelContainer.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mossbarrow {

class MossbarrowWindow;

// The application: the bookmark store shared by every window, the menu, and one window per
// activation.
class MossbarrowApp {
public:
    struct Options {
        // Replaces every service's root address (tests point it at a loopback server).
        std::optional<std::string> baseURLOverride;
        // The store file; the user's data directory when absent.
        std::optional<std::filesystem::path> storeURL;
    };

    // Opens the store; a store that cannot be opened ends the program with
    // "Could not create ModelContainer: " and the error.
    explicit MossbarrowApp(Options options);
    MossbarrowApp()
        : MossbarrowApp(Options{}) {}
    ~MossbarrowApp();
    MossbarrowApp(const MossbarrowApp&) = delete;
    MossbarrowApp& operator=(const MossbarrowApp&) = delete;

    // Runs the main loop until the last window closes; returns the exit status.
    int run(int argc, char** argv);
    // Starts up and opens the first window without running a loop of its own (the caller
    // iterates the main context): for tests and benchmarks.
    void launch();
    // Chooses a menu command by its action name ("refresh", "toggle-bookmark", "copy").
    void perform(std::string_view action);

    // The store of version 1.0.0 holding only bookmarks; throws when it cannot be opened.
    static platform::ModelContainer makeModelContainer(const Options& options);

    [[nodiscard]] platform::ModelContainer& container() noexcept { return *container_; }
    // Makes and shows a new window.
    MossbarrowWindow& openWindow();
    // Called with each new window (tests use it to drive the window).
    std::function<void(MossbarrowWindow&)> onWindow;

private:
    struct Host; // the toolkit's application and the open windows
    Options options_;
    std::unique_ptr<platform::ModelContainer> container_;
    std::unique_ptr<Host> host_;
};

} // namespace mossbarrow

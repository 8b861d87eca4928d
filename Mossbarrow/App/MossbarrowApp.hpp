#pragma once

#include "platform/data/ModelContainer.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mossbarrow {

class MossbarrowWindow;

// The application: the bookmark store shared by every window, the menu, and one window per
// activation. One instance runs per user session: launching the program again opens a new window
// in the running instance, which shares the store.
class MossbarrowApp {
public:
    // The name the running instance owns on the session bus.
    static constexpr const char* applicationId = "org.mossbarrow.Mossbarrow";

    struct Options {
        // Replaces every service's root address (tests point it at a loopback server).
        std::optional<std::string> baseURLOverride;
        // The store file; the user's data directory when absent.
        std::optional<std::filesystem::path> storeURL;
        // False: this process keeps to itself, neither joining nor serving other launches
        // (tests and benchmarks that run several applications one after the other).
        bool singleInstance = true;
        // The name on the session bus. Applications that come and go in one process take one
        // each: the toolkit keeps a name's objects on the bus for the whole process.
        std::string applicationId = MossbarrowApp::applicationId;
    };

    // The store is opened when the application starts up as the running instance. A store that
    // cannot be opened (not a store, damaged, locked, not a file) is left as it is: no window
    // opens, the message "Could not create ModelContainer: " and the error is written to standard
    // error and shown in a dialog, and once the dialog is closed run() returns 1.
    explicit MossbarrowApp(Options options);
    MossbarrowApp()
        : MossbarrowApp(Options{}) {}
    ~MossbarrowApp();
    MossbarrowApp(const MossbarrowApp&) = delete;
    MossbarrowApp& operator=(const MossbarrowApp&) = delete;

    // Runs the main loop until the last window closes or the process is asked to terminate
    // (SIGTERM, SIGINT); returns the exit status. When another instance is running, asks it for
    // a new window and returns at once.
    int run(int argc, char** argv);
    // Starts up and opens the first window without running a loop of its own (the caller
    // iterates the main context): for tests and benchmarks.
    void launch();
    // Chooses a menu command by its action name ("new-window", "refresh", "toggle-bookmark",
    // "copy").
    void perform(std::string_view action);

    // The store of version 1.0.0 holding only bookmarks; throws when it cannot be opened.
    static platform::ModelContainer makeModelContainer(const Options& options);

    // The shared store; only valid once the application started up.
    [[nodiscard]] platform::ModelContainer& container() noexcept { return *container_; }
    // Makes and shows a new window.
    MossbarrowWindow& openWindow();
    // The windows open now, oldest first.
    [[nodiscard]] std::size_t windowCount() const noexcept;
    [[nodiscard]] MossbarrowWindow& window(std::size_t index) const;
    // Called with each new window (tests use it to drive the window).
    std::function<void(MossbarrowWindow&)> onWindow;

    // Why start-up failed, when it did.
    [[nodiscard]] const std::optional<std::string>& startUpFailure() const noexcept {
        return startUpFailure_;
    }
    // The dialog telling of a failed start-up while it is shown (a GtkWindow*), else null.
    [[nodiscard]] void* failureDialog() const noexcept;

private:
    void startUp();
    // Closes every window and aborts the requests still in flight.
    void shutDown();
    void showStartUpFailure();

    struct Host; // the toolkit's application and the open windows
    Options options_;
    std::unique_ptr<platform::ModelContainer> container_;
    std::optional<std::string> startUpFailure_;
    std::unique_ptr<Host> host_;
};

} // namespace mossbarrow

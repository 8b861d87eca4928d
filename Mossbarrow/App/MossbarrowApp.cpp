#include "Mossbarrow/App/MossbarrowApp.hpp"

#include "Mossbarrow/App/MossbarrowCommands.hpp"
#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/MossbarrowWindow.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <csignal>
#include <cstdlib>
#include <glib-unix.h>
#include <gtkmm.h>
#include <iostream>
#include <vector>

namespace mossbarrow {

struct MossbarrowApp::Host {
    Glib::RefPtr<Gtk::Application> application;
    std::vector<std::unique_ptr<MossbarrowWindow>> windows;
    // Window bookkeeping callbacks, cut before the windows go with the application.
    std::vector<sigc::connection> connections;
    // The termination signal watches, removed with the application.
    std::vector<guint> signalSources;
    // Tells why the store could not be opened; the program ends when it closes.
    std::unique_ptr<Gtk::MessageDialog> failureDialog;
    // The connection pool of every window's clients, shared with them: a request holds it until
    // the request ends, however long the windows and this application are gone by then.
    // Shutting down invalidates it, which aborts the transfers still in flight (and ends later
    // ones at once), so that the program never waits for a reply on its way out.
    std::shared_ptr<platform::URLSession> session;
};

namespace {

std::string describe(const std::exception& error) {
    if (const auto* const described = dynamic_cast<const platform::Error*>(&error)) {
        return described->localizedDescription();
    }
    return error.what();
}

gboolean quitOnSignal(gpointer application) {
    g_application_quit(G_APPLICATION(application));
    return G_SOURCE_CONTINUE;
}

} // namespace

platform::ModelContainer MossbarrowApp::makeModelContainer(const Options& options) {
    platform::Schema schema({&Bookmark::entityDescription()}, platform::Schema::Version{1, 0, 0});
    platform::ModelConfiguration configuration;
    configuration.url = options.storeURL;
    configuration.isStoredInMemoryOnly = false;
    return platform::ModelContainer(std::move(schema), configuration);
}

MossbarrowApp::MossbarrowApp(Options options)
    : options_(std::move(options))
    , host_(std::make_unique<Host>()) {
    host_->application = Gtk::Application::create(
        options_.applicationId, options_.singleInstance ? Gio::Application::Flags::DEFAULT_FLAGS
                                                        : Gio::Application::Flags::NON_UNIQUE);
    // Start-up and activation run only in the instance that owns the name: a second launch
    // hands its activation over and ends without opening the store or a display.
    host_->application->signal_startup().connect([this] { startUp(); });
    host_->application->signal_activate().connect([this] {
        if (startUpFailure_) {
            showStartUpFailure();
        } else {
            openWindow();
        }
    });
    host_->application->signal_shutdown().connect([this] { shutDown(); });
}

void MossbarrowApp::startUp() {
    // A terminating signal ends the program like closing its last window, without waiting for
    // replies still on their way (or, after a failed start-up, like closing the dialog).
    for (const int signal : {SIGTERM, SIGINT}) {
        host_->signalSources.push_back(
            g_unix_signal_add(signal, quitOnSignal, host_->application->gobj()));
    }
    try {
        container_ = std::make_unique<platform::ModelContainer>(makeModelContainer(options_));
    } catch (const std::exception& error) {
        // Nothing else starts: activation shows the message instead of a window. The store file
        // is left exactly as it was found, for the user (or a backup) to deal with.
        startUpFailure_ = "Could not create ModelContainer: " + describe(error);
        std::cerr << *startUpFailure_ << std::endl;
        return;
    }
    host_->session = std::make_shared<platform::URLSession>();
    platform::MainExecutor::shared().attachToGlibMainContext(g_main_context_default());
    MossbarrowCommands::install(host_->application->gobj(), [this] { openWindow(); });
}

MossbarrowApp::~MossbarrowApp() {
    shutDown();
}

void MossbarrowApp::showStartUpFailure() {
    if (host_->failureDialog) {
        host_->failureDialog->present();
        return;
    }
    host_->failureDialog = std::make_unique<Gtk::MessageDialog>(
        "Mossbarrow cannot start", false, Gtk::MessageType::ERROR, Gtk::ButtonsType::CLOSE, true);
    Gtk::MessageDialog& dialog = *host_->failureDialog;
    dialog.set_secondary_text(*startUpFailure_);
    dialog.set_hide_on_close(true);
    host_->application->add_window(dialog);
    // Closing the dialog, by its button or the window's, ends the program: it was the only
    // window.
    dialog.signal_response().connect([&dialog](int) { dialog.hide(); });
    host_->connections.push_back(dialog.signal_hide().connect([this] {
        host_->connections.push_back(Glib::signal_idle().connect([this] {
            if (host_->failureDialog) {
                host_->application->remove_window(*host_->failureDialog);
            }
            return false;
        }));
    }));
    dialog.present();
}

void* MossbarrowApp::failureDialog() const noexcept {
    return host_->failureDialog && host_->failureDialog->get_visible()
               ? static_cast<void*>(host_->failureDialog->gobj())
               : nullptr;
}

void MossbarrowApp::shutDown() {
    for (const guint source : host_->signalSources) {
        g_source_remove(source);
    }
    host_->signalSources.clear();
    for (auto& connection : host_->connections) {
        connection.disconnect();
    }
    host_->connections.clear();
    host_->windows.clear();
    host_->failureDialog.reset();
    // The windows' models may outlive them in their loads; those end now, with a cancellation,
    // and so does every request still on its way to the session (it may be about to start on
    // the client's executor this very moment). The session itself goes with its last request.
    if (host_->session) {
        host_->session->invalidateAndCancel();
        host_->session.reset();
    }
}

MossbarrowWindow& MossbarrowApp::openWindow() {
    ContentView::Clients clients{APIClient::make(host_->session, options_.baseURLOverride),
                                 APIClient::make(host_->session, options_.baseURLOverride)};
    host_->windows.push_back(
        std::make_unique<MossbarrowWindow>(container_->mainContext(), std::move(clients)));
    MossbarrowWindow* const window = host_->windows.back().get();
    // Closing only hides: the window is ours to free, after GTK is done with it (below).
    window->set_hide_on_close(true);
    host_->application->add_window(*window);
    host_->connections.push_back(window->signal_hide().connect([this, window] {
        // Closing discards the window and its state; it is freed once GTK is done with it.
        host_->connections.push_back(Glib::signal_idle().connect([this, window] {
            host_->application->remove_window(*window);
            std::erase_if(host_->windows, [window](const auto& w) { return w.get() == window; });
            return false;
        }));
    }));
    window->present();
    if (onWindow) {
        onWindow(*window);
    }
    return *window;
}

std::size_t MossbarrowApp::windowCount() const noexcept {
    return host_->windows.size();
}

MossbarrowWindow& MossbarrowApp::window(std::size_t index) const {
    return *host_->windows.at(index);
}

int MossbarrowApp::run(int argc, char** argv) {
    const int status = host_->application->run(argc, argv);
    return startUpFailure_ ? 1 : status;
}

void MossbarrowApp::launch() {
    host_->application->register_application();
    host_->application->activate();
}

void MossbarrowApp::perform(std::string_view action) {
    host_->application->activate_action(Glib::ustring(std::string(action)));
}

} // namespace mossbarrow

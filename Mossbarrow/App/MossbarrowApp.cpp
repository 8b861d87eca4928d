#include "Mossbarrow/App/MossbarrowApp.hpp"

#include "Mossbarrow/App/MossbarrowCommands.hpp"
#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/MossbarrowWindow.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <cstdlib>
#include <gtkmm.h>
#include <iostream>
#include <vector>

namespace mossbarrow {

struct MossbarrowApp::Host {
    Glib::RefPtr<Gtk::Application> application;
    std::vector<std::unique_ptr<MossbarrowWindow>> windows;
    // Window bookkeeping callbacks, cut before the windows go with the application.
    std::vector<sigc::connection> connections;
};

namespace {

std::string describe(const std::exception& error) {
    if (const auto* const described = dynamic_cast<const platform::Error*>(&error)) {
        return described->localizedDescription();
    }
    return error.what();
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
    try {
        container_ = std::make_unique<platform::ModelContainer>(makeModelContainer(options_));
    } catch (const std::exception& error) {
        std::cerr << "Could not create ModelContainer: " << describe(error) << std::endl;
        std::abort();
    }
    host_->application = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
    host_->application->signal_startup().connect([this] {
        platform::MainExecutor::shared().attachToGlibMainContext(g_main_context_default());
        MossbarrowCommands::install(host_->application->gobj());
    });
    host_->application->signal_activate().connect([this] { openWindow(); });
}

MossbarrowApp::~MossbarrowApp() {
    for (auto& connection : host_->connections) {
        connection.disconnect();
    }
    host_->windows.clear();
}

MossbarrowWindow& MossbarrowApp::openWindow() {
    ContentView::Clients clients = ContentView::Clients::makeDefault();
    if (options_.baseURLOverride) {
        clients = {APIClient::make(platform::URLSession::shared(), options_.baseURLOverride),
                   APIClient::make(platform::URLSession::shared(), options_.baseURLOverride)};
    }
    host_->windows.push_back(
        std::make_unique<MossbarrowWindow>(container_->mainContext(), std::move(clients)));
    MossbarrowWindow* const window = host_->windows.back().get();
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

int MossbarrowApp::run(int argc, char** argv) {
    return host_->application->run(argc, argv);
}

void MossbarrowApp::launch() {
    host_->application->register_application();
    host_->application->activate();
}

void MossbarrowApp::perform(std::string_view action) {
    host_->application->activate_action(Glib::ustring(std::string(action)));
}

} // namespace mossbarrow

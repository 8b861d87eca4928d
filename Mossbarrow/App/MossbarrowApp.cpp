#include "Mossbarrow/App/MossbarrowApp.hpp"

#include "Mossbarrow/App/MossbarrowCommands.hpp"
#include "Mossbarrow/Bookmark.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <cstdlib>
#include <iostream>

namespace mossbarrow {

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
    : options_(std::move(options)) {
    try {
        container_ = std::make_unique<platform::ModelContainer>(makeModelContainer(options_));
    } catch (const std::exception& error) {
        std::cerr << "Could not create ModelContainer: " << describe(error) << std::endl;
        std::abort();
    }
    application_ = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
    application_->signal_startup().connect([this] {
        platform::MainExecutor::shared().attachToGlibMainContext(g_main_context_default());
        MossbarrowCommands::install(application_);
    });
    application_->signal_activate().connect([this] { openWindow(); });
}

MossbarrowWindow& MossbarrowApp::openWindow() {
    ContentView::Clients clients = ContentView::Clients::makeDefault();
    if (options_.baseURLOverride) {
        clients = {APIClient::make(platform::URLSession::shared(), options_.baseURLOverride),
                   APIClient::make(platform::URLSession::shared(), options_.baseURLOverride)};
    }
    windows_.push_back(
        std::make_unique<MossbarrowWindow>(container_->mainContext(), std::move(clients)));
    MossbarrowWindow* const window = windows_.back().get();
    application_->add_window(*window);
    connections_.push_back(window->signal_hide().connect([this, window] {
        // Closing discards the window and its state; it is freed once GTK is done with it.
        connections_.push_back(Glib::signal_idle().connect([this, window] {
            application_->remove_window(*window);
            std::erase_if(windows_, [window](const auto& w) { return w.get() == window; });
            return false;
        }));
    }));
    window->present();
    if (onWindow) {
        onWindow(*window);
    }
    return *window;
}

MossbarrowApp::~MossbarrowApp() {
    for (auto& connection : connections_) {
        connection.disconnect();
    }
    windows_.clear();
}

int MossbarrowApp::run(int argc, char** argv) {
    return application_->run(argc, argv);
}

} // namespace mossbarrow

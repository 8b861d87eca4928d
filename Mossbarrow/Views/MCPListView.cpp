#include "Mossbarrow/Views/MCPListView.hpp"

#include "platform/runtime/Task.hpp"

namespace mossbarrow {

MCPListView::MCPListView(std::shared_ptr<MCPBrowserViewModel> viewModel,
                         std::function<void(const ServerResponse&)> onSelect)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0)
    , viewModel_(std::move(viewModel))
    , onSelect_(std::move(onSelect))
    , search_("Search MCP servers",
              [this](const std::string& text) { viewModel_->setSearchQuery(text); })
    , error_("", "Retry",
             [this] {
                 // The text of the moment the button is pressed, not of the failed load.
                 platform::Task<void>::run(
                     [model = viewModel_, search = viewModel_->searchQuery()] {
                         return model->loadServers(true, search);
                     });
             })
    , list_([](const ServerResponse& server) { return server.id(); })
    , render_([this] { render(); }) {
    search_.set_margin(12);
    append(search_);
    append(divider_);

    list_.onTap = [this](const ServerResponse& server) {
        if (onSelect_) {
            onSelect_(server);
        }
    };
    list_.onLastRowShown = [this](const ServerResponse& server) {
        const auto& servers = viewModel_->servers();
        if (!servers.empty() && servers.back().id() == server.id()) {
            viewModel_->loadMoreIfNeeded();
        }
    };
    loadingMore_.set_spinning(true);
    loadingMore_.set_halign(Gtk::Align::CENTER);
    loadingMore_.set_valign(Gtk::Align::END);
    loadingMore_.set_margin_top(8);
    loadingMore_.set_margin_bottom(8);
    overlay_.set_child(list_);
    overlay_.add_overlay(loadingMore_);

    content_.add(loading_, "loading");
    content_.add(error_, "error");
    content_.add(empty_, "empty");
    content_.add(overlay_, "list");
    content_.set_vexpand(true);
    append(content_);

    signal_map().connect([this] { viewModel_->loadIfNeeded(); });
    render_.renderNow();
}

void MCPListView::setSelectedServerId(std::optional<std::string> id) {
    list_.setSelectedId(std::move(id));
}

void MCPListView::render() {
    const auto& servers = viewModel_->servers();
    search_.setText(viewModel_->searchQuery());
    const auto& errorMessage = viewModel_->errorMessage();
    if (viewModel_->isLoading() && servers.empty()) {
        content_.set_visible_child("loading");
    } else if (errorMessage && servers.empty()) {
        error_.setMessage(*errorMessage);
        content_.set_visible_child("error");
    } else if (servers.empty()) {
        content_.set_visible_child("empty");
    } else {
        content_.set_visible_child("list");
    }
    list_.setRecords(servers);
    loadingMore_.set_visible(viewModel_->isLoadingMore());
}

} // namespace mossbarrow

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
    , panel_(
          {"Loading MCP registry", "No servers", "Try a different search term."},
          [this] {
              // The text of the moment the button is pressed, not of the failed load.
              platform::Task<void>::run([model = viewModel_, search = viewModel_->searchQuery()] {
                  return model->loadServers(true, search);
              });
          },
          [](const ServerResponse& server) { return server.id(); })
    , render_([this] { render(); }) {
    search_.set_margin(12);
    append(search_);
    append(divider_);

    auto& list = panel_.list();
    list.onTap = [this](const ServerResponse& server) {
        if (onSelect_) {
            onSelect_(server);
        }
    };
    list.onLastRowShown = [this](const ServerResponse& server) {
        const auto& servers = viewModel_->servers();
        if (!servers.empty() && servers.back().id() == server.id()) {
            viewModel_->loadMoreIfNeeded();
        }
    };
    append(panel_);

    signal_map().connect([this] { viewModel_->loadIfNeeded(); });
    render_.renderNow();
}

void MCPListView::setSelectedServerId(std::optional<std::string> id) {
    panel_.list().setSelectedId(std::move(id));
}

void MCPListView::render() {
    const auto& servers = viewModel_->servers();
    search_.setText(viewModel_->searchQuery());
    panel_.show(viewModel_->isLoading(), !servers.empty(), viewModel_->errorMessage(), servers,
                viewModel_->isLoadingMore());
}

} // namespace mossbarrow

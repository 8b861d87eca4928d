#pragma once

#include "Mossbarrow/MCPBrowserViewModel.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/ErrorView.hpp"
#include "Mossbarrow/Views/LoadingView.hpp"
#include "Mossbarrow/Views/MCPServerRow.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "Mossbarrow/Views/SearchField.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace mossbarrow {

// The middle column of the MCP Registry section: search field, then the loading, error or empty
// state, or the servers loaded so far (the next page is requested when the last row shows).
// The selection belongs to the window: it is given in, and taps are reported out.
class MCPListView : public Gtk::Box {
public:
    MCPListView(std::shared_ptr<MCPBrowserViewModel> viewModel,
                std::function<void(const ServerResponse&)> onSelect);

    void setSelectedServerId(std::optional<std::string> id);

    // "loading", "error", "empty" or "list": the form the content area shows.
    [[nodiscard]] Glib::ustring visibleForm() const { return content_.get_visible_child_name(); }
    [[nodiscard]] SearchField& searchField() noexcept { return search_; }
    [[nodiscard]] ErrorView& errorView() noexcept { return error_; }
    [[nodiscard]] RecordListView<ServerResponse, MCPServerRow>& list() noexcept { return list_; }
    [[nodiscard]] bool showsLoadingMore() const { return loadingMore_.get_visible(); }

private:
    void render();

    std::shared_ptr<MCPBrowserViewModel> viewModel_;
    std::function<void(const ServerResponse&)> onSelect_;
    SearchField search_;
    Gtk::Separator divider_;
    Gtk::Stack content_;
    LoadingView loading_{"Loading MCP registry"};
    ErrorView error_;
    EmptyStateView empty_{"No servers", "Try a different search term."};
    Gtk::Overlay overlay_;
    RecordListView<ServerResponse, MCPServerRow> list_;
    Gtk::Spinner loadingMore_;
    ObservedRender render_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/MCPBrowserViewModel.hpp"
#include "Mossbarrow/Views/MCPServerRow.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "Mossbarrow/Views/PagedListPanel.hpp"
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
    [[nodiscard]] Glib::ustring visibleForm() const { return panel_.visibleForm(); }
    [[nodiscard]] SearchField& searchField() noexcept { return search_; }
    [[nodiscard]] ErrorView& errorView() noexcept { return panel_.errorView(); }
    [[nodiscard]] RecordListView<ServerResponse, MCPServerRow>& list() noexcept {
        return panel_.list();
    }
    [[nodiscard]] bool showsLoadingMore() const { return panel_.showsLoadingMore(); }

private:
    void render();

    std::shared_ptr<MCPBrowserViewModel> viewModel_;
    std::function<void(const ServerResponse&)> onSelect_;
    SearchField search_;
    Gtk::Separator divider_;
    PagedListPanel<ServerResponse, MCPServerRow> panel_;
    ObservedRender render_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/MCPBrowserViewModel.hpp"
#include "Mossbarrow/Views/BookmarkButton.hpp"
#include "Mossbarrow/Views/CopyButton.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "platform/data/ModelContext.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace mossbarrow {

// The detail column of the MCP Registry section: everything about the selected server, its
// JSON text with a copy button, its version history on request, and its bookmark.
class MCPDetailView : public Gtk::Stack {
public:
    MCPDetailView(std::shared_ptr<MCPBrowserViewModel> viewModel, platform::ModelContext& context,
                  std::function<void(const std::string&)> reportFailure);

    // Shows `server` (nothing selected when absent). Another server, by id, or a changed record
    // of the same one, starts afresh: its bookmark state is read from the store and the copy
    // button loses its check mark.
    void setServer(const std::optional<ServerResponse>& server);
    // Reads the bookmark state from the store again (the detail came on screen).
    void refreshBookmarkState();

    [[nodiscard]] bool isBookmarked() const noexcept { return isBookmarked_; }
    // For tests: the widgets of the server shown, null when nothing is shown.
    [[nodiscard]] BookmarkButton* bookmarkButton() noexcept { return bookmark_; }
    [[nodiscard]] Gtk::Label* versionLabel() noexcept { return version_; }
    [[nodiscard]] CopyButton* copyButton() noexcept { return copy_; }
    [[nodiscard]] Gtk::Button* loadVersionsButton() noexcept { return loadVersions_; }
    // Every text shown in the pane, in order, one per line (for tests and screenshots).
    [[nodiscard]] std::string shownText() const;

private:
    void build(const ServerResponse& server);
    void renderVersions();
    void toggleBookmark();

    std::shared_ptr<MCPBrowserViewModel> viewModel_;
    platform::ModelContext& context_;
    std::function<void(const std::string&)> reportFailure_;
    std::optional<ServerResponse> server_;
    bool isBookmarked_ = false;

    EmptyStateView empty_{"Select a server", "Choose an MCP server from the list."};
    std::unique_ptr<Gtk::ScrolledWindow> scroll_;
    BookmarkButton* bookmark_ = nullptr;
    Gtk::Label* version_ = nullptr;
    CopyButton* copy_ = nullptr;
    Gtk::Button* loadVersions_ = nullptr;
    Gtk::Box* versions_ = nullptr;
    ObservedRender versionsRender_;
};

} // namespace mossbarrow

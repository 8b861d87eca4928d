#pragma once

#include "Mossbarrow/APIClient.hpp"
#include "Mossbarrow/BookmarkViewModel.hpp"
#include "Mossbarrow/MCPBrowserViewModel.hpp"
#include "Mossbarrow/SidebarSection.hpp"
#include "Mossbarrow/SkillSelection.hpp"
#include "Mossbarrow/SkillsBrowserViewModel.hpp"
#include "Mossbarrow/Views/BookmarkDetailView.hpp"
#include "Mossbarrow/Views/BookmarksListView.hpp"
#include "Mossbarrow/Views/MCPDetailView.hpp"
#include "Mossbarrow/Views/MCPListView.hpp"
#include "Mossbarrow/Views/MossbarrowCommandHandler.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "Mossbarrow/Views/SidebarView.hpp"
#include "Mossbarrow/Views/SkillDetailView.hpp"
#include "Mossbarrow/Views/SkillsListView.hpp"
#include "platform/data/ModelContext.hpp"

#include <functional>
#include <gtkmm.h>
#include <memory>
#include <optional>
#include <string>

namespace mossbarrow {

// The whole content of one window: sidebar, list and detail columns, the window's state (the
// section shown, one selection per section, the two browsing view models) and the three menu
// commands acting on it.
class ContentView : public Gtk::Box {
public:
    // The clients of the two browsing models; each model gets its own.
    struct Clients {
        std::shared_ptr<APIClient> mcp;
        std::shared_ptr<APIClient> skills;
        // Two clients over the shared session with default decoders.
        static Clients makeDefault();
    };

    ContentView(platform::ModelContext& context, Clients clients);

    // "Mossbarrow - Skills", "Mossbarrow - MCP Registry" or "Mossbarrow - Bookmarks".
    [[nodiscard]] std::string title() const;
    // Called whenever title() changes.
    std::function<void(const std::string&)> onTitleChange;

    [[nodiscard]] MossbarrowCommandHandler commandHandler();
    void refreshCurrentSection();
    void toggleBookmarkForSelection();
    void copySelection();

    void selectSection(SidebarSection section);
    [[nodiscard]] SidebarSection section() const noexcept { return section_; }
    [[nodiscard]] const std::optional<ServerResponse>& selectedServer() const noexcept {
        return selectedServer_;
    }
    [[nodiscard]] const std::optional<SkillSelection>& selectedSkill() const noexcept {
        return selectedSkill_;
    }
    [[nodiscard]] const std::shared_ptr<Bookmark>& selectedBookmark() const noexcept {
        return selectedBookmark_;
    }
    void selectServer(const ServerResponse& server);
    void selectSkill(const SkillSelection& skill);
    void selectBookmark(const std::shared_ptr<Bookmark>& bookmark);

    // The last failure shown in the window's banner (empty when none is shown).
    [[nodiscard]] std::string shownFailure() const;
    void reportFailure(const std::string& message);

    [[nodiscard]] const std::shared_ptr<MCPBrowserViewModel>& mcpViewModel() const noexcept {
        return mcpViewModel_;
    }
    [[nodiscard]] const std::shared_ptr<SkillsBrowserViewModel>& skillsViewModel() const noexcept {
        return skillsViewModel_;
    }
    [[nodiscard]] SidebarView& sidebar() noexcept { return sidebar_; }
    [[nodiscard]] SkillsListView& skillsList() noexcept { return skillsList_; }
    [[nodiscard]] MCPListView& mcpList() noexcept { return mcpList_; }
    [[nodiscard]] BookmarksListView& bookmarksList() noexcept { return bookmarksList_; }
    [[nodiscard]] SkillDetailView& skillDetail() noexcept { return skillDetail_; }
    [[nodiscard]] MCPDetailView& mcpDetail() noexcept { return mcpDetail_; }
    [[nodiscard]] BookmarkDetailView& bookmarkDetail() noexcept { return bookmarkDetail_; }

private:
    void showSection();
    void bookmarksChanged();
    void followReloadedRecords();

    platform::ModelContext& context_;
    SidebarSection section_ = SidebarSection::skills;
    std::optional<ServerResponse> selectedServer_;
    std::shared_ptr<MCPBrowserViewModel> mcpViewModel_;
    std::shared_ptr<SkillsBrowserViewModel> skillsViewModel_;
    std::optional<SkillSelection> selectedSkill_;
    std::shared_ptr<Bookmark> selectedBookmark_;

    Gtk::Revealer banner_;
    Gtk::Box bannerBox_{Gtk::Orientation::HORIZONTAL, 8};
    Gtk::Label bannerText_;
    Gtk::Button bannerClose_;
    Gtk::Paned outer_{Gtk::Orientation::HORIZONTAL};
    Gtk::Paned inner_{Gtk::Orientation::HORIZONTAL};
    SidebarView sidebar_;
    Gtk::Stack lists_;
    Gtk::Stack details_;
    SkillsListView skillsList_;
    MCPListView mcpList_;
    BookmarksListView bookmarksList_;
    SkillDetailView skillDetail_;
    MCPDetailView mcpDetail_;
    BookmarkDetailView bookmarkDetail_;
    // Keeps the selections on the records the lists hold now (last: it drives the views above).
    ObservedRender followRecords_;
};

} // namespace mossbarrow

#include "Mossbarrow/Views/ContentView.hpp"

#include "Mossbarrow/Views/BookmarkDamage.hpp"
#include "Mossbarrow/Views/BookmarkToggle.hpp"
#include "Mossbarrow/Views/ServerJSONText.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/runtime/Task.hpp"

#include <algorithm>
#include <iostream>

namespace mossbarrow {

namespace {

void putOnPasteboard(const std::string& text) {
    auto& pasteboard = platform::Pasteboard::general();
    pasteboard.clearContents();
    pasteboard.setString(text);
}

const char* sectionTitle(SidebarSection section) {
    switch (section.value()) {
    case SidebarSection::skills:
        return "Mossbarrow - Skills";
    case SidebarSection::mcpRegistry:
        return "Mossbarrow - MCP Registry";
    case SidebarSection::bookmarks:
        return "Mossbarrow - Bookmarks";
    }
    return "Mossbarrow";
}

} // namespace

ContentView::Clients ContentView::Clients::makeDefault() {
    return {APIClient::make(), APIClient::make()};
}

ContentView::ContentView(platform::ModelContext& context, Clients clients)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0)
    , context_(context)
    , mcpViewModel_(MCPBrowserViewModel::make(std::move(clients.mcp)))
    , skillsViewModel_(SkillsBrowserViewModel::make(std::move(clients.skills)))
    , sidebar_([this](SidebarSection section) { selectSection(section); })
    , skillsList_(skillsViewModel_, [this](const SkillSelection& skill) { selectSkill(skill); })
    , mcpList_(mcpViewModel_, [this](const ServerResponse& server) { selectServer(server); })
    , bookmarksList_(
          context, [this](const std::shared_ptr<Bookmark>& bookmark) { selectBookmark(bookmark); },
          [this](const std::string& failure) { reportFailure(failure); })
    , skillDetail_(context, [this](const std::string& failure) { reportFailure(failure); })
    , mcpDetail_(mcpViewModel_, context,
                 [this](const std::string& failure) { reportFailure(failure); })
    , followRecords_([this] { followReloadedRecords(); }) {
    installStyles();
    set_size_request(900, 600);

    wrapAnywhere(bannerText_);
    bannerText_.set_hexpand(true);
    bannerClose_.set_icon_name("window-close-symbolic");
    bannerClose_.set_has_frame(false);
    bannerClose_.signal_clicked().connect([this] { banner_.set_reveal_child(false); });
    bannerBox_.set_margin(8);
    bannerBox_.append(bannerText_);
    bannerBox_.append(bannerClose_);
    bannerBox_.add_css_class("error");
    banner_.set_child(bannerBox_);
    banner_.set_reveal_child(false);
    append(banner_);

    sidebar_.set_size_request(180, -1);
    lists_.add(skillsList_, "skills");
    lists_.add(mcpList_, "mcpRegistry");
    lists_.add(bookmarksList_, "bookmarks");
    lists_.set_size_request(300, -1);
    details_.add(skillDetail_, "skills");
    details_.add(mcpDetail_, "mcpRegistry");
    details_.add(bookmarkDetail_, "bookmarks");
    details_.set_size_request(380, -1);

    inner_.set_start_child(lists_);
    inner_.set_end_child(details_);
    inner_.set_resize_start_child(false);
    inner_.set_shrink_start_child(false);
    inner_.set_shrink_end_child(false);
    inner_.set_position(340);
    outer_.set_start_child(sidebar_);
    outer_.set_end_child(inner_);
    outer_.set_resize_start_child(false);
    outer_.set_shrink_start_child(false);
    outer_.set_shrink_end_child(false);
    outer_.set_position(220);
    outer_.set_vexpand(true);
    append(outer_);

    bookmarksList_.onStoreChange = [this] { bookmarksChanged(); };
    showSection();
    followRecords_.renderNow();
}

std::string ContentView::title() const {
    return sectionTitle(section_);
}

void ContentView::selectSection(SidebarSection section) {
    if (section == section_) {
        return;
    }
    section_ = section;
    showSection();
}

void ContentView::showSection() {
    sidebar_.setSection(section_);
    const std::string name{section_.rawValue()};
    lists_.set_visible_child(name);
    details_.set_visible_child(name);
    if (onTitleChange) {
        onTitleChange(title());
    }
}

void ContentView::selectServer(const ServerResponse& server) {
    selectedServer_ = server;
    mcpList_.setSelectedServerId(server.id());
    mcpDetail_.setServer(selectedServer_);
}

void ContentView::selectSkill(const SkillSelection& skill) {
    selectedSkill_ = skill;
    skillsList_.setSelectedId(skill.id());
    skillDetail_.setSelection(selectedSkill_);
}

void ContentView::selectBookmark(const std::shared_ptr<Bookmark>& bookmark) {
    selectedBookmark_ = bookmark;
    bookmarksList_.setSelected(bookmark);
    bookmarkDetail_.setBookmark(bookmark);
}

void ContentView::bookmarksChanged() {
    // A deleted bookmark stays neither selected nor shown: its record is gone from the store and
    // must not be read again.
    if (selectedBookmark_) {
        const auto current = bookmarksList_.bookmarks();
        if (std::find(current.begin(), current.end(), selectedBookmark_) == current.end()) {
            selectBookmark(nullptr);
        }
    }
}

void ContentView::followReloadedRecords() {
    // A reload can bring a changed record under the selected id (a new title or description
    // with the same name and version): the selection, and so the detail, takes it. The lists
    // are read whatever is selected, so that every reload is seen.
    const auto& servers = mcpViewModel_->servers();
    const auto& clawItems = skillsViewModel_->openClawItems();
    const auto& ostrelItems = skillsViewModel_->ostrelAll();
    if (selectedServer_) {
        const std::string id = selectedServer_->id();
        const auto found = std::find_if(servers.begin(), servers.end(),
                                        [&](const ServerResponse& s) { return s.id() == id; });
        if (found != servers.end()) {
            selectServer(*found);
        }
    }
    if (selectedSkill_) {
        if (const ClawHubSkill* const skill = selectedSkill_->clawSkill()) {
            const auto found = std::find(clawItems.begin(), clawItems.end(), *skill);
            if (found != clawItems.end()) {
                selectSkill(SkillSelection::claw(*found));
            }
        } else if (const OstrelSkill* const ostrel = selectedSkill_->ostrelSkill()) {
            const auto found = std::find(ostrelItems.begin(), ostrelItems.end(), *ostrel);
            if (found != ostrelItems.end()) {
                selectSkill(SkillSelection::ostrel(*found));
            }
        }
    }
}

void ContentView::reportFailure(const std::string& message) {
    std::cerr << message << '\n';
    bannerText_.set_text(message);
    banner_.set_reveal_child(true);
}

std::string ContentView::shownFailure() const {
    return banner_.get_reveal_child() ? std::string(bannerText_.get_text()) : std::string{};
}

MossbarrowCommandHandler ContentView::commandHandler() {
    return {[this] { refreshCurrentSection(); }, [this] { toggleBookmarkForSelection(); },
            [this] { copySelection(); }};
}

void ContentView::refreshCurrentSection() {
    switch (section_.value()) {
    case SidebarSection::skills:
        skillsViewModel_->refresh();
        break;
    case SidebarSection::mcpRegistry:
        platform::Task<void>::run([model = mcpViewModel_, search = mcpViewModel_->searchQuery()] {
            return model->loadServers(true, search);
        });
        break;
    case SidebarSection::bookmarks:
        break;
    }
}

void ContentView::toggleBookmarkForSelection() {
    std::optional<BookmarkToggle> outcome;
    switch (section_.value()) {
    case SidebarSection::skills:
        if (selectedSkill_) {
            const auto key = SkillDetailView::bookmarkKey(*selectedSkill_);
            outcome =
                BookmarkToggle::perform(key.kind, key.title, key.subtitle, key.payload, context_);
        }
        break;
    case SidebarSection::mcpRegistry:
        if (selectedServer_) {
            const ServerJSON& server = selectedServer_->server;
            outcome = BookmarkToggle::perform("mcp", server.title.value_or(server.name),
                                              server.description, server.name, context_);
        }
        break;
    case SidebarSection::bookmarks:
        if (selectedBookmark_) {
            try {
                context_.remove(selectedBookmark_);
            } catch (const std::exception& error) {
                reportFailure(std::string("Could not delete the bookmark: ") + error.what());
            }
        }
        break;
    }
    if (outcome && !outcome->isBookmarked) {
        reportFailure(outcome->failure);
    }
}

void ContentView::copySelection() {
    switch (section_.value()) {
    case SidebarSection::skills:
        if (selectedSkill_) {
            if (const ClawHubSkill* const skill = selectedSkill_->clawSkill()) {
                putOnPasteboard("openclaw skills install " + skill->slug);
            } else if (const OstrelSkill* const ostrel = selectedSkill_->ostrelSkill()) {
                putOnPasteboard("Skill: " + ostrel->name + "\nProvider: " + ostrel->provider +
                                "\nGitHub: " + ostrel->githubUrl);
            }
        }
        break;
    case SidebarSection::mcpRegistry:
        if (selectedServer_) {
            putOnPasteboard(serverJSONText(*selectedServer_));
        }
        break;
    case SidebarSection::bookmarks:
        if (selectedBookmark_ && isUnreadable(*selectedBookmark_, Bookmark::Attribute::payload)) {
            reportFailure("The payload of this bookmark could not be read, so nothing was copied.");
        } else if (selectedBookmark_) {
            putOnPasteboard(selectedBookmark_->payload());
        }
        break;
    }
}

} // namespace mossbarrow

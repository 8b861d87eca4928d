#include "Mossbarrow/Views/MCPDetailView.hpp"

#include "Mossbarrow/BookmarkViewModel.hpp"
#include "Mossbarrow/Views/BookmarkToggle.hpp"
#include "Mossbarrow/Views/ServerJSONText.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "Mossbarrow/Views/WrapBox.hpp"
#include "platform/runtime/Task.hpp"

namespace mossbarrow {

namespace {

constexpr const char* mcpKind = "mcp";

std::string displayTitle(const ServerJSON& server) {
    return server.title.value_or(server.name);
}

} // namespace

MCPDetailView::MCPDetailView(std::shared_ptr<MCPBrowserViewModel> viewModel,
                             platform::ModelContext& context,
                             std::function<void(const std::string&)> reportFailure)
    : viewModel_(std::move(viewModel))
    , context_(context)
    , reportFailure_(std::move(reportFailure))
    , versionsRender_([this] { renderVersions(); }) {
    add(empty_, "empty");
    set_visible_child("empty");
    set_hexpand(true);
    set_vexpand(true);
    signal_map().connect([this] { refreshBookmarkState(); });
}

void MCPDetailView::setServer(const std::optional<ServerResponse>& server) {
    // The same server as shown, unless a reload brought a new version of its record under the
    // same id: that one is shown afresh.
    const bool sameServer = server && server_ && server->id() == server_->id() &&
                            serverJSONText(*server) == serverJSONText(*server_);
    if (sameServer) {
        return;
    }
    server_ = server;
    if (scroll_) {
        remove(*scroll_);
        scroll_.reset();
        bookmark_ = nullptr;
        version_ = nullptr;
        copy_ = nullptr;
        loadVersions_ = nullptr;
        versions_ = nullptr;
    }
    if (!server_) {
        set_visible_child("empty");
        return;
    }
    build(*server_);
    refreshBookmarkState();
    versionsRender_.renderNow();
}

void MCPDetailView::refreshBookmarkState() {
    if (!server_) {
        return;
    }
    isBookmarked_ = BookmarkViewModel{}.isBookmarked(mcpKind, server_->server.name, context_);
    if (bookmark_ != nullptr) {
        bookmark_->setBookmarked(isBookmarked_);
    }
}

void MCPDetailView::toggleBookmark() {
    if (!server_) {
        return;
    }
    const ServerJSON& server = server_->server;
    const auto outcome = BookmarkToggle::perform(mcpKind, displayTitle(server), server.description,
                                                 server.name, context_);
    if (!outcome.isBookmarked) {
        if (reportFailure_) {
            reportFailure_(outcome.failure);
        }
        return;
    }
    isBookmarked_ = *outcome.isBookmarked;
    if (bookmark_ != nullptr) {
        bookmark_->setBookmarked(isBookmarked_);
    }
}

void MCPDetailView::build(const ServerResponse& response) {
    const ServerJSON& server = response.server;
    scroll_ = std::make_unique<Gtk::ScrolledWindow>();
    scroll_->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    auto* const stack = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 16);
    stack->set_margin(16);

    // Header.
    auto* const header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    auto* const title = makeLabel(displayTitle(server), {style::title2});
    header->append(*title);
    if (server.description) {
        auto* const description = makeLabel(*server.description, {style::secondary});
        header->append(*description);
    }
    // The links, the version and the button keep their words whole: in a narrow pane the row
    // goes on in a second line rather than breaking one of them.
    auto* const links = Gtk::make_managed<WrapBox>(12, 6);
    links->add_css_class(style::callout);
    if (server.websiteUrl) {
        if (auto* const link = makeLink("Website", *server.websiteUrl)) {
            links->append(*link);
        }
    }
    if (server.repository && server.repository->url) {
        if (auto* const link = makeLink("Repository", *server.repository->url)) {
            links->append(*link);
        }
    }
    if (server.version) {
        version_ = makeLabel("Version: " + *server.version, {style::secondary});
        links->append(*version_);
    }
    bookmark_ = Gtk::make_managed<BookmarkButton>(isBookmarked_, [this] { toggleBookmark(); });
    links->append(*bookmark_);
    header->append(*links);
    stack->append(*header);

    // Details.
    auto* const details = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 8);
    details->append(*makeLabel("Name: " + server.name));
    if (server.title) {
        details->append(*makeLabel("Title: " + *server.title));
    }
    stack->append(*makeGroupBox("Details", *details));

    // Server JSON.
    const std::string json = serverJSONText(response);
    auto* const jsonBox = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
    auto* const jsonText = makeLabel(json, {style::monospaced, style::caption, style::codeBox});
    jsonText->set_selectable(true);
    jsonBox->append(*jsonText);
    copy_ = Gtk::make_managed<CopyButton>("Copy JSON", json);
    jsonBox->append(*copy_);
    stack->append(*makeGroupBox("Server JSON", *jsonBox));

    // Version history.
    auto* const history = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 8);
    auto* const historyHeader = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    auto* const historyTitle = makeLabel("Version History", {style::headline});
    historyTitle->set_hexpand(true);
    historyHeader->append(*historyTitle);
    loadVersions_ = Gtk::make_managed<Gtk::Button>("Load Versions");
    loadVersions_->set_has_frame(false);
    loadVersions_->signal_clicked().connect([this] {
        if (!server_) {
            return;
        }
        platform::Task<void>::run([model = viewModel_, name = server_->server.name] {
            return model->loadVersions(name);
        });
    });
    historyHeader->append(*loadVersions_);
    history->append(*historyHeader);
    versions_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
    history->append(*versions_);
    stack->append(*makeGroupBox("", *history));

    // Packages.
    auto* const packages = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    if (server.packages && !server.packages->empty()) {
        for (const Package& package : *server.packages) {
            packages->append(*makeLabel(package.registryType.value_or("unknown") + ": " +
                                            package.identifier.value_or(""),
                                        {style::callout, style::secondary}));
        }
    } else {
        packages->append(*makeLabel("No packages listed.", {style::secondary}));
    }
    stack->append(*makeGroupBox("Packages", *packages));

    scroll_->set_child(*stack);
    add(*scroll_, "server");
    set_visible_child("server");
}

void MCPDetailView::renderVersions() {
    if (versions_ == nullptr || !server_) {
        return;
    }
    while (Gtk::Widget* child = versions_->get_first_child()) {
        versions_->remove(*child);
    }
    const auto& all = viewModel_->versionsByServer();
    const auto found = all.find(server_->server.name);
    if (found == all.end() || found->second.empty()) {
        versions_->append(
            *makeLabel("No versions loaded yet.", {style::secondary, style::callout}));
        return;
    }
    for (const ServerResponse& version : found->second) {
        auto* const row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
        row->add_css_class(style::callout);
        auto* const number = makeLabel(version.server.version.value_or("Unknown"));
        number->set_hexpand(true);
        row->append(*number);
        row->append(*makeLabel(displayTitle(version.server), {style::secondary}));
        versions_->append(*row);
    }
}

std::string MCPDetailView::shownText() const {
    const Gtk::Widget* const shown = get_visible_child();
    return shown == nullptr ? std::string{} : collectText(*shown);
}

} // namespace mossbarrow

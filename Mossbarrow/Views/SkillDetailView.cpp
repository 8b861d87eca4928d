#include "Mossbarrow/Views/SkillDetailView.hpp"

#include "Mossbarrow/BookmarkViewModel.hpp"
#include "Mossbarrow/FormatCount.hpp"
#include "Mossbarrow/Views/BookmarkToggle.hpp"
#include "Mossbarrow/Views/Styles.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <string>

namespace mossbarrow {

SkillDetailView::BookmarkKey SkillDetailView::bookmarkKey(const SkillSelection& selection) {
    if (const ClawHubSkill* const skill = selection.clawSkill()) {
        return {"skill:openclaw", skill->displayName, skill->summary, skill->slug};
    }
    const OstrelSkill& skill = *selection.ostrelSkill();
    return {"skill:" + skill.provider, skill.name, skill.description, std::to_string(skill.id)};
}

std::string SkillDetailView::recordText(const SkillSelection& selection) {
    const platform::JSONEncoder encoder(platform::JSONEncoder::sortedKeys);
    try {
        if (const ClawHubSkill* const skill = selection.clawSkill()) {
            return encoder.encode(*skill);
        }
        return encoder.encode(*selection.ostrelSkill());
    } catch (const std::exception&) {
        return {}; // then only the id tells records apart
    }
}

SkillDetailView::SkillDetailView(platform::ModelContext& context,
                                 std::function<void(const std::string&)> reportFailure)
    : context_(context)
    , reportFailure_(std::move(reportFailure)) {
    add(empty_, "empty");
    set_visible_child("empty");
    set_hexpand(true);
    set_vexpand(true);
    signal_map().connect([this] { refreshBookmarkState(); });
}

void SkillDetailView::setSelection(const std::optional<SkillSelection>& selection) {
    // A reload can bring a changed record under the same id: only the very same record is
    // left as shown.
    if (selection && selection_ && selection->id() == selection_->id() &&
        recordText(*selection) == recordText(*selection_)) {
        return;
    }
    selection_ = selection;
    if (scroll_) {
        remove(*scroll_);
        scroll_.reset();
        bookmark_ = nullptr;
        installCopy_ = nullptr;
        ostrel_ = nullptr;
    }
    if (!selection_) {
        set_visible_child("empty");
        return;
    }
    isBookmarked_ = false;
    build(*selection_);
    refreshBookmarkState();
}

void SkillDetailView::refreshBookmarkState() {
    if (!selection_) {
        return;
    }
    const BookmarkKey key = bookmarkKey(*selection_);
    isBookmarked_ = BookmarkViewModel{}.isBookmarked(key.kind, key.payload, context_);
    showBookmarked();
}

void SkillDetailView::showBookmarked() {
    if (bookmark_ != nullptr) {
        bookmark_->setBookmarked(isBookmarked_);
    }
    if (ostrel_ != nullptr) {
        ostrel_->setBookmarked(isBookmarked_);
    }
}

void SkillDetailView::toggleBookmark() {
    if (!selection_) {
        return;
    }
    const BookmarkKey key = bookmarkKey(*selection_);
    const auto outcome =
        BookmarkToggle::perform(key.kind, key.title, key.subtitle, key.payload, context_);
    if (!outcome.isBookmarked) {
        if (reportFailure_) {
            reportFailure_(outcome.failure);
        }
        return;
    }
    isBookmarked_ = *outcome.isBookmarked;
    showBookmarked();
}

void SkillDetailView::build(const SkillSelection& selection) {
    scroll_ = std::make_unique<Gtk::ScrolledWindow>();
    scroll_->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    auto* const stack = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 16);
    stack->set_margin(16);
    if (const ClawHubSkill* const skill = selection.clawSkill()) {
        stack->append(*buildClawHub(*skill));
    } else {
        ostrel_ = Gtk::make_managed<OstrelSkillDetailView>(*selection.ostrelSkill(), isBookmarked_,
                                                           [this] { toggleBookmark(); });
        stack->append(*ostrel_);
    }
    scroll_->set_child(*stack);
    add(*scroll_, "skill");
    set_visible_child("skill");
}

Gtk::Widget* SkillDetailView::buildClawHub(const ClawHubSkill& skill) {
    auto* const detail = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
    auto* const name = makeLabel(skill.displayName, {style::title2});
    detail->append(*name);
    if (skill.summary) {
        auto* const summary = makeLabel(*skill.summary, {style::secondary});
        detail->append(*summary);
    }

    auto* const stats = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    stats->append(*makeLabel("Stars: " + formatCount(skill.stats.stars)));
    stats->append(*makeLabel("Downloads: " + formatCount(skill.stats.downloads)));
    stats->append(*makeLabel("Installs (all time): " + formatCount(skill.stats.installsAllTime)));
    stats->append(*makeLabel("Versions: " + formatCount(skill.stats.versions)));
    detail->append(*makeGroupBox("Stats", *stats));

    auto* const latest = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    latest->append(*makeLabel("Version: " + skill.latestVersion.version));
    auto* const changelog = makeLabel(skill.latestVersion.changelog, {style::secondary});
    latest->append(*changelog);
    detail->append(*makeGroupBox("Latest Version", *latest));

    const std::string command = "openclaw skills install " + skill.slug;
    auto* const install = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 8);
    auto* const commandLabel = makeLabel(command, {style::monospaced, style::caption});
    commandLabel->set_selectable(true);
    install->append(*commandLabel);
    installCopy_ = Gtk::make_managed<CopyButton>("Copy Install Command", command);
    install->append(*installCopy_);
    detail->append(*makeGroupBox("Install", *install));

    bookmark_ = Gtk::make_managed<BookmarkButton>(isBookmarked_, [this] { toggleBookmark(); });
    detail->append(*makeGroupBox("Bookmark", *bookmark_));
    return detail;
}

std::string SkillDetailView::shownText() const {
    const Gtk::Widget* const shown = get_visible_child();
    return shown == nullptr ? std::string{} : collectText(*shown);
}

} // namespace mossbarrow

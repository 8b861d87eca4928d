#include "Mossbarrow/Views/SkillsListView.hpp"

#include <string>

namespace mossbarrow {

namespace {

std::vector<Glib::ustring> providerSegments() {
    std::vector<Glib::ustring> segments;
    for (const SkillProvider provider : SkillProvider::allCases()) {
        switch (provider.value()) {
        case SkillProvider::claude:
            segments.emplace_back("Claude");
            break;
        case SkillProvider::openAI:
            segments.emplace_back("OpenAI");
            break;
        case SkillProvider::openClaw:
            segments.emplace_back("OpenClaw \U0001F99E");
            break;
        }
    }
    return segments;
}

std::vector<Glib::ustring> sortSegments() {
    std::vector<Glib::ustring> segments;
    for (const SkillSort sort : SkillSort::allCases()) {
        switch (sort.value()) {
        case SkillSort::trending:
            segments.emplace_back("\U0001F4C8 Trending");
            break;
        case SkillSort::stars:
            segments.emplace_back("\u2B50\uFE0F Popular");
            break;
        case SkillSort::updated:
            segments.emplace_back("\U0001F558 Recent");
            break;
        case SkillSort::downloads:
            segments.emplace_back("\u2B07\uFE0F Downloads");
            break;
        }
    }
    return segments;
}

template <class Enum, std::size_t N>
std::size_t indexOf(const std::array<Enum, N>& cases, Enum value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (cases[i] == value) {
            return i;
        }
    }
    return 0;
}

} // namespace

SkillsListView::SkillsListView(std::shared_ptr<SkillsBrowserViewModel> viewModel,
                               std::function<void(const SkillSelection&)> onSelect)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0)
    , viewModel_(std::move(viewModel))
    , onSelect_(std::move(onSelect))
    , provider_("Provider", providerSegments(),
                [this](std::size_t index) {
                    viewModel_->setProvider(SkillProvider::allCases().at(index));
                })
    , search_("Search skills",
              [this](const std::string& text) { viewModel_->setSearchQuery(text); })
    , sort_("Sort", sortSegments(),
            [this](std::size_t index) {
                const SkillSort chosen = SkillSort::allCases().at(index);
                // Choosing the segment already chosen is no change, so no load.
                if (chosen == viewModel_->openClawSort()) {
                    return;
                }
                viewModel_->setOpenClawSort(chosen);
                viewModel_->changeSort(chosen);
            })
    , clawError_("", "Retry", [this] { viewModel_->changeSort(viewModel_->openClawSort()); })
    , clawList_([](const ClawHubSkill& skill) { return "claw-" + skill.slug; })
    , ostrelError_("", "Retry", [this] { viewModel_->loadIfNeeded(); })
    , ostrelList_([](const OstrelSkill& skill) { return "ostrel-" + std::to_string(skill.id); })
    , render_([this] { render(); }) {
    header_.set_margin(12);
    header_.append(provider_);
    header_.append(search_);
    header_.append(sort_);
    append(header_);
    append(divider_);

    clawList_.onTap = [this](const ClawHubSkill& skill) {
        if (onSelect_) {
            onSelect_(SkillSelection::claw(skill));
        }
    };
    clawList_.onLastRowShown = [this](const ClawHubSkill& skill) {
        const auto filtered = viewModel_->filteredOpenClawItems();
        if (!filtered.empty() && filtered.back().slug == skill.slug) {
            viewModel_->loadMoreOpenClawIfNeeded();
        }
    };
    ostrelList_.onTap = [this](const OstrelSkill& skill) {
        if (onSelect_) {
            onSelect_(SkillSelection::ostrel(skill));
        }
    };

    clawLoadingMore_.set_spinning(true);
    clawLoadingMore_.set_halign(Gtk::Align::CENTER);
    clawLoadingMore_.set_valign(Gtk::Align::END);
    clawLoadingMore_.set_margin_top(8);
    clawLoadingMore_.set_margin_bottom(8);
    clawOverlay_.set_child(clawList_);
    clawOverlay_.add_overlay(clawLoadingMore_);
    claw_.add(clawLoading_, "loading");
    claw_.add(clawError_, "error");
    claw_.add(clawEmpty_, "empty");
    claw_.add(clawOverlay_, "list");

    ostrel_.add(ostrelLoading_, "loading");
    ostrel_.add(ostrelError_, "error");
    ostrel_.add(ostrelEmpty_, "empty");
    ostrel_.add(ostrelList_, "list");

    lists_.add(ostrel_, "ostrel");
    lists_.add(claw_, "openClaw");
    lists_.set_vexpand(true);
    append(lists_);

    signal_map().connect([this] { viewModel_->loadIfNeeded(); });
    render_.renderNow();
}

void SkillsListView::setSelectedId(std::optional<std::string> id) {
    clawList_.setSelectedId(id);
    ostrelList_.setSelectedId(std::move(id));
}

Glib::ustring SkillsListView::visibleForm() const {
    return lists_.get_visible_child_name() == "openClaw" ? claw_.get_visible_child_name()
                                                         : ostrel_.get_visible_child_name();
}

void SkillsListView::render() {
    const SkillProvider provider = viewModel_->provider();
    provider_.setSelectedIndex(indexOf(SkillProvider::allCases(), provider));
    search_.setText(viewModel_->searchQuery());
    sort_.setSelectedIndex(indexOf(SkillSort::allCases(), viewModel_->openClawSort()));
    const bool openClaw = provider == SkillProvider::openClaw;
    sort_.set_visible(openClaw);
    const auto& errorMessage = viewModel_->errorMessage();

    if (openClaw) {
        lists_.set_visible_child("openClaw");
        const auto& items = viewModel_->openClawItems();
        const auto filtered = viewModel_->filteredOpenClawItems();
        if (viewModel_->isLoadingOpenClaw() && items.empty()) {
            claw_.set_visible_child("loading");
        } else if (errorMessage && items.empty()) {
            clawError_.setMessage(*errorMessage);
            claw_.set_visible_child("error");
        } else if (filtered.empty()) {
            claw_.set_visible_child("empty");
        } else {
            claw_.set_visible_child("list");
        }
        clawList_.setRecords(filtered);
        clawLoadingMore_.set_visible(viewModel_->isLoadingMoreOpenClaw());
    } else {
        lists_.set_visible_child("ostrel");
        const auto& all = viewModel_->ostrelAll();
        const auto& filtered = viewModel_->ostrelFiltered();
        if (viewModel_->isLoadingOstrel() && all.empty()) {
            ostrel_.set_visible_child("loading");
        } else if (errorMessage && all.empty()) {
            ostrelError_.setMessage(*errorMessage);
            ostrel_.set_visible_child("error");
        } else if (filtered.empty()) {
            ostrel_.set_visible_child("empty");
        } else {
            ostrel_.set_visible_child("list");
        }
        ostrelList_.setRecords(filtered);
    }
}

} // namespace mossbarrow

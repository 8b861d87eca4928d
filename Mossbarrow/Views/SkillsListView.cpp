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
    , sort_(
          "Sort", sortSegments(),
          [this](std::size_t index) {
              const SkillSort chosen = SkillSort::allCases().at(index);
              // Choosing the segment already chosen is no change, so no load.
              if (chosen == viewModel_->openClawSort()) {
                  return;
              }
              viewModel_->setOpenClawSort(chosen);
              viewModel_->changeSort(chosen);
          },
          // The four sorts together are wider than the column at the window's default size:
          // they go on in a second line rather than hide one of them.
          SegmentedPicker::Layout::wrapping)
    , claw_(
          {"Loading OpenClaw skills", "No skills", "Try another search."},
          [this] { viewModel_->changeSort(viewModel_->openClawSort()); },
          [](const ClawHubSkill& skill) { return "claw-" + skill.slug; })
    , ostrel_(
          {"Loading skills", "No skills", "Try another search."},
          [this] { viewModel_->loadIfNeeded(); },
          [](const OstrelSkill& skill) { return "ostrel-" + std::to_string(skill.id); })
    , render_([this] { render(); }) {
    header_.set_margin(12);
    header_.append(provider_);
    header_.append(search_);
    header_.append(sort_);
    append(header_);
    append(divider_);

    claw_.list().onTap = [this](const ClawHubSkill& skill) {
        if (onSelect_) {
            onSelect_(SkillSelection::claw(skill));
        }
    };
    claw_.list().onLastRowShown = [this](const ClawHubSkill& skill) {
        const auto filtered = viewModel_->filteredOpenClawItems();
        if (!filtered.empty() && filtered.back().slug == skill.slug) {
            viewModel_->loadMoreOpenClawIfNeeded();
        }
    };
    ostrel_.list().onTap = [this](const OstrelSkill& skill) {
        if (onSelect_) {
            onSelect_(SkillSelection::ostrel(skill));
        }
    };

    lists_.add(ostrel_, "ostrel");
    lists_.add(claw_, "openClaw");
    lists_.set_vexpand(true);
    append(lists_);

    signal_map().connect([this] { viewModel_->loadIfNeeded(); });
    render_.renderNow();
}

void SkillsListView::setSelectedId(std::optional<std::string> id) {
    claw_.list().setSelectedId(id);
    ostrel_.list().setSelectedId(std::move(id));
}

Glib::ustring SkillsListView::visibleForm() const {
    return lists_.get_visible_child_name() == "openClaw" ? claw_.visibleForm()
                                                         : ostrel_.visibleForm();
}

void SkillsListView::render() {
    const SkillProvider provider = viewModel_->provider();
    provider_.setSelectedIndex(indexOf(SkillProvider::allCases(), provider));
    search_.setText(viewModel_->searchQuery());
    sort_.setSelectedIndex(indexOf(SkillSort::allCases(), viewModel_->openClawSort()));
    const bool openClaw = provider == SkillProvider::openClaw;
    sort_.set_visible(openClaw);
    const auto& errorMessage = viewModel_->errorMessage();

    // The loading and error forms go by what is loaded, the empty form by what the search
    // leaves of it.
    if (openClaw) {
        lists_.set_visible_child("openClaw");
        claw_.show(viewModel_->isLoadingOpenClaw(), !viewModel_->openClawItems().empty(),
                   errorMessage, viewModel_->filteredOpenClawItems(),
                   viewModel_->isLoadingMoreOpenClaw());
    } else {
        lists_.set_visible_child("ostrel");
        ostrel_.show(viewModel_->isLoadingOstrel(), !viewModel_->ostrelAll().empty(), errorMessage,
                     viewModel_->ostrelFiltered(), false);
    }
}

} // namespace mossbarrow

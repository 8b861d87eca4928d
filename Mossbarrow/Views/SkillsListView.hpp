#pragma once

#include "Mossbarrow/SkillSelection.hpp"
#include "Mossbarrow/SkillsBrowserViewModel.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/ErrorView.hpp"
#include "Mossbarrow/Views/LoadingView.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "Mossbarrow/Views/OpenClawSkillRow.hpp"
#include "Mossbarrow/Views/OstrelSkillRow.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "Mossbarrow/Views/SearchField.hpp"
#include "Mossbarrow/Views/SegmentedPicker.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace mossbarrow {

// The middle column of the Skills section: agent family, search, the ClawHub order (OpenClaw
// only), then the ClawHub list (paged) or the Ostrel list of the chosen family, each with its
// loading, error and empty forms. Taps select a skill for the window.
class SkillsListView : public Gtk::Box {
public:
    SkillsListView(std::shared_ptr<SkillsBrowserViewModel> viewModel,
                   std::function<void(const SkillSelection&)> onSelect);

    void setSelectedId(std::optional<std::string> id);

    // "loading", "error", "empty" or "list" of the list shown; and which list ("openClaw" or
    // "ostrel").
    [[nodiscard]] Glib::ustring visibleForm() const;
    [[nodiscard]] Glib::ustring visibleList() const { return lists_.get_visible_child_name(); }
    [[nodiscard]] SegmentedPicker& providerPicker() noexcept { return provider_; }
    [[nodiscard]] SegmentedPicker& sortPicker() noexcept { return sort_; }
    [[nodiscard]] SearchField& searchField() noexcept { return search_; }
    [[nodiscard]] RecordListView<ClawHubSkill, OpenClawSkillRow>& clawList() noexcept {
        return clawList_;
    }
    [[nodiscard]] RecordListView<OstrelSkill, OstrelSkillRow>& ostrelList() noexcept {
        return ostrelList_;
    }
    [[nodiscard]] ErrorView& clawError() noexcept { return clawError_; }
    [[nodiscard]] ErrorView& ostrelError() noexcept { return ostrelError_; }

private:
    void render();

    std::shared_ptr<SkillsBrowserViewModel> viewModel_;
    std::function<void(const SkillSelection&)> onSelect_;
    Gtk::Box header_{Gtk::Orientation::VERTICAL, 12};
    SegmentedPicker provider_;
    SearchField search_;
    SegmentedPicker sort_;
    Gtk::Separator divider_;
    Gtk::Stack lists_;

    Gtk::Stack claw_;
    LoadingView clawLoading_{"Loading OpenClaw skills"};
    ErrorView clawError_;
    EmptyStateView clawEmpty_{"No skills", "Try another search."};
    Gtk::Overlay clawOverlay_;
    RecordListView<ClawHubSkill, OpenClawSkillRow> clawList_;
    Gtk::Spinner clawLoadingMore_;

    Gtk::Stack ostrel_;
    LoadingView ostrelLoading_{"Loading skills"};
    ErrorView ostrelError_;
    EmptyStateView ostrelEmpty_{"No skills", "Try another search."};
    RecordListView<OstrelSkill, OstrelSkillRow> ostrelList_;

    ObservedRender render_;
};

} // namespace mossbarrow

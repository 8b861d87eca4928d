#pragma once

#include "Mossbarrow/SkillSelection.hpp"
#include "Mossbarrow/SkillsBrowserViewModel.hpp"
#include "Mossbarrow/Views/ObservedRender.hpp"
#include "Mossbarrow/Views/OpenClawSkillRow.hpp"
#include "Mossbarrow/Views/OstrelSkillRow.hpp"
#include "Mossbarrow/Views/PagedListPanel.hpp"
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
        return claw_.list();
    }
    [[nodiscard]] RecordListView<OstrelSkill, OstrelSkillRow>& ostrelList() noexcept {
        return ostrel_.list();
    }
    [[nodiscard]] ErrorView& clawError() noexcept { return claw_.errorView(); }
    [[nodiscard]] ErrorView& ostrelError() noexcept { return ostrel_.errorView(); }

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

    PagedListPanel<ClawHubSkill, OpenClawSkillRow> claw_;
    PagedListPanel<OstrelSkill, OstrelSkillRow> ostrel_;

    ObservedRender render_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/Views/RowBase.hpp"

namespace mossbarrow {

// A ClawHub skill in the skills list: name and stars, summary, downloads.
class OpenClawSkillRow : public RowBase {
public:
    OpenClawSkillRow();

    void show(const ClawHubSkill& skill, bool isSelected);

    [[nodiscard]] Glib::ustring nameText() const { return name_.get_text(); }
    [[nodiscard]] Glib::ustring starsText() const { return stars_.get_text(); }
    // Empty and hidden when the skill has no summary.
    [[nodiscard]] Glib::ustring summaryText() const { return summary_.get_text(); }
    [[nodiscard]] bool showsSummary() const { return summary_.get_visible(); }
    [[nodiscard]] Glib::ustring downloadsText() const { return downloads_.get_text(); }

private:
    Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Label name_;
    Gtk::Label stars_;
    Gtk::Label summary_;
    Gtk::Label downloads_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/Views/RowBase.hpp"

namespace mossbarrow {

// An Ostrel catalogue skill in the skills list: name and category, description, provider.
class OstrelSkillRow : public RowBase {
public:
    OstrelSkillRow();

    void show(const OstrelSkill& skill, bool isSelected);

    [[nodiscard]] Glib::ustring nameText() const { return name_.get_text(); }
    [[nodiscard]] Glib::ustring categoryText() const { return category_.get_text(); }
    [[nodiscard]] Glib::ustring descriptionText() const { return description_.get_text(); }
    [[nodiscard]] Glib::ustring providerText() const { return provider_.get_text(); }

private:
    Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Label name_;
    Gtk::Label category_;
    Gtk::Label description_;
    Gtk::Label provider_;
};

} // namespace mossbarrow

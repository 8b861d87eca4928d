#include "Mossbarrow/Views/OstrelSkillRow.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

OstrelSkillRow::OstrelSkillRow() {
    name_.add_css_class(style::headline);
    wrapWhole(name_);
    name_.set_hexpand(true);
    category_.add_css_class(style::caption);
    category_.add_css_class(style::secondary);
    header_.append(name_);
    header_.append(category_);
    description_.add_css_class(style::subheadline);
    description_.add_css_class(style::secondary);
    limitToTwoLines(description_);
    provider_.add_css_class(style::caption);
    provider_.add_css_class(style::secondary);
    wrapAnywhere(provider_);
    append(header_);
    append(description_);
    append(provider_);
}

void OstrelSkillRow::show(const OstrelSkill& skill, bool isSelected) {
    name_.set_text(skill.name);
    showBeside(category_, skill.category);
    description_.set_text(skill.description);
    provider_.set_text(capitalized(skill.provider));
    setSelected(isSelected);
}

} // namespace mossbarrow

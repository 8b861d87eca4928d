#include "Mossbarrow/Views/OpenClawSkillRow.hpp"

#include "Mossbarrow/FormatCount.hpp"
#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

OpenClawSkillRow::OpenClawSkillRow() {
    name_.add_css_class(style::headline);
    wrapWhole(name_);
    name_.set_hexpand(true);
    stars_.add_css_class(style::caption);
    stars_.add_css_class(style::secondary);
    header_.append(name_);
    header_.append(stars_);
    summary_.add_css_class(style::subheadline);
    summary_.add_css_class(style::secondary);
    limitToTwoLines(summary_);
    downloads_.add_css_class(style::caption);
    downloads_.add_css_class(style::secondary);
    wrapAnywhere(downloads_);
    append(header_);
    append(summary_);
    append(downloads_);
}

void OpenClawSkillRow::show(const ClawHubSkill& skill, bool isSelected) {
    name_.set_text(skill.displayName);
    showBeside(stars_, "★ " + formatCount(skill.stats.stars));
    summary_.set_text(skill.summary.value_or(""));
    summary_.set_visible(skill.summary.has_value());
    downloads_.set_text("Downloads: " + formatCount(skill.stats.downloads));
    setSelected(isSelected);
}

} // namespace mossbarrow

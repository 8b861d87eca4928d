#pragma once

#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/OstrelSkill.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <variant>

namespace mossbarrow {

// The selected row of the skills list, carrying the whole record so the detail pane needs no
// request. Two selections are the same when they name the same skill of the same catalogue.
class SkillSelection {
public:
    static SkillSelection claw(ClawHubSkill skill) { return SkillSelection(std::move(skill)); }
    static SkillSelection ostrel(OstrelSkill skill) { return SkillSelection(std::move(skill)); }

    bool isClaw() const { return std::holds_alternative<ClawHubSkill>(skill_); }
    bool isOstrel() const { return std::holds_alternative<OstrelSkill>(skill_); }
    // The payload of the matching case; nullptr for the other case.
    const ClawHubSkill* clawSkill() const { return std::get_if<ClawHubSkill>(&skill_); }
    const OstrelSkill* ostrelSkill() const { return std::get_if<OstrelSkill>(&skill_); }

    // "claw-" plus the slug, or "ostrel-" plus the numeric id: the prefixes keep the two apart.
    std::string id() const;

    friend bool operator==(const SkillSelection& lhs, const SkillSelection& rhs);

    // Feeds the case name, then the slug or the id.
    std::size_t hashValue() const;

private:
    explicit SkillSelection(ClawHubSkill skill)
        : skill_(std::move(skill)) {}
    explicit SkillSelection(OstrelSkill skill)
        : skill_(std::move(skill)) {}

    std::variant<ClawHubSkill, OstrelSkill> skill_;
};

} // namespace mossbarrow

template <>
struct std::hash<mossbarrow::SkillSelection> {
    std::size_t operator()(const mossbarrow::SkillSelection& selection) const noexcept {
        return selection.hashValue();
    }
};

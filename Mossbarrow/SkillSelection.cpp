#include "Mossbarrow/SkillSelection.hpp"

#include "platform/foundation/Hash.hpp"

#include <string_view>

namespace mossbarrow {

std::string SkillSelection::id() const {
    if (const auto* skill = clawSkill()) {
        return "claw-" + skill->slug;
    }
    return "ostrel-" + std::to_string(ostrelSkill()->id);
}

bool operator==(const SkillSelection& lhs, const SkillSelection& rhs) {
    if (lhs.skill_.index() != rhs.skill_.index()) {
        return false;
    }
    if (const auto* skill = lhs.clawSkill()) {
        return *skill == *rhs.clawSkill();
    }
    return lhs.ostrelSkill()->id == rhs.ostrelSkill()->id;
}

std::size_t SkillSelection::hashValue() const {
    if (const auto* skill = clawSkill()) {
        return platform::hashCombine(std::hash<std::string_view>{}("claw"),
                                     std::hash<ClawHubSkill>{}(*skill));
    }
    return platform::hashCombine(std::hash<std::string_view>{}("ostrel"),
                                 std::hash<std::int64_t>{}(ostrelSkill()->id));
}

} // namespace mossbarrow

#include "Mossbarrow/SkillSelection.hpp"

#include <string_view>

namespace mossbarrow {

namespace {
std::size_t combine(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}
} // namespace

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
        return combine(std::hash<std::string_view>{}("claw"), std::hash<ClawHubSkill>{}(*skill));
    }
    return combine(std::hash<std::string_view>{}("ostrel"),
                   std::hash<std::int64_t>{}(ostrelSkill()->id));
}

} // namespace mossbarrow

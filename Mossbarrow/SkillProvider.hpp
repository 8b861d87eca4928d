#pragma once

#include "Mossbarrow/RawValueEnumeration.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace mossbarrow {

struct SkillProviderCases {
    enum Value : std::uint8_t { claude, openAI, openClaw };
    static constexpr std::array<std::string_view, 3> rawValues{"claude", "openAI", "openClaw"};
    static constexpr std::string_view typeName = "SkillProvider";
    static constexpr bool codable = true;
};

// The agent family whose skills the skills list shows. These are not the Ostrel catalogue's
// provider texts: the skills browser maps them.
using SkillProvider = RawValueEnumeration<SkillProviderCases>;

} // namespace mossbarrow

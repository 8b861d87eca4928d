#pragma once

#include "Mossbarrow/RawValueEnumeration.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace mossbarrow {

struct SkillSortCases {
    enum Value : std::uint8_t { trending, stars, updated, downloads };
    static constexpr std::array<std::string_view, 4> rawValues{"trending", "stars", "updated",
                                                               "downloads"};
    static constexpr std::string_view typeName = "SkillSort";
    static constexpr bool codable = true;
};

// The orders in which the ClawHub registry lists skills; the raw value is the `sort` query value.
using SkillSort = RawValueEnumeration<SkillSortCases>;

} // namespace mossbarrow

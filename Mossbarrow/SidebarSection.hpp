#pragma once

#include "Mossbarrow/RawValueEnumeration.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace mossbarrow {

struct SidebarSectionCases {
    enum Value : std::uint8_t { skills, mcpRegistry, bookmarks };
    static constexpr std::array<std::string_view, 3> rawValues{"skills", "mcpRegistry",
                                                               "bookmarks"};
    static constexpr std::string_view typeName = "SidebarSection";
    static constexpr bool codable = false;
};

// The window's sections. Not coded: nothing stores or sends a section.
using SidebarSection = RawValueEnumeration<SidebarSectionCases>;

} // namespace mossbarrow

#include "Mossbarrow/SidebarSection.hpp"

namespace mossbarrow {

namespace {
constexpr std::array<std::string_view, 3> kRawValues{"skills", "mcpRegistry", "bookmarks"};
} // namespace

std::optional<SidebarSection> SidebarSection::fromRawValue(std::string_view rawValue) {
    for (const auto candidate : allCases()) {
        if (candidate.rawValue() == rawValue) {
            return candidate;
        }
    }
    return std::nullopt;
}

const std::array<SidebarSection, 3>& SidebarSection::allCases() {
    static constexpr std::array<SidebarSection, 3> cases{skills, mcpRegistry, bookmarks};
    return cases;
}

std::string_view SidebarSection::rawValue() const {
    return kRawValues.at(value_);
}

} // namespace mossbarrow

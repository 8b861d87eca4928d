#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mossbarrow {

// The window's sections. The raw value is the case's own name.
class SidebarSection {
public:
    enum Value : std::uint8_t { skills, mcpRegistry, bookmarks };

    constexpr SidebarSection(Value value)
        : value_(value) {}

    // The case whose raw value is exactly `rawValue` (case-sensitive), if any.
    static std::optional<SidebarSection> fromRawValue(std::string_view rawValue);
    static const std::array<SidebarSection, 3>& allCases();

    std::string_view rawValue() const;
    std::string id() const { return std::string(rawValue()); }
    constexpr Value value() const { return value_; }
    friend constexpr bool operator==(SidebarSection, SidebarSection) = default;

private:
    Value value_;
};

} // namespace mossbarrow

template <>
struct std::hash<mossbarrow::SidebarSection> {
    std::size_t operator()(mossbarrow::SidebarSection value) const noexcept {
        return std::hash<std::string_view>{}(value.rawValue());
    }
};

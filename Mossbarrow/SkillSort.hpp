#pragma once

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mossbarrow {

// The orders in which the ClawHub registry lists skills; the raw value is the `sort` query value.
class SkillSort {
public:
    enum Value : std::uint8_t { trending, stars, updated, downloads };

    constexpr SkillSort(Value value)
        : value_(value) {}

    // The case whose raw value is exactly `rawValue` (case-sensitive), if any.
    static std::optional<SkillSort> fromRawValue(std::string_view rawValue);
    static const std::array<SkillSort, 4>& allCases();

    std::string_view rawValue() const;

    // Coded as the raw value text; a text that names no case is corrupted data.
    static SkillSort decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;

    std::string id() const { return std::string(rawValue()); }
    constexpr Value value() const { return value_; }
    friend constexpr bool operator==(SkillSort, SkillSort) = default;

private:
    Value value_;
};

} // namespace mossbarrow

template <>
struct std::hash<mossbarrow::SkillSort> {
    std::size_t operator()(mossbarrow::SkillSort value) const noexcept {
        return std::hash<std::string_view>{}(value.rawValue());
    }
};

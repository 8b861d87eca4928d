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

// The agent family whose skills the skills list shows. The raw value is the case's own name.
class SkillProvider {
public:
    enum Value : std::uint8_t { claude, openAI, openClaw };

    constexpr SkillProvider(Value value)
        : value_(value) {}

    // The case whose raw value is exactly `rawValue` (case-sensitive), if any.
    static std::optional<SkillProvider> fromRawValue(std::string_view rawValue);
    static const std::array<SkillProvider, 3>& allCases();

    std::string_view rawValue() const;

    // Coded as the raw value text; a text that names no case is corrupted data.
    static SkillProvider decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;

    std::string id() const { return std::string(rawValue()); }
    constexpr Value value() const { return value_; }
    friend constexpr bool operator==(SkillProvider, SkillProvider) = default;

private:
    Value value_;
};

} // namespace mossbarrow

template <>
struct std::hash<mossbarrow::SkillProvider> {
    std::size_t operator()(mossbarrow::SkillProvider value) const noexcept {
        return std::hash<std::string_view>{}(value.rawValue());
    }
};

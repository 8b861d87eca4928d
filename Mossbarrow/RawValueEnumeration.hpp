#pragma once

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace mossbarrow {

// A small closed enumeration whose raw value is a text: the case's own name. The raw value is
// the case's identity, its equality and hash, and, for the enumerations that code, its JSON form.
//
// `Cases` names everything that differs from one enumeration to the next:
//     enum Value : std::uint8_t { ... };          the cases, in declaration order
//     static constexpr std::array<std::string_view, N> rawValues{...};   in the same order
//     static constexpr std::string_view typeName = "...";                for error texts
//     static constexpr bool codable = ...;        whether it encodes to and decodes from JSON
// The cases are reached through the enumeration itself (`SkillSort::stars`).
template <class Cases>
class RawValueEnumeration : public Cases {
public:
    using Value = typename Cases::Value;
    static constexpr std::size_t caseCount = Cases::rawValues.size();

    constexpr RawValueEnumeration(Value value)
        : value_(value) {}

    // The case whose raw value is exactly `rawValue` (case-sensitive), if any.
    static std::optional<RawValueEnumeration> fromRawValue(std::string_view rawValue) {
        for (const RawValueEnumeration candidate : allCases()) {
            if (candidate.rawValue() == rawValue) {
                return candidate;
            }
        }
        return std::nullopt;
    }

    // Every case, in declaration order.
    static const std::array<RawValueEnumeration, caseCount>& allCases() {
        static constexpr std::array<RawValueEnumeration, caseCount> cases =
            makeCases(std::make_index_sequence<caseCount>{});
        return cases;
    }

    constexpr std::string_view rawValue() const { return Cases::rawValues.at(value_); }
    std::string id() const { return std::string(rawValue()); }
    constexpr Value value() const { return value_; }
    friend constexpr bool operator==(RawValueEnumeration a, RawValueEnumeration b) {
        return a.value_ == b.value_;
    }

    // Coded as the raw value text; a text that names no case is corrupted data.
    static RawValueEnumeration
    decode(const platform::JSONDecodingContainer& container) requires Cases::codable {
        const std::string_view text = container.decodeStringView();
        const auto value = fromRawValue(text);
        if (!value) {
            container.throwDataCorrupted("Cannot initialize " + std::string(Cases::typeName) +
                                         " from invalid String value " + std::string(text));
        }
        return *value;
    }
    void encode(platform::JSONEncodingContainer& container) const requires Cases::codable {
        container.encodeString(rawValue());
    }

private:
    template <std::size_t... Index>
    static constexpr std::array<RawValueEnumeration, caseCount>
    makeCases(std::index_sequence<Index...>) {
        return {RawValueEnumeration(static_cast<Value>(Index))...};
    }

    Value value_;
};

} // namespace mossbarrow

template <class Cases>
struct std::hash<mossbarrow::RawValueEnumeration<Cases>> {
    std::size_t operator()(mossbarrow::RawValueEnumeration<Cases> value) const noexcept {
        return std::hash<std::string_view>{}(value.rawValue());
    }
};

#pragma once

#include "platform/foundation/Date.hpp"
#include "platform/foundation/UUID.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace platform {

// The kinds of value an attribute of a stored model can hold.
enum class AttributeType { string, integer, real, uuid, date };

// One attribute value as the store holds it; std::monostate is an absent optional.
using StoreValue = std::variant<std::monostate, std::string, std::int64_t, double, UUID, Date>;

// Maps a C++ attribute type to its store representation. Specialised for the supported value
// types; std::optional<V> of any of them is an optional attribute.
template <class V>
struct StoreValueTraits;

template <class V, AttributeType Type>
struct PlainStoreValueTraits {
    static constexpr AttributeType type = Type;
    static constexpr bool isOptional = false;
    static StoreValue encode(const V& value) { return StoreValue(value); }
    // Throws std::bad_variant_access when the stored value has another kind.
    static V decode(const StoreValue& value) { return std::get<V>(value); }
};

template <>
struct StoreValueTraits<std::string> : PlainStoreValueTraits<std::string, AttributeType::string> {};
template <>
struct StoreValueTraits<std::int64_t>
    : PlainStoreValueTraits<std::int64_t, AttributeType::integer> {};
template <>
struct StoreValueTraits<double> : PlainStoreValueTraits<double, AttributeType::real> {};
template <>
struct StoreValueTraits<UUID> : PlainStoreValueTraits<UUID, AttributeType::uuid> {};
template <>
struct StoreValueTraits<Date> : PlainStoreValueTraits<Date, AttributeType::date> {};

template <class V>
struct StoreValueTraits<std::optional<V>> {
    static constexpr AttributeType type = StoreValueTraits<V>::type;
    static constexpr bool isOptional = true;
    static StoreValue encode(const std::optional<V>& value) {
        return value ? StoreValueTraits<V>::encode(*value) : StoreValue();
    }
    static std::optional<V> decode(const StoreValue& value) {
        if (std::holds_alternative<std::monostate>(value)) {
            return std::nullopt;
        }
        return StoreValueTraits<V>::decode(value);
    }
};

template <class V>
concept StorableValue = requires(const V& value, const StoreValue& stored) {
    { StoreValueTraits<V>::encode(value) } -> std::same_as<StoreValue>;
    { StoreValueTraits<V>::decode(stored) } -> std::same_as<V>;
};

} // namespace platform

#pragma once

// Property lists, read from either of their two encodings (XML or binary) and written as XML.
// A value is a tree of dictionaries, arrays and scalars; dates and UIDs are not kept.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class PropertyListValue {
public:
    using Array = std::vector<PropertyListValue>;
    using Dictionary = std::map<std::string, PropertyListValue, std::less<>>;
    using Data = std::vector<std::uint8_t>;

    /// Deeper nesting than this is rejected when decoding.
    static constexpr int maxDepth = 64;

    PropertyListValue()
        : storage_(false) {}
    explicit PropertyListValue(bool value)
        : storage_(value) {}
    explicit PropertyListValue(std::int64_t value)
        : storage_(value) {}
    explicit PropertyListValue(double value)
        : storage_(value) {}
    explicit PropertyListValue(std::string value)
        : storage_(std::move(value)) {}
    explicit PropertyListValue(const char* value)
        : storage_(std::string(value)) {}
    explicit PropertyListValue(Data value)
        : storage_(std::move(value)) {}
    explicit PropertyListValue(Array value)
        : storage_(std::move(value)) {}
    explicit PropertyListValue(Dictionary value)
        : storage_(std::move(value)) {}

    /// The value of a whole property-list file; nothing when the bytes are neither encoding, are
    /// nested deeper than `maxDepth`, or hold a date or UID anywhere.
    static std::optional<PropertyListValue> decode(std::span<const std::uint8_t> bytes);
    /// The value as an XML property list.
    std::string encodeXML() const;

    /// Each accessor yields the value only when it is of that kind (an integer is not a real).
    const bool* boolean() const { return std::get_if<bool>(&storage_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&storage_); }
    const double* real() const { return std::get_if<double>(&storage_); }
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    const Data* data() const { return std::get_if<Data>(&storage_); }
    const Array* array() const { return std::get_if<Array>(&storage_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage_); }

    friend bool operator==(const PropertyListValue&, const PropertyListValue&) = default;

private:
    std::variant<bool, std::int64_t, double, std::string, Data, Array, Dictionary> storage_;
};

} // namespace platform

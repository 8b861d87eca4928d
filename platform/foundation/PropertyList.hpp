#pragma once

// Property lists in their XML encoding, read and written. A value is a tree of dictionaries,
// arrays and scalars; dates and UIDs are not kept.
//
// The binary encoding is not read: the system's property-list library stops the process (a failed
// assertion) on a string or key holding a NUL character, and a binary list cannot be screened for
// those without decoding it. XML text can: text holding a NUL byte is refused before it reaches
// the library, which refuses character references to NUL itself.

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

    /// The value of a whole XML property-list file; nothing when the bytes are not one (a binary
    /// list included), are nested deeper than `maxDepth`, hold a NUL character or hold a date or
    /// UID anywhere.
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

#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// Any JSON value, for members whose shape the reading code does not model. Numbers are held as
// doubles whatever their text looked like; objects do not remember the order of their members.
class JSONAny {
public:
    enum class Kind { null, boolean, number, string, array, object };
    using Array = std::vector<JSONAny>;
    using Object = std::map<std::string, JSONAny, std::less<>>;

    JSONAny() = default; // null
    JSONAny(std::nullptr_t) {}
    JSONAny(bool value)
        : value_(value) {}
    JSONAny(double value)
        : value_(value) {}
    JSONAny(std::string value)
        : value_(std::move(value)) {}
    JSONAny(const char* value)
        : value_(std::string(value)) {}
    JSONAny(Array value)
        : value_(std::move(value)) {}
    JSONAny(Object value)
        : value_(std::move(value)) {}

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(value_.index()); }
    [[nodiscard]] bool isNull() const { return kind() == Kind::null; }
    // Each accessor gives nullptr when the value is of another kind.
    [[nodiscard]] const bool* boolValue() const { return std::get_if<bool>(&value_); }
    [[nodiscard]] const double* numberValue() const { return std::get_if<double>(&value_); }
    [[nodiscard]] const std::string* stringValue() const {
        return std::get_if<std::string>(&value_);
    }
    [[nodiscard]] const Array* arrayValue() const { return std::get_if<Array>(&value_); }
    [[nodiscard]] const Object* objectValue() const { return std::get_if<Object>(&value_); }

    // Structural equality: numbers compare as doubles (NaN unequal to itself, 0 equal to -0),
    // strings byte for byte, objects member by member whatever their order.
    friend bool operator==(const JSONAny&, const JSONAny&) = default;

private:
    std::variant<std::monostate, bool, double, std::string, Array, Object> value_;
};

} // namespace platform

#pragma once

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace mossbarrow {

// Any JSON value, for the free-form parts of MCP server records. Numbers are doubles (there is
// no integer case); objects keep no member order.
class JSONValue {
public:
    using Object = std::map<std::string, JSONValue>;
    using Array = std::vector<JSONValue>;
    struct Null {
        friend bool operator==(Null, Null) = default;
    };

    JSONValue()
        : storage_(Null{}) {}

    static JSONValue string(std::string value) { return JSONValue(std::move(value)); }
    static JSONValue number(double value) { return JSONValue(value); }
    static JSONValue boolean(bool value) { return JSONValue(value); }
    static JSONValue object(Object value) { return JSONValue(std::move(value)); }
    static JSONValue array(Array value) { return JSONValue(std::move(value)); }
    static JSONValue null() { return JSONValue(); }

    // Tries null, bool, number, string, object, array in that order. A failure anywhere inside
    // is reported as "Unsupported JSON value" at the outermost value.
    static JSONValue decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;

    // The cases in declaration order, so `index()` is the case's ordinal.
    using Storage = std::variant<std::string, double, bool, Object, Array, Null>;
    const Storage& storage() const { return storage_; }

    // Structural equality: strings under canonical equivalence, numbers by IEEE comparison (NaN
    // never equal, 0 == -0), objects whatever their member order, arrays element by element.
    friend bool operator==(const JSONValue& lhs, const JSONValue& rhs);
    friend bool operator!=(const JSONValue& lhs, const JSONValue& rhs) { return !(lhs == rhs); }

private:
    template <class T>
    explicit JSONValue(T value)
        : storage_(std::move(value)) {}

    Storage storage_;
};

} // namespace mossbarrow

#pragma once

#include "platform/foundation/Data.hpp"
#include "platform/foundation/DecodingError.hpp"
#include "platform/foundation/JSONAny.hpp"

#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class JSONEncodingContainer;

// How a type is written as a JSON value. A record type provides
//     void encode(platform::JSONEncodingContainer& container) const;
// and needs nothing else; other types specialise this template.
template <class T>
struct JSONEncoding;

template <class T>
concept JSONSelfEncodable = requires(const T& value, JSONEncodingContainer& c) {
    {value.encode(c)};
};

template <class T>
concept JSONEncodable = requires(const T& value, JSONEncodingContainer& c) {
    {JSONEncoding<T>::encode(value, c)};
};

namespace detail {
struct EncodedNode;
}

// One position of the document being written. Writing a single value sets it; writing a member
// makes it an object (a member written twice keeps the last value); appending makes it an array.
class JSONEncodingContainer {
public:
    void encodeNull();
    void encodeBool(bool value);
    void encodeInt64(std::int64_t value);
    // Fails with EncodingError for NaN and infinities, which JSON cannot hold.
    void encodeDouble(double value);
    void encodeString(std::string_view value);
    template <class T>
    void encode(const T& value) {
        JSONEncoding<T>::encode(value, *this);
    }

    // --- Members of an object.
    template <class T>
    void encode(std::string_view key, const T& value) {
        JSONEncodingContainer child = member(key);
        JSONEncoding<T>::encode(value, child);
    }
    // An absent value leaves the member out (it is not written as null).
    template <class T>
    void encodeIfPresent(std::string_view key, const std::optional<T>& value) {
        if (value) {
            encode(key, *value);
        }
    }
    [[nodiscard]] JSONEncodingContainer member(std::string_view key);
    // Makes this position an empty object (for a record without members to write).
    void encodeEmptyObject();

    // --- Elements of an array.
    [[nodiscard]] JSONEncodingContainer appendElement();
    void encodeEmptyArray();

private:
    friend class JSONEncoder;
    explicit JSONEncodingContainer(detail::EncodedNode* node)
        : node_(node) {}
    detail::EncodedNode* node_;
};

// Writes a value as JSON text. With prettyPrinted, nesting is shown by two-space indents and
// members as `"key" : value`; with sortedKeys, members are ordered by name (case-insensitive,
// runs of digits by their numeric value, exact text as the tie-break). "/" is written "\/"
// unless withoutEscapingSlashes. Integers are written as integers, doubles in their shortest
// form that reads back to the same value (1.0 as 1, 1e+20 past 2^53).
class JSONEncoder {
public:
    enum OutputFormatting : unsigned {
        prettyPrinted = 1U << 0U,
        sortedKeys = 1U << 1U,
        withoutEscapingSlashes = 1U << 2U,
    };
    unsigned outputFormatting = 0;

    JSONEncoder() = default;
    explicit JSONEncoder(unsigned formatting)
        : outputFormatting(formatting) {}

    template <class T>
    [[nodiscard]] std::string encode(const T& value) const {
        const std::shared_ptr<detail::EncodedNode> root = makeRoot();
        JSONEncodingContainer container(root.get());
        JSONEncoding<T>::encode(value, container);
        return write(*root);
    }
    template <class T>
    [[nodiscard]] Data encodeToData(const T& value) const {
        return dataFromString(encode(value));
    }

private:
    [[nodiscard]] static std::shared_ptr<detail::EncodedNode> makeRoot();
    [[nodiscard]] std::string write(const detail::EncodedNode& root) const;
};

// ---------------------------------------------------------------------------------------------
// Encoding of the standard types.

template <JSONSelfEncodable T>
struct JSONEncoding<T> {
    static void encode(const T& value, JSONEncodingContainer& c) { value.encode(c); }
};

template <>
struct JSONEncoding<bool> {
    static void encode(bool value, JSONEncodingContainer& c) { c.encodeBool(value); }
};

template <>
struct JSONEncoding<std::int64_t> {
    static void encode(std::int64_t value, JSONEncodingContainer& c) { c.encodeInt64(value); }
};

template <>
struct JSONEncoding<int> {
    static void encode(int value, JSONEncodingContainer& c) { c.encodeInt64(value); }
};

template <>
struct JSONEncoding<double> {
    static void encode(double value, JSONEncodingContainer& c) { c.encodeDouble(value); }
};

template <>
struct JSONEncoding<std::string> {
    static void encode(const std::string& value, JSONEncodingContainer& c) {
        c.encodeString(value);
    }
};

template <>
struct JSONEncoding<std::string_view> {
    static void encode(std::string_view value, JSONEncodingContainer& c) { c.encodeString(value); }
};

template <>
struct JSONEncoding<JSONAny> {
    static void encode(const JSONAny& value, JSONEncodingContainer& c);
};

// A null element of an array; as a member, prefer encodeIfPresent, which leaves it out.
template <JSONEncodable T>
struct JSONEncoding<std::optional<T>> {
    static void encode(const std::optional<T>& value, JSONEncodingContainer& c) {
        if (value) {
            JSONEncoding<T>::encode(*value, c);
        } else {
            c.encodeNull();
        }
    }
};

template <JSONEncodable T>
struct JSONEncoding<std::vector<T>> {
    static void encode(const std::vector<T>& value, JSONEncodingContainer& c) {
        c.encodeEmptyArray();
        for (const T& element : value) {
            JSONEncodingContainer child = c.appendElement();
            JSONEncoding<T>::encode(element, child);
        }
    }
};

template <JSONEncodable T, class Compare>
struct JSONEncoding<std::map<std::string, T, Compare>> {
    static void encode(const std::map<std::string, T, Compare>& value, JSONEncodingContainer& c) {
        c.encodeEmptyObject();
        for (const auto& [key, member] : value) {
            c.encode(key, member);
        }
    }
};

} // namespace platform

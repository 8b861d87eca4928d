#pragma once

#include "platform/foundation/Data.hpp"
#include "platform/foundation/DecodingError.hpp"
#include "platform/foundation/JSONAny.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

class JSONDecodingContainer;

// How a type is read from a JSON value. A record type provides
//     static T decode(const platform::JSONDecodingContainer& container);
// and needs nothing else; other types specialise this template.
template <class T>
struct JSONDecoding;

template <class T>
concept JSONSelfDecodable = requires(const JSONDecodingContainer& c) {
    { T::decode(c) } -> std::convertible_to<T>;
};

template <class T>
concept JSONDecodable = requires(const JSONDecodingContainer& c) {
    { JSONDecoding<T>::decode(c) } -> std::convertible_to<T>;
};

namespace detail {
// The path to a value, as a chain of links kept on the stack while a document is decoded.
struct DecodingPathLink {
    const DecodingPathLink* parent = nullptr;
    std::string_view key;
    std::int64_t index = -1; // an array element when >= 0
    bool isRoot = true;
};
} // namespace detail

// A view of one value of a parsed document, with its coding path. The rules it applies:
// - a required member (`decode(key)`) that is missing is keyNotFound; null where a value is
//   needed is valueNotFound; a value of another kind is typeMismatch;
// - an optional member (`decodeIfPresent(key)`) that is missing or null is nullopt, and of the
//   wrong kind fails as for a required one;
// - members nobody asks for are ignored;
// - nothing is coerced: a string is never a number, a number never a bool; an Int64 must be an
//   integer that fits in 64 bits (1.5 and 9223372036854775808 fail).
//
// A container and the containers made from it are valid only while the document is being
// decoded, and a nested container must not outlive the one it came from.
class JSONDecodingContainer {
public:
    enum class Kind { null, boolean, number, string, array, object };

    JSONDecodingContainer(const JSONDecodingContainer&) = default;
    JSONDecodingContainer& operator=(const JSONDecodingContainer&) = default;

    [[nodiscard]] Kind kind() const;
    [[nodiscard]] bool isNull() const { return kind() == Kind::null; }
    [[nodiscard]] CodingPath codingPath() const;

    // --- This value itself.
    [[nodiscard]] bool decodeBool() const;
    [[nodiscard]] std::int64_t decodeInt64() const;
    [[nodiscard]] double decodeDouble() const;
    [[nodiscard]] std::string decodeString() const;
    // The text without a copy; valid while the document is being decoded.
    [[nodiscard]] std::string_view decodeStringView() const;
    // Any JSON value at all (null included).
    [[nodiscard]] JSONAny decodeAny() const;
    template <class T>
    [[nodiscard]] T decode() const {
        return JSONDecoding<T>::decode(*this);
    }

    // --- Members of this object. Each of these fails unless the value is an object.
    [[nodiscard]] bool contains(std::string_view key) const;
    template <class T>
    [[nodiscard]] T decode(std::string_view key) const {
        return JSONDecoding<T>::decode(member(key));
    }
    template <class T>
    [[nodiscard]] std::optional<T> decodeIfPresent(std::string_view key) const {
        const std::optional<JSONDecodingContainer> value = memberIfPresent(key);
        if (!value) {
            return std::nullopt;
        }
        return JSONDecoding<T>::decode(*value);
    }
    // The member's value, whatever its kind; keyNotFound when it is missing.
    [[nodiscard]] JSONDecodingContainer member(std::string_view key) const;
    // nullopt when the member is missing or null.
    [[nodiscard]] std::optional<JSONDecodingContainer> memberIfPresent(std::string_view key) const;
    // Calls fn(std::string_view key, const JSONDecodingContainer& value) for every member, in
    // document order.
    template <class F>
    void forEachMember(F&& fn) const {
        forEachMemberImpl(
            &fn, [](void* context, std::string_view key, const JSONDecodingContainer& value) {
                (*static_cast<std::remove_reference_t<F>*>(context))(key, value);
            });
    }

    // --- Elements of this array. Each of these fails unless the value is an array.
    [[nodiscard]] std::size_t count() const;
    // Calls fn(const JSONDecodingContainer& element) for every element in order.
    template <class F>
    void forEachElement(F&& fn) const {
        forEachElementImpl(&fn, [](void* context, const JSONDecodingContainer& element) {
            (*static_cast<std::remove_reference_t<F>*>(context))(element);
        });
    }

    // --- Errors at this value, for decoders of custom types.
    [[noreturn]] void throwTypeMismatch(std::string_view expectedType) const;
    [[noreturn]] void throwDataCorrupted(std::string debugDescription) const;

private:
    friend class JSONDecoder;
    using MemberCallback = void (*)(void*, std::string_view, const JSONDecodingContainer&);
    using ElementCallback = void (*)(void*, const JSONDecodingContainer&);

    JSONDecodingContainer() = default;
    void forEachMemberImpl(void* context, MemberCallback callback) const;
    void forEachElementImpl(void* context, ElementCallback callback) const;
    // The path of a child of this value.
    [[nodiscard]] detail::DecodingPathLink childLink(std::string_view key) const;
    [[nodiscard]] detail::DecodingPathLink childLink(std::int64_t index) const;
    void requireObject() const;
    void requireArray() const;

    // The parsed value (a small handle into the parser's document), kept opaque so that the
    // parser's headers stay out of this one.
    alignas(8) unsigned char element_[16] = {};
    detail::DecodingPathLink link_;
};

// Reads a JSON document into a value. Malformed or truncated text, and nesting deeper than
// `maximumDepth`, fail with DecodingError (dataCorrupted), never with a crash; the caller caps
// the size of the input.
class JSONDecoder {
public:
    static constexpr std::size_t defaultMaximumDepth = 512;
    std::size_t maximumDepth = defaultMaximumDepth;

    template <class T>
    [[nodiscard]] T decode(std::string_view json) const {
        std::optional<T> result;
        withDocument(json, &result, [](void* context, const JSONDecodingContainer& root) {
            static_cast<std::optional<T>*>(context)->emplace(JSONDecoding<T>::decode(root));
        });
        return std::move(*result);
    }
    template <class T>
    [[nodiscard]] T decode(const Data& json) const {
        return decode<T>(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
    }

private:
    void withDocument(std::string_view json, void* context,
                      void (*callback)(void*, const JSONDecodingContainer&)) const;
};

// ---------------------------------------------------------------------------------------------
// Decoding of the standard types.

template <JSONSelfDecodable T>
struct JSONDecoding<T> {
    static T decode(const JSONDecodingContainer& c) { return T::decode(c); }
};

template <>
struct JSONDecoding<bool> {
    static bool decode(const JSONDecodingContainer& c) { return c.decodeBool(); }
};

template <>
struct JSONDecoding<std::int64_t> {
    static std::int64_t decode(const JSONDecodingContainer& c) { return c.decodeInt64(); }
};

template <>
struct JSONDecoding<double> {
    static double decode(const JSONDecodingContainer& c) { return c.decodeDouble(); }
};

template <>
struct JSONDecoding<std::string> {
    static std::string decode(const JSONDecodingContainer& c) { return c.decodeString(); }
};

template <>
struct JSONDecoding<JSONAny> {
    static JSONAny decode(const JSONDecodingContainer& c) { return c.decodeAny(); }
};

// An element of an array that may be null.
template <JSONDecodable T>
struct JSONDecoding<std::optional<T>> {
    static std::optional<T> decode(const JSONDecodingContainer& c) {
        if (c.isNull()) {
            return std::nullopt;
        }
        return JSONDecoding<T>::decode(c);
    }
};

template <JSONDecodable T>
struct JSONDecoding<std::vector<T>> {
    static std::vector<T> decode(const JSONDecodingContainer& c) {
        std::vector<T> result;
        result.reserve(c.count());
        c.forEachElement(
            [&](const JSONDecodingContainer& element) { result.push_back(element.decode<T>()); });
        return result;
    }
};

// A later member with the same name replaces an earlier one.
template <JSONDecodable T, class Compare>
struct JSONDecoding<std::map<std::string, T, Compare>> {
    static std::map<std::string, T, Compare> decode(const JSONDecodingContainer& c) {
        std::map<std::string, T, Compare> result;
        c.forEachMember([&](std::string_view key, const JSONDecodingContainer& value) {
            result.insert_or_assign(std::string(key), value.decode<T>());
        });
        return result;
    }
};

} // namespace platform

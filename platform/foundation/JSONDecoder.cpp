#include "platform/foundation/JSONDecoder.hpp"

#include "platform/foundation/ASCII.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <simdjson.h>
#include <type_traits>

namespace platform {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

static_assert(sizeof(element) <= 16 && alignof(element) <= 8);
static_assert(std::is_trivially_copyable_v<element>);

element elementOf(const unsigned char* storage) {
    element e;
    std::memcpy(static_cast<void*>(&e), storage, sizeof(element));
    return e;
}

void store(unsigned char* storage, const element& e) {
    std::memcpy(storage, static_cast<const void*>(&e), sizeof(element));
}

JSONDecodingContainer::Kind kindOf(const element& e) {
    using Kind = JSONDecodingContainer::Kind;
    switch (e.type()) {
    case element_type::ARRAY:
        return Kind::array;
    case element_type::OBJECT:
        return Kind::object;
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
        return Kind::number;
    case element_type::STRING:
        return Kind::string;
    case element_type::BOOL:
        return Kind::boolean;
    case element_type::NULL_VALUE:
        return Kind::null;
    }
    return Kind::null;
}

const char* kindDescription(JSONDecodingContainer::Kind kind) {
    using Kind = JSONDecodingContainer::Kind;
    switch (kind) {
    case Kind::null:
        return "null";
    case Kind::boolean:
        return "a bool";
    case Kind::number:
        return "a number";
    case Kind::string:
        return "a string";
    case Kind::array:
        return "an array";
    case Kind::object:
        return "a dictionary";
    }
    return "a value";
}

std::string shortestText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

// --- Paths and errors -------------------------------------------------------------------------

CodingPath JSONDecodingContainer::codingPath() const {
    CodingPath path;
    for (const detail::DecodingPathLink* link = &link_; link != nullptr && !link->isRoot;
         link = link->parent) {
        path.push_back(link->index >= 0 ? CodingKey::index(link->index)
                                        : CodingKey::member(std::string(link->key)));
    }
    return CodingPath(path.rbegin(), path.rend());
}

detail::DecodingPathLink JSONDecodingContainer::childLink(std::string_view key) const {
    return {&link_, key, -1, false};
}

detail::DecodingPathLink JSONDecodingContainer::childLink(std::int64_t index) const {
    return {&link_, {}, index, false};
}

void JSONDecodingContainer::throwTypeMismatch(std::string_view expectedType) const {
    const Kind found = kind();
    if (found == Kind::null) {
        throw DecodingError(DecodingError::Kind::valueNotFound, codingPath(),
                            "Expected " + std::string(expectedType) +
                                " value but found null instead.");
    }
    throw DecodingError(DecodingError::Kind::typeMismatch, codingPath(),
                        "Expected to decode " + std::string(expectedType) + " but found " +
                            kindDescription(found) + " instead.");
}

void JSONDecodingContainer::throwDataCorrupted(std::string debugDescription) const {
    throw DecodingError(DecodingError::Kind::dataCorrupted, codingPath(),
                        std::move(debugDescription));
}

// --- Single values ----------------------------------------------------------------------------

JSONDecodingContainer::Kind JSONDecodingContainer::kind() const {
    return kindOf(elementOf(element_));
}

bool JSONDecodingContainer::decodeBool() const {
    const element e = elementOf(element_);
    if (e.type() != element_type::BOOL) {
        throwTypeMismatch("Bool");
    }
    return e.get_bool().value_unsafe();
}

std::int64_t JSONDecodingContainer::decodeInt64() const {
    const element e = elementOf(element_);
    switch (e.type()) {
    case element_type::INT64:
        return e.get_int64().value_unsafe();
    case element_type::UINT64:
        throwDataCorrupted("Parsed JSON number <" + std::to_string(e.get_uint64().value_unsafe()) +
                           "> does not fit in Int.");
    case element_type::DOUBLE: {
        // An integral value written with a fraction or exponent (1.0, 1e3) is still an integer;
        // anything with a fractional part or beyond 64 bits is not.
        const double d = e.get_double().value_unsafe();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::isfinite(d) && std::trunc(d) == d && d > -limit && d < limit) {
            return static_cast<std::int64_t>(d);
        }
        throwDataCorrupted("Parsed JSON number <" + shortestText(d) + "> does not fit in Int.");
    }
    default:
        throwTypeMismatch("Int");
    }
}

double JSONDecodingContainer::decodeDouble() const {
    const element e = elementOf(element_);
    switch (e.type()) {
    case element_type::INT64:
        return static_cast<double>(e.get_int64().value_unsafe());
    case element_type::UINT64:
        return static_cast<double>(e.get_uint64().value_unsafe());
    case element_type::DOUBLE:
        return e.get_double().value_unsafe();
    default:
        throwTypeMismatch("Double");
    }
}

std::string_view JSONDecodingContainer::decodeStringView() const {
    const element e = elementOf(element_);
    if (e.type() != element_type::STRING) {
        throwTypeMismatch("String");
    }
    return e.get_string().value_unsafe();
}

std::string JSONDecodingContainer::decodeString() const {
    return std::string(decodeStringView());
}

JSONAny JSONDecodingContainer::decodeAny() const {
    switch (kind()) {
    case Kind::null:
        return JSONAny();
    case Kind::boolean:
        return JSONAny(decodeBool());
    case Kind::number:
        return JSONAny(decodeDouble());
    case Kind::string:
        return JSONAny(decodeString());
    case Kind::array: {
        JSONAny::Array array;
        array.reserve(count());
        forEachElement(
            [&](const JSONDecodingContainer& element) { array.push_back(element.decodeAny()); });
        return JSONAny(std::move(array));
    }
    case Kind::object: {
        JSONAny::Object object;
        forEachMember([&](std::string_view key, const JSONDecodingContainer& value) {
            object.insert_or_assign(std::string(key), value.decodeAny());
        });
        return JSONAny(std::move(object));
    }
    }
    throwDataCorrupted("Unsupported JSON value");
}

// --- Objects ----------------------------------------------------------------------------------

void JSONDecodingContainer::requireObject() const {
    if (elementOf(element_).type() != element_type::OBJECT) {
        throwTypeMismatch("Dictionary<String, Any>");
    }
}

void JSONDecodingContainer::requireArray() const {
    if (elementOf(element_).type() != element_type::ARRAY) {
        throwTypeMismatch("Array<Any>");
    }
}

namespace {

// The member's value; with a name given twice, the last one counts, as when the members are
// read into a dictionary.
bool findMember(const element& object, std::string_view key, element& found) {
    bool any = false;
    const simdjson::dom::object members = object.get_object().value_unsafe();
    for (const auto field : members) {
        if (field.key == key) {
            found = field.value;
            any = true;
        }
    }
    return any;
}

} // namespace

bool JSONDecodingContainer::contains(std::string_view key) const {
    requireObject();
    element found;
    return findMember(elementOf(element_), key, found);
}

JSONDecodingContainer JSONDecodingContainer::member(std::string_view key) const {
    requireObject();
    element found;
    if (!findMember(elementOf(element_), key, found)) {
        throw DecodingError(DecodingError::Kind::keyNotFound, codingPath(),
                            "No value associated with key \"" + std::string(key) + "\".",
                            CodingKey::member(std::string(key)));
    }
    JSONDecodingContainer child;
    store(child.element_, found);
    child.link_ = childLink(key);
    return child;
}

std::optional<JSONDecodingContainer>
JSONDecodingContainer::memberIfPresent(std::string_view key) const {
    requireObject();
    element found;
    if (!findMember(elementOf(element_), key, found) || found.type() == element_type::NULL_VALUE) {
        return std::nullopt;
    }
    JSONDecodingContainer child;
    store(child.element_, found);
    child.link_ = childLink(key);
    return child;
}

void JSONDecodingContainer::forEachMemberImpl(void* context, MemberCallback callback) const {
    requireObject();
    const simdjson::dom::object members = elementOf(element_).get_object().value_unsafe();
    for (const auto field : members) {
        JSONDecodingContainer child;
        store(child.element_, field.value);
        child.link_ = childLink(field.key);
        callback(context, field.key, child);
    }
}

// --- Arrays -----------------------------------------------------------------------------------

std::size_t JSONDecodingContainer::count() const {
    requireArray();
    return elementOf(element_).get_array().value_unsafe().size();
}

void JSONDecodingContainer::forEachElementImpl(void* context, ElementCallback callback) const {
    requireArray();
    std::int64_t index = 0;
    const simdjson::dom::array elements = elementOf(element_).get_array().value_unsafe();
    for (const element value : elements) {
        JSONDecodingContainer child;
        store(child.element_, value);
        child.link_ = childLink(index++);
        callback(context, child);
    }
}

// --- The decoder ------------------------------------------------------------------------------

namespace {

// Whether an integer literal lies outside what the parser takes as an integer: above
// 18446744073709551615, or below -9223372036854775808. Literals within the range are left
// alone so that they keep their exact value.
bool beyond64Bits(std::string_view literal) {
    const bool negative = !literal.empty() && literal.front() == '-';
    std::string_view digits = literal.substr(negative ? 1 : 0);
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    const std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
    if (digits.size() != limit.size()) {
        return digits.size() > limit.size();
    }
    return digits > limit;
}

// The parser refuses integers beyond 64 bits, where JSON allows them and they read as doubles.
// This gives every such integer literal (outside strings) a fraction, so that a second parse
// takes it as a double; nullopt when there is none.
std::optional<std::string> widenLongIntegers(std::string_view json) {
    std::string out;
    bool changed = false;
    bool inString = false;
    std::size_t i = 0;
    while (i < json.size()) {
        const char c = json[i];
        if (inString) {
            out.push_back(c);
            if (c == '\\' && i + 1 < json.size()) {
                out.push_back(json[i + 1]);
                i += 2;
                continue;
            }
            inString = c != '"';
            ++i;
            continue;
        }
        if (c == '"') {
            inString = true;
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == '-' || ascii::isDigit(c)) {
            // One whole number token: sign and integer digits, then any fraction and exponent,
            // so that the digits of a fraction or an exponent are never taken for an integer.
            std::size_t end = i + 1;
            while (end < json.size() && ascii::isDigit(json[end])) {
                ++end;
            }
            const std::string_view integer = json.substr(i, end - i);
            bool integral = true;
            if (end < json.size() && json[end] == '.') {
                integral = false;
                ++end;
                while (end < json.size() && ascii::isDigit(json[end])) {
                    ++end;
                }
            }
            if (end < json.size() && (json[end] == 'e' || json[end] == 'E')) {
                integral = false;
                ++end;
                if (end < json.size() && (json[end] == '+' || json[end] == '-')) {
                    ++end;
                }
                while (end < json.size() && ascii::isDigit(json[end])) {
                    ++end;
                }
            }
            out.append(json.substr(i, end - i));
            if (integral && beyond64Bits(integer)) {
                out += ".0";
                changed = true;
            }
            i = end;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    if (!changed) {
        return std::nullopt;
    }
    return out;
}

} // namespace

void JSONDecoder::withDocument(std::string_view json, void* context,
                               void (*callback)(void*, const JSONDecodingContainer&)) const {
    simdjson::dom::parser parser;
    // An empty view may carry a null pointer, which simdjson must never see.
    static constexpr char empty[] = "";
    if (json.empty()) {
        json = std::string_view(empty, 0);
    }
    const auto invalid = [](std::string detail) {
        return DecodingError(DecodingError::Kind::dataCorrupted, {},
                             "The given data was not valid JSON. (" + detail + ")");
    };
    // The parser counts the document itself as one level.
    const std::size_t parserDepth = std::min<std::size_t>(maximumDepth, 1U << 20U) + 1;
    if (const auto error = parser.allocate(std::max<std::size_t>(json.size(), 64), parserDepth);
        error != simdjson::SUCCESS) {
        throw invalid(simdjson::error_message(error));
    }
    auto parsed = parser.parse(json.data(), json.size(), true);
    std::string widened;
    if (parsed.error() == simdjson::NUMBER_ERROR) {
        if (auto text = widenLongIntegers(json)) {
            widened = std::move(*text);
            if (const auto error = parser.allocate(widened.size(), parserDepth);
                error != simdjson::SUCCESS) {
                throw invalid(simdjson::error_message(error));
            }
            auto second = parser.parse(widened.data(), widened.size(), true);
            if (second.error() == simdjson::SUCCESS) {
                parsed = std::move(second);
            }
        }
    }
    if (parsed.error() != simdjson::SUCCESS) {
        if (parsed.error() == simdjson::DEPTH_ERROR) {
            throw invalid("nesting deeper than " + std::to_string(maximumDepth) + " levels");
        }
        throw invalid(simdjson::error_message(parsed.error()));
    }
    JSONDecodingContainer root;
    store(root.element_, parsed.value_unsafe());
    callback(context, root);
}

} // namespace platform

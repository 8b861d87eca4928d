#include "Mossbarrow/JSONValue.hpp"

#include "platform/foundation/Unicode.hpp"

#include <algorithm>

namespace mossbarrow {

bool operator==(const JSONValue& lhs, const JSONValue& rhs) {
    if (lhs.storage_.index() != rhs.storage_.index()) {
        return false; // 1, true and "1" are three different values
    }
    return std::visit(
        [&](const auto& left) -> bool {
            using T = std::decay_t<decltype(left)>;
            const auto& right = std::get<T>(rhs.storage_);
            if constexpr (std::is_same_v<T, std::string>) {
                return platform::unicode::canonicallyEquivalent(left, right);
            } else if constexpr (std::is_same_v<T, JSONValue::Object>) {
                // Member names match as text does, under canonical equivalence; the map itself
                // orders them bytewise, so a name spelt another way is looked for by a scan.
                if (left.size() != right.size()) {
                    return false;
                }
                for (const auto& member : left) {
                    const std::string& name = member.first;
                    auto found = right.find(name);
                    if (found == right.end()) {
                        found =
                            std::find_if(right.begin(), right.end(), [&](const auto& candidate) {
                                return platform::unicode::canonicallyEquivalent(candidate.first,
                                                                                name);
                            });
                    }
                    if (found == right.end() || !(found->second == member.second)) {
                        return false;
                    }
                }
                return true;
            } else {
                return left == right; // doubles: IEEE (NaN != NaN, 0 == -0); arrays pairwise
            }
        },
        lhs.storage_);
}

} // namespace mossbarrow

namespace mossbarrow {

JSONValue JSONValue::decode(const platform::JSONDecodingContainer& c) {
    using Kind = platform::JSONDecodingContainer::Kind;
    try {
        switch (c.kind()) {
        case Kind::null:
            return JSONValue::null();
        case Kind::boolean:
            return JSONValue::boolean(c.decodeBool());
        case Kind::number:
            return JSONValue::number(c.decodeDouble());
        case Kind::string:
            return JSONValue::string(c.decodeString());
        case Kind::object: {
            Object members;
            c.forEachMember(
                [&](std::string_view key, const platform::JSONDecodingContainer& value) {
                    members.insert_or_assign(std::string(key), JSONValue::decode(value));
                });
            return JSONValue::object(std::move(members));
        }
        case Kind::array: {
            Array elements;
            elements.reserve(c.count());
            c.forEachElement([&](const platform::JSONDecodingContainer& element) {
                elements.push_back(JSONValue::decode(element));
            });
            return JSONValue::array(std::move(elements));
        }
        }
    } catch (const platform::DecodingError&) {
        // The inner error is dropped: the outermost value is the one reported.
    }
    c.throwDataCorrupted("Unsupported JSON value");
}

} // namespace mossbarrow

namespace mossbarrow {

void JSONValue::encode(platform::JSONEncodingContainer& c) const {
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                c.encodeString(value);
            } else if constexpr (std::is_same_v<T, double>) {
                c.encodeDouble(value);
            } else if constexpr (std::is_same_v<T, bool>) {
                c.encodeBool(value);
            } else if constexpr (std::is_same_v<T, Object>) {
                c.encodeEmptyObject();
                for (const auto& [name, member] : value) {
                    c.encode(name, member); // a null member stays, written as null
                }
            } else if constexpr (std::is_same_v<T, Array>) {
                c.encodeEmptyArray();
                for (const auto& element : value) {
                    auto child = c.appendElement();
                    element.encode(child);
                }
            } else {
                c.encodeNull();
            }
        },
        storage_);
}

} // namespace mossbarrow

#include "platform/foundation/PropertyList.hpp"

#include "platform/runtime/ScopeExit.hpp"

#include <cstdlib>
#include <limits>
#include <plist/plist.h>
#include <string_view>

namespace platform {
namespace {

std::optional<PropertyListValue> fromNode(plist_t node, int depth) {
    if (node == nullptr || depth > PropertyListValue::maxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PropertyListValue(value != 0);
    }
    case PLIST_UINT: {
        // The library keeps every integer as 64 unsigned bits; negative ones come back in two's
        // complement, so the signed reading is the written one.
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return PropertyListValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PropertyListValue(value);
    }
    case PLIST_STRING: {
        // Read in place with its length: the copying accessor asserts on what it cannot copy.
        std::uint64_t length = 0;
        const char* value = plist_get_string_ptr(node, &length);
        return PropertyListValue(value != nullptr ? std::string(value, length) : std::string());
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const auto* bytes =
            reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
        return PropertyListValue(
            PropertyListValue::Data(bytes, bytes == nullptr ? bytes : bytes + length));
    }
    case PLIST_ARRAY: {
        PropertyListValue::Array array;
        const std::uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::optional<PropertyListValue> item =
                fromNode(plist_array_get_item(node, i), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            array.push_back(std::move(*item));
        }
        return PropertyListValue(std::move(array));
    }
    case PLIST_DICT: {
        PropertyListValue::Dictionary dictionary;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        const ScopeExit release([&] { std::free(iterator); });
        // One step per member: the loop ends with the dictionary.
        const std::uint32_t count = plist_dict_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            const ScopeExit releaseKey([&] { std::free(key); });
            if (key == nullptr) {
                break;
            }
            std::optional<PropertyListValue> value = fromNode(item, depth + 1);
            if (!value) {
                return std::nullopt;
            }
            dictionary.insert_or_assign(std::string(key), std::move(*value));
        }
        return PropertyListValue(std::move(dictionary));
    }
    default:
        return std::nullopt;
    }
}

plist_t toNode(const PropertyListValue& value) {
    if (const bool* b = value.boolean()) {
        return plist_new_bool(*b ? 1 : 0);
    }
    if (const std::int64_t* i = value.integer()) {
        return plist_new_uint(static_cast<std::uint64_t>(*i));
    }
    if (const double* r = value.real()) {
        return plist_new_real(*r);
    }
    if (const std::string* s = value.string()) {
        return plist_new_string(s->c_str());
    }
    if (const PropertyListValue::Data* d = value.data()) {
        return plist_new_data(reinterpret_cast<const char*>(d->data()), d->size());
    }
    if (const PropertyListValue::Array* a = value.array()) {
        plist_t node = plist_new_array();
        for (const PropertyListValue& item : *a) {
            plist_array_append_item(node, toNode(item));
        }
        return node;
    }
    plist_t node = plist_new_dict();
    for (const auto& [key, item] : *value.dictionary()) {
        plist_dict_set_item(node, key.c_str(), toNode(item));
    }
    return node;
}

} // namespace

std::optional<PropertyListValue> PropertyListValue::decode(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A NUL byte in the text would end up inside a string or key (the library refuses character
    // references to NUL itself).
    if (plist_is_binary(text.data(), static_cast<std::uint32_t>(text.size())) != 0 ||
        text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()), &root);
    const ScopeExit release([&] { plist_free(root); });
    return fromNode(root, 0);
}

std::string PropertyListValue::encodeXML() const {
    plist_t root = toNode(*this);
    const ScopeExit release([&] { plist_free(root); });
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    const ScopeExit releaseXML([&] { plist_to_xml_free(xml); });
    return xml == nullptr ? std::string() : std::string(xml, length);
}

} // namespace platform

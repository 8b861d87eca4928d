#include "Math/FontTable.hpp"

#include "platform/foundation/PropertyList.hpp"

namespace Math {
namespace {

using Value = platform::PropertyListValue;

const Value* member(const Value::Dictionary& dictionary, std::string_view key) {
    const auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

template <class T, class Read>
bool readMap(const Value::Dictionary& root, std::string_view key,
             std::map<std::string, T, std::less<>>& out, Read read) {
    const Value* value = member(root, key);
    const Value::Dictionary* dictionary = value != nullptr ? value->dictionary() : nullptr;
    if (dictionary == nullptr) {
        return false;
    }
    for (const auto& [name, item] : *dictionary) {
        std::optional<T> decoded = read(item);
        if (!decoded) {
            return false;
        }
        out.emplace(name, std::move(*decoded));
    }
    return true;
}

std::optional<std::int64_t> readInteger(const Value& value) {
    const std::int64_t* integer = value.integer();
    return integer != nullptr ? std::optional(*integer) : std::nullopt;
}

std::optional<std::vector<std::string>> readNames(const Value& value) {
    const Value::Array* array = value.array();
    if (array == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    names.reserve(array->size());
    for (const Value& item : *array) {
        const std::string* name = item.string();
        if (name == nullptr) {
            return std::nullopt;
        }
        names.push_back(*name);
    }
    return names;
}

std::optional<FontTable::Assembly::Part> readPart(const Value& value) {
    const Value::Dictionary* dictionary = value.dictionary();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    const auto integer = [&](std::string_view key) -> const std::int64_t* {
        const Value* item = member(*dictionary, key);
        return item != nullptr ? item->integer() : nullptr;
    };
    const std::int64_t* advance = integer("advance");
    const std::int64_t* endConnector = integer("endConnector");
    const std::int64_t* startConnector = integer("startConnector");
    const Value* extender = member(*dictionary, "extender");
    const Value* glyph = member(*dictionary, "glyph");
    if (advance == nullptr || endConnector == nullptr || startConnector == nullptr ||
        extender == nullptr || extender->boolean() == nullptr || glyph == nullptr ||
        glyph->string() == nullptr) {
        return std::nullopt;
    }
    return FontTable::Assembly::Part{*advance, *endConnector, *extender->boolean(),
                                     *glyph->string(), *startConnector};
}

std::optional<FontTable::Assembly> readAssembly(const Value& value) {
    const Value::Dictionary* dictionary = value.dictionary();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    const Value* italic = member(*dictionary, "italic");
    const Value* parts = member(*dictionary, "parts");
    if (italic == nullptr || italic->integer() == nullptr || parts == nullptr ||
        parts->array() == nullptr) {
        return std::nullopt;
    }
    FontTable::Assembly assembly;
    assembly.italic = *italic->integer();
    assembly.parts.reserve(parts->array()->size());
    for (const Value& item : *parts->array()) {
        std::optional<FontTable::Assembly::Part> part = readPart(item);
        if (!part) {
            return std::nullopt;
        }
        assembly.parts.push_back(std::move(*part));
    }
    return assembly;
}

template <class T, class Write>
Value writeMap(const std::map<std::string, T, std::less<>>& map, Write write) {
    Value::Dictionary dictionary;
    for (const auto& [name, item] : map) {
        dictionary.emplace(name, write(item));
    }
    return Value(std::move(dictionary));
}

Value writeNames(const std::vector<std::string>& names) {
    Value::Array array;
    array.reserve(names.size());
    for (const std::string& name : names) {
        array.emplace_back(name);
    }
    return Value(std::move(array));
}

} // namespace

std::optional<FontTable> FontTable::decode(std::span<const std::uint8_t> bytes) {
    const std::optional<Value> root = Value::decode(bytes);
    return root ? fromPropertyList(*root) : std::nullopt;
}

std::optional<FontTable> FontTable::fromPropertyList(const Value& root) {
    const Value::Dictionary* dictionary = root.dictionary();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    FontTable table;
    const Value* version = member(*dictionary, "version");
    if (version == nullptr || version->string() == nullptr) {
        return std::nullopt;
    }
    table.version = *version->string();
    if (!readMap(*dictionary, "accents", table.accents, readInteger) ||
        !readMap(*dictionary, "constants", table.constants, readInteger) ||
        !readMap(*dictionary, "italic", table.italic, readInteger) ||
        !readMap(*dictionary, "h_variants", table.hVariants, readNames) ||
        !readMap(*dictionary, "v_variants", table.vVariants, readNames) ||
        !readMap(*dictionary, "v_assembly", table.vAssembly, readAssembly)) {
        return std::nullopt;
    }
    return table;
}

Value FontTable::encode() const {
    const auto integer = [](std::int64_t v) { return Value(v); };
    Value::Dictionary root;
    root.emplace("version", Value(version));
    root.emplace("accents", writeMap(accents, integer));
    root.emplace("constants", writeMap(constants, integer));
    root.emplace("italic", writeMap(italic, integer));
    root.emplace("h_variants", writeMap(hVariants, writeNames));
    root.emplace("v_variants", writeMap(vVariants, writeNames));
    root.emplace("v_assembly", writeMap(vAssembly, [](const Assembly& assembly) {
                     Value::Array parts;
                     for (const Assembly::Part& part : assembly.parts) {
                         parts.emplace_back(Value::Dictionary{
                             {"advance", Value(part.advance)},
                             {"endConnector", Value(part.endConnector)},
                             {"extender", Value(part.extender)},
                             {"glyph", Value(part.glyph)},
                             {"startConnector", Value(part.startConnector)},
                         });
                     }
                     return Value(Value::Dictionary{{"italic", Value(assembly.italic)},
                                                    {"parts", Value(std::move(parts))}});
                 }));
    return Value(std::move(root));
}

} // namespace Math

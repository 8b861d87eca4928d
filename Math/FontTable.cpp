#include "Math/FontTable.hpp"

#include "platform/foundation/PropertyList.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

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

// Reads a table file in the form the table files are written in, straight into a table: the XML
// header, then dictionaries, arrays, keys, strings, integers and booleans, their text plain
// visible ASCII (no entity, no space) and their integers in shortest decimal. It stops at anything
// else (a comment, an entity, an unknown or repeated key, a value of another type): such a file is
// read by the general property-list reader, whose reading stays the one that counts, and this one
// reads only what that one reads the same. Going through the general reader's tree took a whole
// frame's time for the first formula of a process.
class PlainReader {
public:
    explicit PlainReader(std::span<const std::uint8_t> bytes)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}

    std::optional<FontTable> read() {
        FontTable table;
        if (!follows(R"(<?xml version="1.0" encoding="UTF-8"?>)") ||
            !take(R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" )"
                  R"("http://www.apple.com/DTDs/PropertyList-1.0.dtd">)") ||
            !take(R"(<plist version="1.0">)") || !root(table) || !take("</plist>")) {
            return std::nullopt;
        }
        space();
        if (at_ != text_.size()) {
            return std::nullopt;
        }
        return table;
    }

private:
    void space() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n')) {
            ++at_;
        }
    }

    // Takes `token` where the reader is. Tokens are literals: comparing them to the text is a few
    // instructions, not a call.
    template <std::size_t N>
    bool follows(const char (&token)[N]) {
        constexpr std::size_t size = N - 1;
        if (text_.size() - at_ < size || std::memcmp(text_.data() + at_, token, size) != 0) {
            return false;
        }
        at_ += size;
        return true;
    }

    // Takes `token` after white space.
    template <std::size_t N>
    bool take(const char (&token)[N]) {
        space();
        return follows(token);
    }

    // Plain text up to the tag `close`, which is taken too.
    template <std::size_t N>
    std::optional<std::string_view> text(const char (&close)[N]) {
        // Visible ASCII but for the characters of markup.
        static constexpr std::array<bool, 256> plain = [] {
            std::array<bool, 256> plain{};
            for (int c = '!'; c < 0x7F; ++c) {
                plain[static_cast<std::size_t>(c)] = c != '<' && c != '>' && c != '&';
            }
            return plain;
        }();
        const std::size_t start = at_;
        while (at_ < text_.size() && plain[static_cast<unsigned char>(text_[at_])]) {
            ++at_;
        }
        const std::string_view read = text_.substr(start, at_ - start);
        return follows(close) ? std::optional(read) : std::nullopt;
    }

    std::optional<std::string_view> string() {
        if (take("<string/>")) {
            return std::string_view();
        }
        return take("<string>") ? text("</string>") : std::nullopt;
    }

    std::optional<std::int64_t> integer() {
        if (!take("<integer>")) {
            return std::nullopt;
        }
        const std::optional<std::string_view> digits = text("</integer>");
        if (!digits) {
            return std::nullopt;
        }
        const bool negative = digits->starts_with('-');
        const std::string_view magnitude = digits->substr(negative ? 1 : 0);
        // Up to 18 digits always fit; a leading zero is another way of writing the number.
        if (magnitude.empty() || magnitude.size() > 18 ||
            (magnitude.front() == '0' && magnitude.size() > 1)) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        for (const char digit : magnitude) {
            if (digit < '0' || digit > '9') {
                return std::nullopt;
            }
            value = value * 10 + (digit - '0');
        }
        return negative ? -value : value;
    }

    std::optional<bool> boolean() {
        if (take("<true/>")) {
            return true;
        }
        return take("<false/>") ? std::optional(false) : std::nullopt;
    }

    // Calls `member` with each key of a dictionary, which reads the value after it.
    template <class Member>
    bool dictionary(Member member) {
        if (take("<dict/>")) {
            return true;
        }
        if (!take("<dict>")) {
            return false;
        }
        while (!take("</dict>")) {
            if (!take("<key>")) {
                return false;
            }
            const std::optional<std::string_view> key = text("</key>");
            if (!key || !member(*key)) {
                return false;
            }
        }
        return true;
    }

    // Calls `item` for each value of an array, which reads it.
    template <class Item>
    bool array(Item item) {
        if (take("<array/>")) {
            return true;
        }
        if (!take("<array>")) {
            return false;
        }
        while (!take("</array>")) {
            if (!item()) {
                return false;
            }
        }
        return true;
    }

    // A dictionary of names to values that `value` reads; a name may come once only.
    template <class T, class Read>
    bool map(std::map<std::string, T, std::less<>>& out, Read value) {
        return dictionary([&](std::string_view name) {
            std::optional<T> read = value();
            return read && out.try_emplace(std::string(name), std::move(*read)).second;
        });
    }

    std::optional<std::vector<std::string>> names() {
        std::vector<std::string> names;
        const bool read = array([&] {
            const std::optional<std::string_view> name = string();
            if (name) {
                names.emplace_back(*name);
            }
            return name.has_value();
        });
        return read ? std::optional(std::move(names)) : std::nullopt;
    }

    std::optional<FontTable::Assembly::Part> part() {
        FontTable::Assembly::Part part;
        unsigned seen = 0;
        const bool read = dictionary([&](std::string_view key) {
            // Each key once, each with its own bit.
            const auto once = [&seen](unsigned bit, auto value, auto& field) {
                if ((seen & bit) != 0 || !value) {
                    return false;
                }
                seen |= bit;
                field = std::move(*value);
                return true;
            };
            if (key == "advance") {
                return once(1, integer(), part.advance);
            }
            if (key == "endConnector") {
                return once(2, integer(), part.endConnector);
            }
            if (key == "extender") {
                return once(4, boolean(), part.extender);
            }
            if (key == "glyph") {
                const std::optional<std::string_view> glyph = string();
                return once(8, glyph ? std::optional(std::string(*glyph)) : std::nullopt,
                            part.glyph);
            }
            if (key == "startConnector") {
                return once(16, integer(), part.startConnector);
            }
            return false;
        });
        return read && seen == 31 ? std::optional(std::move(part)) : std::nullopt;
    }

    std::optional<FontTable::Assembly> assembly() {
        FontTable::Assembly assembly;
        bool italic = false;
        bool parts = false;
        const bool read = dictionary([&](std::string_view key) {
            if (key == "italic" && !italic) {
                const std::optional<std::int64_t> value = integer();
                italic = value.has_value();
                assembly.italic = value.value_or(0);
                return italic;
            }
            if (key == "parts" && !parts) {
                parts = array([&] {
                    std::optional<FontTable::Assembly::Part> read = part();
                    if (read) {
                        assembly.parts.push_back(std::move(*read));
                    }
                    return read.has_value();
                });
                return parts;
            }
            return false;
        });
        return read && italic && parts ? std::optional(std::move(assembly)) : std::nullopt;
    }

    bool root(FontTable& table) {
        std::array<bool, 7> seen{};
        const auto once = [&seen](std::size_t index, bool read) {
            if (seen[index] || !read) {
                return false;
            }
            seen[index] = true;
            return true;
        };
        const auto integers = [this] { return integer(); };
        const auto variants = [this] { return names(); };
        const bool read = dictionary([&](std::string_view key) {
            if (key == "version") {
                const std::optional<std::string_view> version = string();
                table.version = version.value_or(std::string_view());
                return once(0, version.has_value());
            }
            if (key == "accents") {
                return once(1, map(table.accents, integers));
            }
            if (key == "constants") {
                return once(2, map(table.constants, integers));
            }
            if (key == "italic") {
                return once(3, map(table.italic, integers));
            }
            if (key == "h_variants") {
                return once(4, map(table.hVariants, variants));
            }
            if (key == "v_variants") {
                return once(5, map(table.vVariants, variants));
            }
            if (key == "v_assembly") {
                return once(6, map(table.vAssembly, [this] { return assembly(); }));
            }
            return false;
        });
        return read && std::all_of(seen.begin(), seen.end(), [](bool known) { return known; });
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

std::optional<FontTable> FontTable::decode(std::span<const std::uint8_t> bytes) {
    if (std::optional<FontTable> table = readPlain(bytes)) {
        return table;
    }
    const std::optional<Value> root = Value::decode(bytes);
    return root ? fromPropertyList(*root) : std::nullopt;
}

std::optional<FontTable> FontTable::readPlain(std::span<const std::uint8_t> bytes) {
    return PlainReader(bytes).read();
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

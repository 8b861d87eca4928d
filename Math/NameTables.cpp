#include "Math/NameTables.hpp"

namespace Math {

const NameTable& delimiterNames() {
    static const NameTable table{
        {".", ""},
        {"(", "("},
        {")", ")"},
        {"[", "["},
        {"]", "]"},
        {"<", "\u2329"},
        {">", "\u232A"},
        {"/", "/"},
        {"\\", "\\"},
        {"|", "|"},
        {"lgroup", "\u27EE"},
        {"rgroup", "\u27EF"},
        {"||", "\u2016"},
        {"Vert", "\u2016"},
        {"vert", "|"},
        {"uparrow", "\u2191"},
        {"downarrow", "\u2193"},
        {"updownarrow", "\u2195"},
        {"Uparrow", "\u21D1"},
        {"Downarrow", "\u21D3"},
        {"Updownarrow", "\u21D5"},
        {"backslash", "\\"},
        {"rangle", "\u232A"},
        {"langle", "\u2329"},
        {"rbrace", "}"},
        {"}", "}"},
        {"{", "{"},
        {"lbrace", "{"},
        {"lceil", "\u2308"},
        {"rceil", "\u2309"},
        {"lfloor", "\u230A"},
        {"rfloor", "\u230B"},
    };
    return table;
}

const NameTable& accentNames() {
    static const NameTable table{
        {"grave", "\u0300"}, {"acute", "\u0301"}, {"hat", "\u0302"},     {"tilde", "\u0303"},
        {"bar", "\u0304"},   {"breve", "\u0306"}, {"dot", "\u0307"},     {"ddot", "\u0308"},
        {"check", "\u030C"}, {"vec", "\u20D7"},   {"widehat", "\u0302"}, {"widetilde", "\u0303"},
    };
    return table;
}

const std::unordered_map<std::string, Atom::FontStyle>& fontStyleNames() {
    using FontStyle = Atom::FontStyle;
    static const std::unordered_map<std::string, FontStyle> table{
        {"mathnormal", FontStyle::default_},
        {"mathrm", FontStyle::roman},
        {"textrm", FontStyle::roman},
        {"rm", FontStyle::roman},
        {"text", FontStyle::roman},
        {"mathbf", FontStyle::bold},
        {"bf", FontStyle::bold},
        {"textbf", FontStyle::bold},
        {"mathcal", FontStyle::caligraphic},
        {"cal", FontStyle::caligraphic},
        {"mathtt", FontStyle::typewriter},
        {"texttt", FontStyle::typewriter},
        {"mathit", FontStyle::italic},
        {"textit", FontStyle::italic},
        {"mit", FontStyle::italic},
        {"mathsf", FontStyle::sansSerif},
        {"textsf", FontStyle::sansSerif},
        {"mathfrak", FontStyle::fraktur},
        {"frak", FontStyle::fraktur},
        {"mathbb", FontStyle::blackboard},
        {"mathbfit", FontStyle::boldItalic},
        {"bm", FontStyle::boldItalic},
    };
    return table;
}

const NameTable& negationNames() {
    static const NameTable table{
        {"equiv", "\u2262"},    {"subset", "\u2284"},   {"in", "\u2209"},
        {"sim", "\u2241"},      {"approx", "\u2249"},   {"cong", "\u2247"},
        {"parallel", "\u2226"}, {"subseteq", "\u2288"}, {"supset", "\u2285"},
        {"supseteq", "\u2289"}, {"=", "\u2260"},
    };
    return table;
}

NameTable invertNameTable(const NameTable& table) {
    NameTable result;
    for (const auto& [name, value] : table) {
        const auto found = result.find(value);
        if (found == result.end()) {
            result.emplace(value, name);
            continue;
        }
        const std::string& current = found->second;
        if (current.size() < name.size()) {
            continue;
        }
        if (name.size() < current.size() || !(name > current)) {
            found->second = name;
        }
    }
    return result;
}

const NameTable& delimiterValueNames() {
    static const NameTable table = invertNameTable(delimiterNames());
    return table;
}

const NameTable& accentValueNames() {
    static const NameTable table = invertNameTable(accentNames());
    return table;
}

const NameTable& negationValueNames() {
    static const NameTable table = invertNameTable(negationNames());
    return table;
}

std::shared_ptr<Atom> boundaryAtomForDelimiterName(std::string_view name) {
    const auto& table = delimiterNames();
    const auto found = table.find(std::string(name));
    if (found == table.end()) {
        return nullptr;
    }
    return std::make_shared<Atom>(AtomType::boundary, found->second);
}

std::shared_ptr<Accent> accentAtomForName(std::string_view name) {
    const auto& table = accentNames();
    const auto found = table.find(std::string(name));
    if (found == table.end()) {
        return nullptr;
    }
    return std::make_shared<Accent>(found->second);
}

std::optional<Atom::FontStyle> fontStyleForName(std::string_view name) {
    const auto& table = fontStyleNames();
    const auto found = table.find(std::string(name));
    if (found == table.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace Math

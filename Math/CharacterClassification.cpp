#include "Math/CharacterClassification.hpp"

#include "Math/AtomList.hpp"
#include "Math/NameTables.hpp"
#include "Math/SymbolTable.hpp"
#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Math {

namespace {

// The canonical (NFC) key of a character; ASCII is its own key.
std::string canonicalKey(std::string_view character) {
    return platform::unicode::isAscii(character) ? std::string(character)
                                                 : platform::unicode::nfc(character);
}

} // namespace

const std::unordered_map<std::string, std::pair<std::string, std::string>>& accentedCharacters() {
    static const std::unordered_map<std::string, std::pair<std::string, std::string>> table{
        // acute
        {"\u00E1", {"acute", "a"}},
        {"\u00E9", {"acute", "e"}},
        {"\u00ED", {"acute", "i"}},
        {"\u00F3", {"acute", "o"}},
        {"\u00FA", {"acute", "u"}},
        {"\u00FD", {"acute", "y"}},
        {"\u00C1", {"acute", "A"}},
        {"\u00C9", {"acute", "E"}},
        {"\u00CD", {"acute", "I"}},
        {"\u00D3", {"acute", "O"}},
        {"\u00DA", {"acute", "U"}},
        {"\u00DD", {"acute", "Y"}},
        // grave
        {"\u00E0", {"grave", "a"}},
        {"\u00E8", {"grave", "e"}},
        {"\u00EC", {"grave", "i"}},
        {"\u00F2", {"grave", "o"}},
        {"\u00F9", {"grave", "u"}},
        {"\u00C0", {"grave", "A"}},
        {"\u00C8", {"grave", "E"}},
        {"\u00CC", {"grave", "I"}},
        {"\u00D2", {"grave", "O"}},
        {"\u00D9", {"grave", "U"}},
        // hat
        {"\u00E2", {"hat", "a"}},
        {"\u00EA", {"hat", "e"}},
        {"\u00EE", {"hat", "i"}},
        {"\u00F4", {"hat", "o"}},
        {"\u00FB", {"hat", "u"}},
        {"\u00C2", {"hat", "A"}},
        {"\u00CA", {"hat", "E"}},
        {"\u00CE", {"hat", "I"}},
        {"\u00D4", {"hat", "O"}},
        {"\u00DB", {"hat", "U"}},
        // ddot
        {"\u00E4", {"ddot", "a"}},
        {"\u00EB", {"ddot", "e"}},
        {"\u00EF", {"ddot", "i"}},
        {"\u00F6", {"ddot", "o"}},
        {"\u00FC", {"ddot", "u"}},
        {"\u00FF", {"ddot", "y"}},
        {"\u00C4", {"ddot", "A"}},
        {"\u00CB", {"ddot", "E"}},
        {"\u00CF", {"ddot", "I"}},
        {"\u00D6", {"ddot", "O"}},
        {"\u00DC", {"ddot", "U"}},
        // tilde
        {"\u00E3", {"tilde", "a"}},
        {"\u00F1", {"tilde", "n"}},
        {"\u00F5", {"tilde", "o"}},
        {"\u00C3", {"tilde", "A"}},
        {"\u00D1", {"tilde", "N"}},
        {"\u00D5", {"tilde", "O"}},
        // letters that are symbol commands of their own
        {"\u00E7", {"cc", ""}},
        {"\u00F8", {"o", ""}},
        {"\u00E5", {"aa", ""}},
        {"\u00E6", {"ae", ""}},
        {"\u0153", {"oe", ""}},
        {"\u00DF", {"ss", ""}},
        {"'", {"upquote", ""}},
        {"\u00C7", {"CC", ""}},
        {"\u00D8", {"O", ""}},
        {"\u00C5", {"AA", ""}},
        {"\u00C6", {"AE", ""}},
        {"\u0152", {"OE", ""}},
    };
    return table;
}

std::shared_ptr<Atom> atomForAccentedCharacter(std::string_view character) {
    const auto& table = accentedCharacters();
    const auto found = table.find(canonicalKey(character));
    if (found == table.end()) {
        return nullptr;
    }
    const auto& [command, base] = found->second;
    if (auto symbol = symbolAtomForName(command)) {
        return symbol;
    }
    auto accent = accentAtomForName(command);
    if (!accent) {
        return nullptr;
    }
    auto list = std::make_shared<AtomList>();
    if (!base.empty()) {
        // Base letters are single ASCII characters.
        if (auto baseAtom = atomForCharacter(std::string_view(base).substr(0, 1))) {
            list->append(std::move(baseAtom));
        }
    }
    accent->innerList = std::move(list);
    return accent;
}

std::shared_ptr<Atom> atomForCharacter(std::string_view character) {
    if (character.empty()) {
        return nullptr;
    }
    const bool ascii = platform::unicode::isAscii(character);
    if (!ascii) {
        // Cyrillic capital A to small ya, compared as canonical strings.
        const std::string key = platform::unicode::nfc(character);
        if (key >= "\u0410" && key <= "\u044F") {
            return std::make_shared<Atom>(AtomType::ordinary, std::string(character));
        }
        if (accentedCharacters().contains(key)) {
            return atomForAccentedCharacter(key);
        }
        // Every scalar of a non-ASCII character lies above the printable ASCII range.
        return nullptr;
    }
    if (character == "'") {
        return atomForAccentedCharacter(character);
    }
    if (character.size() != 1) {
        return nullptr; // CR LF
    }
    const char c = character[0];
    if (c < 33 || c > 126) {
        return nullptr;
    }
    const auto make = [&](AtomType type, std::string nucleus) {
        return std::make_shared<Atom>(type, std::move(nucleus));
    };
    switch (c) {
    case '$':
    case '%':
    case '#':
    case '&':
    case '~':
    case '\'':
    case '^':
    case '_':
    case '{':
    case '}':
    case '\\':
        return nullptr;
    case '(':
    case '[':
        return make(AtomType::open, std::string(character));
    case ')':
    case ']':
    case '!':
    case '?':
        return make(AtomType::close, std::string(character));
    case ',':
    case ';':
        return make(AtomType::punctuation, std::string(character));
    case '=':
    case '>':
    case '<':
        return make(AtomType::relation, std::string(character));
    case ':':
        return make(AtomType::relation, "\u2236");
    case '-':
        return make(AtomType::binaryOperator, "\u2212");
    case '+':
    case '*':
        return make(AtomType::binaryOperator, std::string(character));
    case '"':
    case '/':
    case '@':
    case '`':
    case '|':
        return make(AtomType::ordinary, std::string(character));
    default:
        break;
    }
    if (c == '.' || platform::ascii::isDigit(c)) {
        return make(AtomType::number, std::string(character));
    }
    if (platform::ascii::isAlpha(c)) {
        return make(AtomType::variable, std::string(character));
    }
    return nullptr;
}

} // namespace Math

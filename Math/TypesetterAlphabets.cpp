#include "Math/TypesetterAlphabets.hpp"

#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <numeric>

namespace Math {

namespace {

// The character's code point: the sum of its scalars (one scalar for every letter the alphabets
// know, so the sum only matters for characters no mapper changes).
char32_t codePoint(std::string_view character) {
    const auto scalars = platform::unicode::scalars(character);
    return std::accumulate(scalars.begin(), scalars.end(), char32_t{0});
}

bool inRange(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}
bool isUpperLatin(char32_t c) {
    return inRange(c, U'A', U'Z');
}
bool isLowerLatin(char32_t c) {
    return inRange(c, U'a', U'z');
}
bool isDigit(char32_t c) {
    return inRange(c, U'0', U'9');
}
bool upperGreek(char32_t c) {
    return inRange(c, 0x0391, 0x03A9);
}
bool lowerGreek(char32_t c) {
    return inRange(c, 0x03B1, 0x03C9);
}

constexpr std::array<char32_t, 6> greekSymbols{0x03F5, 0x03D1, 0x03F0, 0x03D5, 0x03F1, 0x03D6};

std::optional<int> symbolOrder(char32_t c) {
    for (std::size_t i = 0; i < greekSymbols.size(); ++i) {
        if (greekSymbols[i] == c) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

char32_t italic(char32_t c) {
    if (c == U'h') {
        return 0x210E; // Planck constant: the italic h lives outside the alphanumeric block
    }
    if (isUpperLatin(c)) {
        return 0x1D434 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D44E + (c - U'a');
    }
    if (upperGreek(c)) {
        return 0x1D6E2 + (c - 0x0391);
    }
    if (lowerGreek(c)) {
        return 0x1D6FC + (c - 0x03B1);
    }
    if (const auto order = symbolOrder(c)) {
        return 0x1D716 + static_cast<char32_t>(*order);
    }
    return c;
}

char32_t bold(char32_t c) {
    if (isUpperLatin(c)) {
        return 0x1D400 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D41A + (c - U'a');
    }
    if (upperGreek(c)) {
        return 0x1D6A8 + (c - 0x0391);
    }
    if (lowerGreek(c)) {
        return 0x1D6C2 + (c - 0x03B1);
    }
    if (const auto order = symbolOrder(c)) {
        return 0x1D6DC + static_cast<char32_t>(*order);
    }
    if (isDigit(c)) {
        return 0x1D7CE + (c - U'0');
    }
    return c;
}

char32_t boldItalic(char32_t c) {
    if (isUpperLatin(c)) {
        return 0x1D468 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D482 + (c - U'a');
    }
    if (upperGreek(c)) {
        return 0x1D71C + (c - 0x0391);
    }
    if (lowerGreek(c)) {
        return 0x1D736 + (c - 0x03B1);
    }
    if (const auto order = symbolOrder(c)) {
        return 0x1D750 + static_cast<char32_t>(*order);
    }
    if (isDigit(c)) {
        return bold(c);
    }
    return c;
}

char32_t defaultStyle(char32_t c) {
    if (isLowerLatin(c) || isUpperLatin(c) || lowerGreek(c) || symbolOrder(c)) {
        return italic(c);
    }
    // Digits, capital Greek and the decimal point stay upright. Nothing else reaches here from the
    // parser; should it, the character is drawn as it is rather than stopping the typesetter.
    return c;
}

struct Exception {
    char32_t from;
    char32_t to;
};

template <std::size_t N>
std::optional<char32_t> exception(const std::array<Exception, N>& table, char32_t c) {
    for (const auto& entry : table) {
        if (entry.from == c) {
            return entry.to;
        }
    }
    return std::nullopt;
}

char32_t caligraphic(char32_t c) {
    static constexpr std::array<Exception, 11> letters{{{U'B', 0x212C},
                                                        {U'E', 0x2130},
                                                        {U'F', 0x2131},
                                                        {U'H', 0x210B},
                                                        {U'I', 0x2110},
                                                        {U'L', 0x2112},
                                                        {U'M', 0x2133},
                                                        {U'R', 0x211B},
                                                        {U'e', 0x212F},
                                                        {U'g', 0x210A},
                                                        {U'o', 0x2134}}};
    if (const auto mapped = exception(letters, c)) {
        return *mapped;
    }
    if (isUpperLatin(c)) {
        return 0x1D49C + (c - U'A');
    }
    return defaultStyle(c);
}

char32_t typewriter(char32_t c) {
    if (isUpperLatin(c)) {
        return 0x1D670 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D68A + (c - U'a');
    }
    if (isDigit(c)) {
        return 0x1D7F6 + (c - U'0');
    }
    return defaultStyle(c);
}

char32_t sansSerif(char32_t c) {
    if (isUpperLatin(c)) {
        return 0x1D5A0 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D5BA + (c - U'a');
    }
    if (isDigit(c)) {
        return 0x1D7E2 + (c - U'0');
    }
    return defaultStyle(c);
}

char32_t fraktur(char32_t c) {
    static constexpr std::array<Exception, 5> letters{
        {{U'C', 0x212D}, {U'H', 0x210C}, {U'I', 0x2111}, {U'R', 0x211C}, {U'Z', 0x2128}}};
    if (const auto mapped = exception(letters, c)) {
        return *mapped;
    }
    if (isUpperLatin(c)) {
        return 0x1D504 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D51E + (c - U'a');
    }
    return defaultStyle(c);
}

char32_t blackboard(char32_t c) {
    static constexpr std::array<Exception, 7> letters{{{U'C', 0x2102},
                                                       {U'H', 0x210D},
                                                       {U'N', 0x2115},
                                                       {U'P', 0x2119},
                                                       {U'Q', 0x211A},
                                                       {U'R', 0x211D},
                                                       {U'Z', 0x2124}}};
    if (const auto mapped = exception(letters, c)) {
        return *mapped;
    }
    if (isUpperLatin(c)) {
        return 0x1D538 + (c - U'A');
    }
    if (isLowerLatin(c)) {
        return 0x1D552 + (c - U'a');
    }
    if (isDigit(c)) {
        return 0x1D7D8 + (c - U'0');
    }
    return defaultStyle(c);
}

char32_t mapped(char32_t c, Atom::FontStyle style) {
    switch (style) {
    case Atom::FontStyle::default_:
        return defaultStyle(c);
    case Atom::FontStyle::roman:
        return c;
    case Atom::FontStyle::bold:
        return bold(c);
    case Atom::FontStyle::caligraphic:
        return caligraphic(c);
    case Atom::FontStyle::typewriter:
        return typewriter(c);
    case Atom::FontStyle::italic:
        return italic(c);
    case Atom::FontStyle::sansSerif:
        return sansSerif(c);
    case Atom::FontStyle::fraktur:
        return fraktur(c);
    case Atom::FontStyle::blackboard:
        return blackboard(c);
    case Atom::FontStyle::boldItalic:
        return boldItalic(c);
    }
    return c;
}

} // namespace

std::string styleCharacters(std::string_view nucleus, Atom::FontStyle style,
                            const std::function<bool(char32_t)>& drawable) {
    const auto styled = [&](char32_t c) {
        const char32_t to = mapped(c, style);
        return to == c || !drawable || drawable(to) ? to : c;
    };
    std::string result;
    result.reserve(nucleus.size() * 4);
    // Printable ASCII is one character per byte: most variables and numbers are restyled
    // without a character iterator.
    if (std::all_of(nucleus.begin(), nucleus.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        for (const char c : nucleus) {
            result += platform::unicode::utf8(styled(static_cast<char32_t>(c)));
        }
        return result;
    }
    for (const auto character : textCharacters(nucleus)) {
        const auto scalars = platform::unicode::scalars(character);
        if (scalars.size() != 1) {
            result += character;
            continue;
        }
        result += platform::unicode::utf8(styled(scalars.front()));
    }
    return result;
}

char32_t italicCharacter(std::string_view character) {
    return italic(codePoint(character));
}
char32_t boldCharacter(std::string_view character) {
    return bold(codePoint(character));
}
char32_t boldItalicCharacter(std::string_view character) {
    return boldItalic(codePoint(character));
}
char32_t defaultStyleCharacter(std::string_view character) {
    return defaultStyle(codePoint(character));
}
char32_t caligraphicCharacter(std::string_view character) {
    return caligraphic(codePoint(character));
}
char32_t typewriterCharacter(std::string_view character) {
    return typewriter(codePoint(character));
}
char32_t sansSerifCharacter(std::string_view character) {
    return sansSerif(codePoint(character));
}
char32_t frakturCharacter(std::string_view character) {
    return fraktur(codePoint(character));
}
char32_t blackboardCharacter(std::string_view character) {
    return blackboard(codePoint(character));
}

std::vector<std::uint32_t> unicodeScalarArray(std::string_view text) {
    const auto scalars = platform::unicode::scalars(text);
    return {scalars.begin(), scalars.end()};
}

bool isUpperGreek(std::string_view character) {
    return upperGreek(codePoint(character));
}
bool isLowerGreek(std::string_view character) {
    return lowerGreek(codePoint(character));
}
std::optional<int> greekSymbolOrder(std::string_view character) {
    return symbolOrder(codePoint(character));
}

} // namespace Math

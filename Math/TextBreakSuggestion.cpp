#include "Math/TextBreakSuggestion.hpp"

#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <array>
#include <vector>

namespace Math {

namespace {

struct Character {
    std::size_t offset = 0; // byte offset in the text
    std::string_view text;
};

std::vector<Character> charactersOf(std::string_view text) {
    std::vector<Character> result;
    for (const auto cluster : textCharacters(text)) {
        result.push_back({static_cast<std::size_t>(cluster.data() - text.data()), cluster});
    }
    return result;
}

bool isDigit(std::string_view character) {
    return character >= "0" && character <= "9";
}

bool isNumberSeparator(std::string_view character) {
    static constexpr std::array<std::string_view, 6> separators{".",      ",",      "'",
                                                                "\u00A0", "\u2009", "\u202F"};
    for (const auto separator : separators) {
        if (character == separator) {
            return true;
        }
    }
    return false;
}

bool isWhitespace(std::string_view character) {
    std::size_t at = 0;
    return !character.empty() &&
           platform::unicode::isWhitespaceOrNewline(decodeScalar(character, at));
}

// The rules over character positions: i is the index of the character after the break.
bool validAt(const std::vector<Character>& characters, std::size_t i) {
    if (i == 0 || i >= characters.size()) {
        return true;
    }
    const auto p = characters[i - 1].text;
    const auto c = characters[i].text;
    const bool nextIsDigit = i + 1 < characters.size() && isDigit(characters[i + 1].text);
    const bool beforePIsDigit = i >= 2 && isDigit(characters[i - 2].text);
    if (isDigit(p) && isNumberSeparator(c) && nextIsDigit) {
        return false;
    }
    if (isNumberSeparator(p) && isDigit(c) && beforePIsDigit) {
        return false;
    }
    if (isDigit(p) && isDigit(c)) {
        return false;
    }
    if (isDigit(p) && isWhitespace(c) && nextIsDigit) {
        return false;
    }
    return true;
}

} // namespace

bool isValidBreakPoint(std::string_view text, std::size_t index) {
    const auto characters = charactersOf(text);
    std::size_t i = 0;
    while (i < characters.size() && characters[i].offset < index) {
        ++i;
    }
    return validAt(characters, i);
}

std::optional<std::size_t> suggestBreak(std::string_view text, const platform::GlyphFont& font,
                                        double width, const platform::ShapedRun* shaped) {
    const std::size_t fitting = font.suggestLineBreak(text, width, shaped);
    if (fitting < 1) {
        return std::nullopt;
    }
    const auto characters = charactersOf(text);
    // The character position after `fitting` UTF-16 units; none inside a character or past the
    // end.
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < characters.size() && units < fitting) {
        units += utf16Length(characters[i].text);
        ++i;
    }
    if (units != fitting) {
        return std::nullopt;
    }
    const auto offsetAt = [&](std::size_t index) {
        return index < characters.size() ? characters[index].offset : text.size();
    };
    if (validAt(characters, i)) {
        return offsetAt(i);
    }
    while (i > 0) {
        --i;
        if (isWhitespace(characters[i].text)) {
            return offsetAt(i + 1);
        }
        if (validAt(characters, i)) {
            return offsetAt(i);
        }
    }
    return std::nullopt;
}

} // namespace Math

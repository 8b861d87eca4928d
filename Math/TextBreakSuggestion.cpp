#include "Math/TextBreakSuggestion.hpp"

#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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

// How a character stands to the line-break rules around it, for the characters whose standing
// is plain: letters (and '=', '<', '>', which the rules count as letters) are never parted from
// one another; signs set before numbers ('+', '−', '±', '∓') keep to letters on either side, but
// not to one another.
enum class Joining : std::uint8_t { other, letter, prefix };

Joining joining(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '=' || c == '<' || c == '>' ||
        (c >= 0x0391 && c <= 0x03C9 && c != 0x03A2) || (c >= 0x03D0 && c <= 0x03F5) ||
        c == 0x210E || (c >= 0x1D400 && c <= 0x1D7CB)) {
        return Joining::letter;
    }
    if (c == '+' || c == 0xB1 || c == 0x2212 || c == 0x2213) {
        return Joining::prefix;
    }
    return Joining::other;
}

// suggestBreak for a text in which no line may end but where nothing more fits: letters and
// signs that keep to them, each a character of its own (no digit among them, so the walk out of
// numbers has nothing to do). The line then ends after as many characters as fit, as the
// shaper's rules end it, without running those rules over the text: they cost far more than
// the line's width does. `handled` tells whether the text was of that kind.
std::optional<std::size_t> fitWithoutBreaks(std::string_view text, double width,
                                            const platform::ShapedRun& shaped, bool& handled) {
    handled = false;
    if (!platform::unicode::isValidUtf8(text)) {
        return std::nullopt;
    }
    std::vector<std::size_t> byteAtChar;
    std::vector<std::size_t> utf16AtChar;
    byteAtChar.reserve(text.size() + 1);
    utf16AtChar.reserve(text.size() + 1);
    std::size_t units = 0;
    Joining previous = Joining::other;
    for (std::size_t at = 0; at < text.size();) {
        byteAtChar.push_back(at);
        utf16AtChar.push_back(units);
        const char32_t scalar = decodeScalar(text, at);
        const Joining kind = joining(scalar);
        if (kind == Joining::other || (kind == Joining::prefix && previous == Joining::prefix)) {
            return std::nullopt;
        }
        previous = kind;
        units += scalar > 0xFFFF ? 2 : 1;
    }
    handled = true;
    const std::size_t chars = byteAtChar.size();
    if (chars == 0 || std::isnan(width)) {
        return std::nullopt;
    }
    byteAtChar.push_back(text.size());
    utf16AtChar.push_back(units);
    // Summed as the shaper's rules sum them, so that the same characters fit.
    const std::vector<double> advanceBefore =
        platform::advancesBeforeCharacters(shaped, utf16AtChar);
    const auto fits = [&](std::size_t c) { return advanceBefore[c] <= width + 1e-9; };
    std::size_t best = fits(chars) ? chars : 0;
    for (std::size_t c = 1; best == 0 && c <= chars && fits(c); ++c) {
        if (c == chars || !fits(c + 1)) {
            best = c;
        }
    }
    if (best == 0) {
        return std::nullopt;
    }
    return byteAtChar[best];
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
    if (shaped) {
        bool handled = false;
        const auto fitted = fitWithoutBreaks(text, width, *shaped, handled);
        if (handled) {
            return fitted;
        }
    }
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

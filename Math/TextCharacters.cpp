#include "Math/TextCharacters.hpp"

#include "platform/foundation/Unicode.hpp"

#include <array>
#include <string>

namespace Math {

std::size_t utf16Length(std::string_view text) {
    return platform::unicode::utf16Length(text);
}

char32_t decodeScalar(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const std::size_t more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t scalar = more == 0 ? lead : lead & (0x3F >> more);
    for (std::size_t i = 0; i < more && at < text.size(); ++i) {
        scalar = (scalar << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
    }
    return scalar;
}

bool standsAlone(char32_t scalar) {
    // Printable ASCII, Greek letters, letterlike symbols (the italic h among them) but the two
    // that are emoji, mathematical operators and alphanumerics, a few signs.
    return (scalar >= 0x20 && scalar <= 0x7E) || (scalar >= 0x0391 && scalar <= 0x03C9) ||
           (scalar >= 0x03D0 && scalar <= 0x03F5) ||
           (scalar >= 0x2100 && scalar <= 0x214F && scalar != 0x2122 && scalar != 0x2139) ||
           (scalar >= 0x2200 && scalar <= 0x22FF) || (scalar >= 0x1D400 && scalar <= 0x1D7FF) ||
           scalar == 0x00B1 || scalar == 0x00D7 || scalar == 0x00F7 ||
           (scalar >= 0x2032 && scalar <= 0x2034);
}

std::optional<std::size_t> lastScalarIfAllStandAlone(std::string_view text, std::size_t from) {
    std::optional<std::size_t> last;
    for (std::size_t at = from; at < text.size();) {
        const std::size_t start = at;
        if (!standsAlone(decodeScalar(text, at))) {
            return std::nullopt;
        }
        last = start;
    }
    return last;
}

bool standAloneScalars(std::string_view text, std::size_t& units, std::size_t& lastStart,
                       std::size_t& lastUnits) {
    // By the number of bytes a scalar takes: the bits its lead byte shows under the mask, and the
    // least value that needs that many (anything less is an overlong form).
    static constexpr std::array<unsigned char, 5> leadMask{0, 0x80, 0xE0, 0xF0, 0xF8};
    static constexpr std::array<unsigned char, 5> leadBits{0, 0x00, 0xC0, 0xE0, 0xF0};
    static constexpr std::array<char32_t, 5> leastValue{0, 0, 0x80, 0x800, 0x10000};
    units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 1;
        while (length < 5 && (lead & leadMask[length]) != leadBits[length]) {
            ++length;
        }
        if (length == 5 || length > text.size() - at) {
            return false;
        }
        char32_t scalar = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto unit = static_cast<unsigned char>(text[at + k]);
            if ((unit & 0xC0) != 0x80) {
                return false;
            }
            scalar = (scalar << 6) | (unit & 0x3F);
        }
        // Every scalar that stands alone is a valid one.
        if (scalar < leastValue[length] || !standsAlone(scalar)) {
            return false;
        }
        lastStart = at;
        lastUnits = scalar > 0xFFFF ? 2 : 1;
        units += lastUnits;
        at += length;
    }
    return !text.empty();
}

namespace {

// Where a scalar cut short by the end of `text` starts (a lead byte followed by fewer continuation
// bytes than it announces, and nothing else after it); nothing when the text ends otherwise.
std::optional<std::size_t> truncatedTail(std::string_view text) {
    std::size_t lead = text.size();
    for (std::size_t back = 0; back < 3 && lead > 0; ++back) {
        --lead;
        const auto unit = static_cast<unsigned char>(text[lead]);
        if ((unit & 0xC0) != 0x80) {
            const std::size_t needed = unit >= 0xF0 ? 4 : unit >= 0xE0 ? 3 : unit >= 0xC2 ? 2 : 0;
            // A tail that still reads as the start of a valid scalar once completed.
            const std::string_view tail = text.substr(lead);
            if (needed <= tail.size() || unit > 0xF4) {
                return std::nullopt;
            }
            std::string completed(tail);
            completed.append(needed - tail.size(), '\x80');
            if (tail.size() == 1 && unit == 0xE0) {
                completed[1] = '\xA0';
            } else if (tail.size() == 1 && unit == 0xF0) {
                completed[1] = '\x90';
            }
            return platform::unicode::isValidUtf8(completed) ? std::optional(lead) : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string_view> textCharacters(std::string_view text) {
    // A window cut from a longer text may end inside a scalar: the cut-short bytes are a character
    // of their own, as a character iterator reads them.
    std::string_view whole = text;
    if (!platform::unicode::isValidUtf8(whole)) {
        const std::optional<std::size_t> tail = truncatedTail(text);
        if (!tail || !platform::unicode::isValidUtf8(text.substr(0, *tail))) {
            return platform::unicode::graphemeClusters(text);
        }
        whole = text.substr(0, *tail);
    }
    if (!lastScalarIfAllStandAlone(whole, 0)) {
        return platform::unicode::graphemeClusters(text);
    }
    std::vector<std::string_view> characters;
    characters.reserve(whole.size() + 1);
    for (std::size_t at = 0; at < whole.size();) {
        const std::size_t start = at;
        decodeScalar(whole, at);
        characters.push_back(text.substr(start, at - start));
    }
    if (whole.size() < text.size()) {
        characters.push_back(text.substr(whole.size()));
    }
    return characters;
}

} // namespace Math

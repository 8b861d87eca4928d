#include "platform/text/LineBreaks.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <pango/pango.h>

namespace platform::text_internal {
namespace {

/// The line-breaking classes ASCII characters belong to.
enum class AsciiBreakClass : std::uint8_t {
    alphabetic,  // letters, most symbols (AL)
    afterBreak,  // tab and vertical bar: a break may follow, not precede (BA)
    mandatory,   // vertical tab, form feed (BK)
    combining,   // the other controls, which join the character before (CM)
    closePunct,  // } (CL)
    closeParen,  // ) ] (CP)
    carriage,    // CR
    exclamation, // ! ? (EX)
    hyphen,      // - (HY)
    infixSep,    // , . : ; (IS)
    lineFeed,    // LF
    numeric,     // digits (NU)
    openPunct,   // ( [ { (OP)
    postfix,     // % (PO)
    prefix,      // $ + \ (PR)
    quotation,   // " ' (QU)
    space,       // SP
    solidus,     // / (SY)
    contingent,  // the object replacement character, which stands for a box (CB)
};

using Lb = AsciiBreakClass;

/// U+FFFC in UTF-8.
constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";

constexpr std::array<Lb, 128> kAsciiBreakClasses = [] {
    std::array<Lb, 128> classes{};
    for (std::size_t c = 0; c < 0x20; ++c) {
        classes[c] = Lb::combining;
    }
    classes[0x7F] = Lb::combining;
    for (std::size_t c = 0x20; c < 0x7F; ++c) {
        classes[c] = Lb::alphabetic;
    }
    classes['\t'] = Lb::afterBreak;
    classes['\n'] = Lb::lineFeed;
    classes['\v'] = Lb::mandatory;
    classes['\f'] = Lb::mandatory;
    classes['\r'] = Lb::carriage;
    classes[' '] = Lb::space;
    classes['!'] = Lb::exclamation;
    classes['?'] = Lb::exclamation;
    classes['"'] = Lb::quotation;
    classes['\''] = Lb::quotation;
    classes['$'] = Lb::prefix;
    classes['+'] = Lb::prefix;
    classes['\\'] = Lb::prefix;
    classes['%'] = Lb::postfix;
    classes['('] = Lb::openPunct;
    classes['['] = Lb::openPunct;
    classes['{'] = Lb::openPunct;
    classes[')'] = Lb::closeParen;
    classes[']'] = Lb::closeParen;
    classes['}'] = Lb::closePunct;
    classes[','] = Lb::infixSep;
    classes['.'] = Lb::infixSep;
    classes[':'] = Lb::infixSep;
    classes[';'] = Lb::infixSep;
    classes['-'] = Lb::hyphen;
    classes['/'] = Lb::solidus;
    classes['|'] = Lb::afterBreak;
    for (std::size_t c = '0'; c <= '9'; ++c) {
        classes[c] = Lb::numeric;
    }
    return classes;
}();

constexpr bool isAny(Lb c, std::initializer_list<Lb> classes) {
    return std::find(classes.begin(), classes.end(), c) != classes.end();
}

/// Whether a line may break between a character of class `a` and one of class
/// `b` (both after controls took the class of what they join), `beforeSpaces`
/// being the class of the last character before the spaces `a` ends when `a` is
/// a space (else `a` itself). The rules for characters ASCII has none of
/// (ideographs, Hangul, glue, emoji, Hebrew, …) are left out. Where the
/// character before a possible break stands in a number.
struct AsciiNumberContext {
    /// It is a figure, or a separator after figures.
    bool inFigures = false;
    /// It is a bracket closing figures.
    bool closesFigures = false;
    /// The character after the possible break's one is a figure.
    bool figureFollows = false;
};

constexpr bool asciiMayBreakBetween(Lb a, Lb b, Lb beforeSpaces, AsciiNumberContext number) {
    if (isAny(b, {Lb::closePunct, Lb::closeParen, Lb::exclamation, Lb::infixSep, Lb::solidus})) {
        return false; // closing and infix punctuation stays with what it follows
    }
    if (beforeSpaces == Lb::openPunct) {
        return false; // an opening bracket stays with what it opens, across spaces
    }
    if (beforeSpaces == Lb::quotation && b == Lb::openPunct) {
        return false;
    }
    if (a == Lb::space) {
        return true;
    }
    if (a == Lb::quotation || b == Lb::quotation) {
        return false; // quotation marks are ambiguous: never broken around
    }
    if (a == Lb::contingent || b == Lb::contingent) {
        return true; // a box may stand apart from anything the rules above let go
    }
    if (b == Lb::afterBreak || b == Lb::hyphen) {
        return false;
    }
    const bool letterA = a == Lb::alphabetic;
    const bool letterB = b == Lb::alphabetic;
    if ((letterA && b == Lb::numeric) || (a == Lb::numeric && letterB)) {
        return false;
    }
    const bool affixA = a == Lb::prefix || a == Lb::postfix;
    const bool affixB = b == Lb::prefix || b == Lb::postfix;
    if ((affixA && letterB) || (letterA && affixB)) {
        return false;
    }
    // A number with its signs, brackets and separators is not broken: an optional
    // prefix or postfix, an optional opening bracket or hyphen, figures with
    // separators, an optional closing bracket, an optional prefix or postfix.
    if (b == Lb::numeric &&
        (number.inFigures || isAny(a, {Lb::prefix, Lb::postfix, Lb::openPunct, Lb::hyphen}))) {
        return false;
    }
    if (affixA && (b == Lb::openPunct || b == Lb::hyphen) && number.figureFollows) {
        return false;
    }
    if (affixB && (number.inFigures || number.closesFigures)) {
        return false;
    }
    if (letterA && letterB) {
        return false;
    }
    if (a == Lb::infixSep && letterB) {
        return false;
    }
    if (((letterA || a == Lb::numeric) && b == Lb::openPunct) ||
        (a == Lb::closeParen && (letterB || b == Lb::numeric))) {
        return false;
    }
    return true;
}

constexpr std::size_t kAsciiClassCount = static_cast<std::size_t>(Lb::contingent) + 1;

/// Where the answer for a pair in its context lies in the table below. Of the
/// class before the spaces, only whether it opens or quotes matters.
constexpr std::size_t asciiPairIndex(Lb a, Lb b, Lb beforeSpaces, AsciiNumberContext number) {
    const std::size_t spaces = beforeSpaces == Lb::openPunct   ? 1
                               : beforeSpaces == Lb::quotation ? 2
                                                               : 0;
    std::size_t index =
        static_cast<std::size_t>(a) * kAsciiClassCount + static_cast<std::size_t>(b);
    index = index * 3 + spaces;
    index = index * 2 + (number.inFigures ? 1 : 0);
    index = index * 2 + (number.closesFigures ? 1 : 0);
    return index * 2 + (number.figureFollows ? 1 : 0);
}

/// Every answer of the pair rules, worked out once: a lookup per character
/// instead of the rules.
constexpr auto kAsciiPairBreaks = [] {
    std::array<bool, kAsciiClassCount * kAsciiClassCount * 3 * 8> table{};
    for (std::size_t a = 0; a < kAsciiClassCount; ++a) {
        for (std::size_t b = 0; b < kAsciiClassCount; ++b) {
            for (const Lb spaces : {Lb::alphabetic, Lb::openPunct, Lb::quotation}) {
                for (unsigned bits = 0; bits < 8; ++bits) {
                    const AsciiNumberContext number{(bits & 4) != 0, (bits & 2) != 0,
                                                    (bits & 1) != 0};
                    const auto pairA = static_cast<Lb>(a);
                    const auto pairB = static_cast<Lb>(b);
                    table[asciiPairIndex(pairA, pairB, spaces, number)] =
                        asciiMayBreakBetween(pairA, pairB, spaces, number);
                }
            }
        }
    }
    return table;
}();

} // namespace

bool asciiLineBreaks(std::string_view text, std::vector<std::size_t>& breaks) {
    // Left to Pango: a null character (where Pango's analysis ends) and anything past ASCII
    // but a box's character.
    if (std::any_of(text.begin(), text.end(), [](char c) {
            return c == '\0' || (static_cast<unsigned char>(c) & 0x80) != 0;
        })) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte == 0 || (byte >= 0x80 && text.substr(i, 3) != kObjectReplacement)) {
                return false;
            }
            i += byte >= 0x80 ? 2 : 0;
        }
    }
    // The length of the character at `i` and its class.
    const auto characterAt = [text](std::size_t i, Lb& c) -> std::size_t {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            c = kAsciiBreakClasses[byte];
            return 1;
        }
        c = Lb::contingent;
        return kObjectReplacement.size();
    };
    if (text.empty()) {
        return true;
    }
    // The class of the character before, as the pair rules see it (a control joined to it takes
    // its class; one joined to nothing is a letter), and of the last one before its spaces.
    Lb rawBefore = Lb::alphabetic;
    std::size_t length = characterAt(0, rawBefore);
    Lb before = rawBefore == Lb::combining ? Lb::alphabetic : rawBefore;
    Lb beforeSpaces = before;
    AsciiNumberContext number;
    number.inFigures = before == Lb::numeric;
    for (std::size_t i = length; i < text.size(); i += length) {
        if (before == Lb::alphabetic) {
            // Within a word, most of any text: no break, and nothing of a number.
            std::size_t end = i;
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80 &&
                   kAsciiBreakClasses[static_cast<unsigned char>(text[end])] == Lb::alphabetic) {
                ++end;
            }
            if (end > i) {
                rawBefore = Lb::alphabetic;
                number.inFigures = false;
                number.closesFigures = false;
                beforeSpaces = Lb::alphabetic;
                if (end == text.size()) {
                    break;
                }
                i = end;
            }
        }
        Lb raw = Lb::alphabetic;
        length = characterAt(i, raw);
        bool mayBreak = false;
        // A control joins the character before; after a break or a space it is a letter.
        Lb resolved = raw == Lb::combining ? Lb::alphabetic : raw;
        if (rawBefore == Lb::mandatory) {
            mayBreak = true;
        } else if (rawBefore == Lb::carriage && raw == Lb::lineFeed) {
            mayBreak = false;
        } else if (rawBefore == Lb::carriage || rawBefore == Lb::lineFeed) {
            mayBreak = true;
        } else if (isAny(raw, {Lb::mandatory, Lb::carriage, Lb::lineFeed, Lb::space})) {
            mayBreak = false;
        } else if (raw == Lb::combining &&
                   !isAny(before, {Lb::mandatory, Lb::carriage, Lb::lineFeed, Lb::space})) {
            mayBreak = false;
            resolved = before;
        } else {
            const std::size_t next = i + length;
            number.figureFollows = next < text.size() && text[next] >= '0' && text[next] <= '9';
            mayBreak = kAsciiPairBreaks[asciiPairIndex(before, resolved, beforeSpaces, number)];
        }
        if (mayBreak) {
            breaks.push_back(i);
        }
        if (resolved != before || raw != Lb::combining) {
            const bool figures = number.inFigures;
            number.inFigures = resolved == Lb::numeric ||
                               (figures && (resolved == Lb::solidus || resolved == Lb::infixSep));
            number.closesFigures =
                figures && (resolved == Lb::closePunct || resolved == Lb::closeParen);
        }
        rawBefore = raw;
        before = resolved;
        if (resolved != Lb::space) {
            beforeSpaces = resolved;
        }
    }
    breaks.push_back(text.size());
    return true;
}

bool lineBreaksWithAsciiTail(std::string_view text, std::vector<std::size_t>& breaks) {
    // The end of the last character left to Pango, found from the end: a box's bytes come only
    // as a box in valid UTF-8.
    std::size_t foreignEnd = text.size();
    while (foreignEnd > 0 &&
           (static_cast<unsigned char>(text[foreignEnd - 1]) < 0x80 ||
            (foreignEnd >= 3 && text.substr(foreignEnd - 3, 3) == kObjectReplacement))) {
        foreignEnd -= static_cast<unsigned char>(text[foreignEnd - 1]) < 0x80 ? 1 : 3;
    }
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    std::size_t cut = 0;
    for (std::size_t q = foreignEnd + 2; foreignEnd > 0 && q < text.size(); ++q) {
        if (text[q - 1] == ' ' &&
            (isLetter(text[q - 2]) ||
             (q >= foreignEnd + 4 && text.substr(q - 4, 3) == kObjectReplacement)) &&
            (isLetter(text[q]) || text.substr(q, 3) == kObjectReplacement)) {
            cut = q;
            break;
        }
    }
    std::vector<std::size_t> tail;
    if (cut == 0 || !asciiLineBreaks(text.substr(cut), tail)) {
        return false;
    }
    const std::string_view head = text.substr(0, cut);
    if (head.find('\0') != std::string_view::npos) {
        return false;
    }
    const auto characters =
        static_cast<std::size_t>(std::count_if(head.begin(), head.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    std::vector<PangoLogAttr> attributes(characters + 1);
    pango_default_break(head.data(), static_cast<int>(head.size()), nullptr, attributes.data(),
                        static_cast<int>(attributes.size()));
    for (std::size_t c = 1, byte = 0; c <= characters; ++c) {
        do {
            ++byte;
        } while (byte < head.size() && (static_cast<unsigned char>(head[byte]) & 0xC0) == 0x80);
        if (c == characters || attributes[c].is_line_break) {
            breaks.push_back(byte);
        }
    }
    for (const std::size_t offset : tail) {
        breaks.push_back(cut + offset);
    }
    return true;
}

} // namespace platform::text_internal

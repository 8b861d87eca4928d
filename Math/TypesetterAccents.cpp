// Accents over a base, aligned on the font's top-accent attachment points and sized by its
// horizontal variants.

#include "Math/TextCharacters.hpp"
#include "Math/Typesetter.hpp"
#include "Math/TypesetterAlphabets.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/text/GlyphFace.hpp"

#include <algorithm>

namespace Math {

namespace {

std::string_view lastCharacterOf(std::string_view text) {
    const auto characters = textCharacters(text);
    return characters.empty() ? std::string_view{} : characters.back();
}

std::shared_ptr<DisplayList> orEmpty(std::shared_ptr<DisplayList> list) {
    return list ? std::move(list)
                : std::make_shared<DisplayList>(std::vector<std::shared_ptr<DisplayNode>>{},
                                                IndexRange{});
}

// Atoms drawn as the text of their nucleus. A composite atom's nucleus is no such text: an
// accent's is its combining mark, which has no place of its own in the base.
bool isCharacterAtom(const Atom& atom) {
    switch (atom.type) {
    case AtomType::fraction:
    case AtomType::radical:
    case AtomType::inner:
    case AtomType::underline:
    case AtomType::overline:
    case AtomType::accent:
        return false;
    default:
        return !isScriptlessType(atom.type);
    }
}

// The nucleus as the base's typesetter draws it: numbers and variables in their math alphabet.
std::string drawnNucleus(const Atom& atom, const platform::GlyphFace& face) {
    if (atom.type == AtomType::number || atom.type == AtomType::variable) {
        return styleCharacters(atom.nucleus, atom.fontStyle,
                               [&face](char32_t c) { return face.glyph(c).value_or(0) != 0; });
    }
    return atom.nucleus;
}

// The accent that is the whole base of `accent` (as in a dot over an arrowed r), or null.
const Accent* nestedAccent(const Accent& accent) {
    if (!accent.innerList || accent.innerList->atoms.size() != 1) {
        return nullptr;
    }
    const auto& inner = accent.innerList->atoms.front();
    if (!inner || inner->type != AtomType::accent || inner->subscript() || inner->superscript()) {
        return nullptr;
    }
    return dynamic_cast<const Accent*>(inner.get());
}

// Accents nested deeper than this are centred on their base.
constexpr int maxAlignedNesting = 16;

} // namespace

bool Typesetter::isSingleCharAccentee(const Accent& accent) {
    if (!accent.innerList || accent.innerList->atoms.size() != 1) {
        return false;
    }
    const auto& inner = accent.innerList->atoms.front();
    return inner && isCharacterAtom(*inner) && textCharacters(inner->nucleus).size() == 1 &&
           !inner->subscript() && !inner->superscript();
}

CGFloat Typesetter::accentSkew(const Accent& accent, CGFloat baseWidth,
                               platform::GlyphID accentGlyph) {
    if (accent.nucleus.empty()) {
        return 0;
    }
    const auto& metrics = styleFont().metrics();
    const CGFloat accentAttachment = metrics.topAccentAdjustment(accentGlyph);
    CGFloat baseAttachment = baseWidth / 2;
    // Accents stacked over one character all align on that character's attachment point, as
    // the innermost one does; the accents in between are exactly as wide as the character.
    const Accent* over = &accent;
    for (int depth = 0; over && depth < maxAlignedNesting; ++depth) {
        if (isSingleCharAccentee(*over)) {
            const std::string character =
                drawnNucleus(*over->innerList->atoms.front(), styleFont().glyphFont().face());
            baseAttachment =
                metrics.topAccentAdjustment(glyphForCharacter(lastCharacterOf(character)));
            break;
        }
        over = nestedAccent(*over);
    }
    return baseAttachment - accentAttachment;
}

std::shared_ptr<DisplayNode> Typesetter::makeAccent(Accent& accent) {
    static const AtomList empty;
    const AtomList& innerList = accent.innerList ? *accent.innerList : empty;
    auto base = orEmpty(createLineForLevel(innerList, font, style, true));
    if (accent.nucleus.empty()) {
        base->setPosition(currentPosition);
        return base;
    }
    const GlyphChoice choice =
        findHorizontalVariant(glyphForCharacter(lastCharacterOf(accent.nucleus)), base->width());
    // An accent over a base lower than the accent base height is lowered by the difference.
    const CGFloat height = std::min(base->ascent(), styleFont().metrics().accentBaseHeight());
    const CGFloat skew = accentSkew(accent, base->width(), choice.glyph);
    auto glyph = std::make_shared<DisplayGlyph>(choice.glyph, styleFont().font());
    glyph->range = accent.indexRange;
    glyph->setAscent(choice.ascent);
    glyph->setDescent(choice.descent);
    glyph->setWidth(choice.width);
    glyph->setPosition({skew, base->ascent() - height});

    if (isSingleCharAccentee(accent) && (accent.subscript() || accent.superscript())) {
        // The scripts belong to the accented letter, so that they sit at its height and not
        // above the accent. The letter given is left as it is: a copy takes the scripts, and the
        // accent (the main loop's own copy) gives them up so that they are set only once.
        const auto scripted = accent.innerList->atoms.front()->copy();
        scripted->setSuperscript(accent.superscript());
        scripted->setSubscript(accent.subscript());
        accent.setSuperscript(nullptr);
        accent.setSubscript(nullptr);
        base = orEmpty(createLineForLevel(AtomList({scripted}), font, style, cramped));
    }

    const CGFloat glyphAscent = glyph->ascent();
    auto node = std::make_shared<DisplayAccent>(std::move(glyph), base, accent.indexRange);
    node->setWidth(base->width());
    node->setDescent(base->descent());
    node->setAscent(std::max(base->ascent(), base->ascent() - height + glyphAscent));
    node->setPosition(currentPosition);
    return node;
}

} // namespace Math

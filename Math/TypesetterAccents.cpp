// Accents over a base, aligned on the font's top-accent attachment points and sized by its
// horizontal variants.

#include "Math/Typesetter.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>

namespace Math {

namespace {

std::string_view lastCharacterOf(std::string_view text) {
    const auto characters = platform::unicode::graphemeClusters(text);
    return characters.empty() ? std::string_view{} : characters.back();
}

std::shared_ptr<DisplayList> orEmpty(std::shared_ptr<DisplayList> list) {
    return list ? std::move(list)
                : std::make_shared<DisplayList>(std::vector<std::shared_ptr<DisplayNode>>{},
                                                IndexRange{});
}

} // namespace

bool Typesetter::isSingleCharAccentee(const Accent& accent) {
    if (!accent.innerList || accent.innerList->atoms.size() != 1) {
        return false;
    }
    const auto& inner = accent.innerList->atoms.front();
    return inner && platform::unicode::graphemeClusters(inner->nucleus).size() == 1 &&
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
    if (isSingleCharAccentee(accent)) {
        const auto character = lastCharacterOf(accent.innerList->atoms.front()->nucleus);
        baseAttachment = metrics.topAccentAdjustment(glyphForCharacter(character));
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
        // above the accent.
        const auto& inner = accent.innerList->atoms.front();
        inner->setSuperscript(accent.superscript());
        inner->setSubscript(accent.subscript());
        accent.setSuperscript(nullptr);
        accent.setSubscript(nullptr);
        base = orEmpty(createLineForLevel(*accent.innerList, font, style, cramped));
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

// Subscripts and superscripts beside a nucleus, and large operators with their limits above and
// below or their scripts at the side.

#include "Math/GlyphFallback.hpp"
#include "Math/TextCharacters.hpp"
#include "Math/Typesetter.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Math {

namespace {

// std::max that lets a NaN operand lose, so one unmeasurable value does not poison a shift.
CGFloat maxIgnoringNaN(CGFloat a, CGFloat b) {
    if (std::isnan(a)) {
        return b;
    }
    if (std::isnan(b)) {
        return a;
    }
    return std::max(a, b);
}

Style::Level scriptLevel(Style::Level level) {
    return level == Style::Level::display || level == Style::Level::text
               ? Style::Level::script
               : Style::Level::scriptOfScript;
}

} // namespace

void Typesetter::makeScripts(const Atom& atom, DisplayNode& nucleus, std::int64_t index,
                             CGFloat delta) {
    nucleus.hasScript = true;
    const Level scriptStyle = scriptLevel(style);
    CGFloat up = 0;
    CGFloat down = 0;
    if (!dynamic_cast<const DisplayTextRun*>(&nucleus)) {
        // Drops are measured in the script font: they relate the scripts to their nucleus.
        const auto& baseMetrics = font->metrics();
        const CGFloat scale = (style == Level::display || style == Level::text)
                                  ? baseMetrics.scriptPercentScaleDown()
                                  : baseMetrics.scriptScriptPercentScaleDown();
        const auto scriptFont =
            PlatformFont::make(Font(font->font().name, font->font().size * scale));
        if (scriptFont) {
            up = nucleus.ascent() - scriptFont->metrics().superscriptBaselineDropMax();
            down = nucleus.descent() + scriptFont->metrics().subscriptBaselineDropMin();
        }
    }
    const auto& metrics = styleFont().metrics();
    const auto place = [&](const std::shared_ptr<DisplayList>& list,
                           DisplayList::LinePosition position, Point at) {
        list->linePosition = position;
        list->index = index;
        list->setPosition(at);
        displayAtoms.push_back(list);
    };
    const CGFloat x = currentPosition.x;
    const CGFloat y = currentPosition.y;

    std::shared_ptr<DisplayList> subscript;
    std::shared_ptr<DisplayList> superscript;
    // Set already when the line was checked for room for them.
    MeasuredScripts measured = std::exchange(measuredScripts_, {});
    if (measured.atom == &atom && measured.style == style && measured.cramped == cramped) {
        subscript = std::move(measured.subscript);
        superscript = std::move(measured.superscript);
    } else {
        if (atom.subscript()) {
            subscript = createLineForLevel(*atom.subscript(), font, scriptStyle, true);
        }
        if (atom.superscript()) {
            superscript = createLineForLevel(*atom.superscript(), font, scriptStyle, cramped);
        }
    }
    if (!superscript) {
        if (!subscript) {
            return;
        }
        down = maxIgnoringNaN(down, metrics.subscriptShiftDown());
        down = maxIgnoringNaN(down, subscript->ascent() - metrics.subscriptTopMax());
        place(subscript, DisplayList::LinePosition::subscript, {x, y - down});
        currentPosition.x += subscript->width() + metrics.spaceAfterScript();
        return;
    }

    up = maxIgnoringNaN(up, cramped ? metrics.superscriptShiftUpCramped()
                                    : metrics.superscriptShiftUp());
    up = maxIgnoringNaN(up, superscript->descent() + metrics.superscriptBottomMin());
    if (!subscript) {
        place(superscript, DisplayList::LinePosition::superscript, {x, y + up});
        currentPosition.x += superscript->width() + metrics.spaceAfterScript();
        return;
    }

    down = maxIgnoringNaN(down, metrics.subscriptShiftDown());
    const CGFloat gap = (up - superscript->descent()) + (down - subscript->ascent());
    if (gap < metrics.subSuperscriptGapMin()) {
        down += metrics.subSuperscriptGapMin() - gap;
        const CGFloat raise =
            metrics.superscriptBottomMaxWithSubscript() - (up - superscript->descent());
        if (raise > 0) {
            up += raise;
            down -= raise;
        }
    }
    place(superscript, DisplayList::LinePosition::superscript, {x + delta, y + up});
    place(subscript, DisplayList::LinePosition::subscript, {x, y - down});
    currentPosition.x +=
        std::max(superscript->width() + delta, subscript->width()) + metrics.spaceAfterScript();
}

std::shared_ptr<DisplayNode> Typesetter::makeLargeOperator(const LargeOperator& op) {
    const bool limits = op.limits && (style == Level::display || style == Level::text);
    const auto& fontNow = styleFont();
    // A formula repeats its few operators: each is looked up and measured once for the style
    // font and whether it is set large.
    std::string key = op.nucleus;
    key.push_back('\0');
    key.push_back(style == Level::display ? '\1' : '\0');
    OperatorGlyph set{};
    if (const OperatorGlyph* known = operatorGlyphs_.find(fontNow.font(), key)) {
        set = *known;
    } else {
        const auto characters = textCharacters(op.nucleus);
        if (characters.size() != 1) {
            // A word operator (lim, sin ...) is set as text.
            DrawableText drawn = drawableText(op.nucleus, fontNow);
            const PlatformFont& wordFont = drawn.font ? *drawn.font : fontNow;
            auto run = std::make_shared<DisplayTextRun>(
                AttributedLine(std::move(drawn.text)), wordFont.font(), wordFont.glyphFont(),
                std::vector<std::shared_ptr<Atom>>{Atom::initCopying(op)});
            run->setPosition(currentPosition);
            run->range = op.indexRange;
            return makeLimits(std::move(run), op, 0);
        }
        // An operator the font lacks comes from a font that has it, with that font's sizes.
        const FontGlyph drawn = drawableGlyph(characters.front());
        const PlatformFont& opFont = *drawn.font;
        platform::GlyphID glyph = drawn.glyph;
        if (style == Level::display && glyph != 0) {
            glyph = opFont.metrics().largerGlyph(glyph);
        }
        const GlyphChoice measured = measureGlyph(opFont, glyph);
        set = {drawn.font,
               glyph,
               opFont.metrics().italicCorrection(glyph),
               measured.ascent,
               measured.descent,
               measured.width};
        operatorGlyphs_.add(key, set);
    }
    const CGFloat delta = set.delta;
    auto node = std::make_shared<DisplayGlyph>(set.glyph, set.font->font());
    node->range = op.indexRange;
    node->setAscent(set.ascent);
    node->setDescent(set.descent);
    // Scripts of a slanted operator tuck under its overhang.
    node->setWidth(op.subscript() && !limits ? set.width - delta : set.width);
    node->shiftDown = 0.5 * (set.ascent - set.descent) - fontNow.metrics().axisHeight();
    node->setPosition(currentPosition);
    return makeLimits(std::move(node), op, delta);
}

std::shared_ptr<DisplayNode> Typesetter::makeLimits(std::shared_ptr<DisplayNode> node,
                                                    const Atom& atom, CGFloat delta) {
    if (!atom.subscript() && !atom.superscript()) {
        currentPosition.x += node->width();
        return node;
    }
    const auto* op = dynamic_cast<const LargeOperator*>(&atom);
    const bool limits = op && op->limits && (style == Level::display || style == Level::text);
    if (!limits) {
        currentPosition.x += node->width();
        makeScripts(atom, *node, std::max<std::int64_t>(0, atom.indexRange.location), delta);
        return node;
    }
    const auto& metrics = styleFont().metrics();
    auto result = std::make_shared<DisplayLargeOperator>();
    if (atom.superscript()) {
        result->upperLimit = createLineForLevel(*atom.superscript(), font, Level::script, cramped);
    }
    if (atom.subscript()) {
        result->lowerLimit = createLineForLevel(*atom.subscript(), font, scriptLevel(style), true);
    }
    result->nucleus = node;
    result->limitShift = delta * 0.5;
    result->extraPadding = 0;
    const auto widthOf = [](const auto& part) { return part ? part->width() : CGFloat{0}; };
    const CGFloat width =
        std::max({node->width(), widthOf(result->upperLimit), widthOf(result->lowerLimit)});
    result->setWidth(width);
    if (result->upperLimit) {
        result->upperLimitGap =
            std::max(metrics.upperLimitGapMin(),
                     metrics.upperLimitBaselineRiseMin() - result->upperLimit->descent());
    }
    if (result->lowerLimit) {
        result->lowerLimitGap =
            std::max(metrics.lowerLimitGapMin(),
                     metrics.lowerLimitBaselineDropMin() - result->lowerLimit->ascent());
    }
    result->range = atom.indexRange;
    result->setPosition(currentPosition);
    currentPosition.x += width;
    return result;
}

} // namespace Math

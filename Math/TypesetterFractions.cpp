// Fractions and stacks (with optional delimiters), radicals, groups between sized delimiters,
// and over- and underlined groups. The main loop positions what these builders return.

#include "Math/Typesetter.hpp"

#include <algorithm>

namespace Math {

namespace {

const AtomList& listOrEmpty(const std::shared_ptr<AtomList>& list) {
    static const AtomList empty;
    return list ? *list : empty;
}

// A node that is never null, so that builders can measure a missing part as empty.
std::shared_ptr<DisplayList> orEmpty(std::shared_ptr<DisplayList> list) {
    return list ? std::move(list)
                : std::make_shared<DisplayList>(std::vector<std::shared_ptr<DisplayNode>>{},
                                                IndexRange{});
}

} // namespace

CGFloat Typesetter::numeratorShiftUp(bool hasRule) {
    const auto& metrics = styleFont().metrics();
    if (hasRule) {
        return style == Level::display ? metrics.fractionNumeratorDisplayStyleShiftUp()
                                       : metrics.fractionNumeratorShiftUp();
    }
    return style == Level::display ? metrics.stackTopDisplayStyleShiftUp()
                                   : metrics.stackTopShiftUp();
}

CGFloat Typesetter::denominatorShiftDown(bool hasRule) {
    const auto& metrics = styleFont().metrics();
    if (hasRule) {
        return style == Level::display ? metrics.fractionDenominatorDisplayStyleShiftDown()
                                       : metrics.fractionDenominatorShiftDown();
    }
    return style == Level::display ? metrics.stackBottomDisplayStyleShiftDown()
                                   : metrics.stackBottomShiftDown();
}

std::shared_ptr<DisplayNode> Typesetter::makeFraction(const Fraction& fraction) {
    const Level partStyle = fraction.isContinuedFraction ? Level::display : style;
    const auto numerator =
        orEmpty(createLineForLevel(listOrEmpty(fraction.numerator), font, partStyle, false));
    const auto denominator =
        orEmpty(createLineForLevel(listOrEmpty(fraction.denominator), font, partStyle, true));

    const auto& metrics = styleFont().metrics();
    const bool display = style == Level::display;
    CGFloat up = numeratorShiftUp(fraction.hasRule);
    CGFloat down = denominatorShiftDown(fraction.hasRule);
    const CGFloat axis = metrics.axisHeight();
    const CGFloat thickness = fraction.hasRule ? metrics.fractionRuleThickness() : 0;
    if (fraction.hasRule) {
        const CGFloat numeratorGap = (up - numerator->descent()) - (axis + thickness * 0.5);
        const CGFloat numeratorMin =
            display ? metrics.fractionNumDisplayStyleGapMin() : metrics.fractionNumeratorGapMin();
        if (numeratorGap < numeratorMin) {
            up += numeratorMin - numeratorGap;
        }
        const CGFloat denominatorGap = (axis - thickness * 0.5) - (denominator->ascent() - down);
        const CGFloat denominatorMin = display ? metrics.fractionDenomDisplayStyleGapMin()
                                               : metrics.fractionDenominatorGapMin();
        if (denominatorGap < denominatorMin) {
            down += denominatorMin - denominatorGap;
        }
    } else {
        const CGFloat clearance = (up - numerator->descent()) - (denominator->ascent() - down);
        const CGFloat minimum = display ? metrics.stackDisplayStyleGapMin() : metrics.stackGapMin();
        if (clearance < minimum) {
            up += (minimum - clearance) * 0.5;
            down += (minimum - clearance) * 0.5;
        }
    }

    auto node = std::make_shared<DisplayFraction>();
    node->numerator = numerator;
    node->denominator = denominator;
    node->numeratorUp = up;
    node->denominatorDown = down;
    node->linePosition = axis;
    node->lineThickness = thickness;
    node->range = fraction.indexRange;
    node->setPosition(currentPosition);
    if (!fraction.leftDelimiter.empty() || !fraction.rightDelimiter.empty()) {
        return addDelimitersToFraction(std::move(node), fraction);
    }
    return node;
}

std::shared_ptr<DisplayList>
Typesetter::addDelimitersToFraction(std::shared_ptr<DisplayFraction> node,
                                    const Fraction& fraction) {
    const CGFloat height = styleFont().font().size * (style == Level::display ? 2.39 : 1.01);
    std::vector<std::shared_ptr<DisplayNode>> children;
    CGFloat pen = 0;
    if (!fraction.leftDelimiter.empty()) {
        auto left = boundaryGlyph(fraction.leftDelimiter, height);
        left->setPosition({0, 0});
        pen = left->width();
        children.push_back(std::move(left));
    }
    node->setPosition({pen, 0});
    const CGFloat fractionWidth = node->width();
    children.push_back(node);
    if (!fraction.rightDelimiter.empty()) {
        auto right = boundaryGlyph(fraction.rightDelimiter, height);
        right->setPosition({pen + fractionWidth, 0});
        children.push_back(std::move(right));
    }
    auto list = std::make_shared<DisplayList>(std::move(children), fraction.indexRange);
    list->setPosition(currentPosition);
    return list;
}

std::shared_ptr<DisplayRadical> Typesetter::makeRadical(const AtomList& radicand,
                                                        IndexRange range) {
    const auto inner = orEmpty(createLineForLevel(radicand, font, style, true));
    const auto& metrics = styleFont().metrics();
    CGFloat clearance = style == Level::display ? metrics.radicalDisplayStyleVerticalGap()
                                                : metrics.radicalVerticalGap();
    const CGFloat thickness = metrics.radicalRuleThickness();
    const CGFloat height = inner->ascent() + inner->descent() + clearance + thickness;
    auto glyph = radicalGlyph(height);
    // A sign taller than needed centres the radicand in it.
    const CGFloat delta = (glyph->ascent() + glyph->descent()) - height;
    if (delta > 0) {
        clearance += delta * 0.5;
    }
    const CGFloat radicalAscent = inner->ascent() + thickness + clearance;
    const CGFloat glyphHeight = glyph->ascent() + glyph->descent();
    glyph->shiftDown = -(radicalAscent - glyph->ascent());

    auto node = std::make_shared<DisplayRadical>();
    node->radicand = inner;
    node->radicalGlyph = glyph;
    node->range = range;
    node->setPosition(currentPosition);
    node->setAscent(radicalAscent + metrics.radicalExtraAscender());
    node->topKern = metrics.radicalExtraAscender();
    node->lineThickness = thickness;
    node->setDescent(std::max(glyphHeight - radicalAscent, inner->descent()));
    node->setWidth(glyph->width() + inner->width());
    return node;
}

std::shared_ptr<DisplayList> Typesetter::makeInner(const Inner& inner, CGFloat maxWidth_) {
    const auto content = orEmpty(
        createLineWithOptions(listOrEmpty(inner.innerList), font, style, cramped, true, maxWidth_));
    const CGFloat axis = styleFont().metrics().axisHeight();
    const CGFloat delta = std::max(content->ascent() - axis, content->descent() + axis);
    const CGFloat height = std::max(delta / 500 * 901, 2 * delta - 5);

    std::vector<std::shared_ptr<DisplayNode>> children;
    CGFloat pen = 0;
    if (inner.leftBoundary() && !inner.leftBoundary()->nucleus.empty()) {
        auto left = boundaryGlyph(inner.leftBoundary()->nucleus, height);
        left->setPosition({0, 0});
        pen = left->width();
        children.push_back(std::move(left));
    }
    content->setPosition({pen, 0});
    children.push_back(content);
    if (inner.rightBoundary() && !inner.rightBoundary()->nucleus.empty()) {
        auto right = boundaryGlyph(inner.rightBoundary()->nucleus, height);
        right->setPosition({pen + content->width(), 0});
        children.push_back(std::move(right));
    }
    return std::make_shared<DisplayList>(std::move(children), inner.indexRange);
}

std::shared_ptr<DisplayLine> Typesetter::makeUnderline(const Underline& underline) {
    const auto inner =
        orEmpty(createLineForLevel(listOrEmpty(underline.innerList), font, style, cramped));
    const auto& metrics = styleFont().metrics();
    auto node = std::make_shared<DisplayLine>(inner, currentPosition, underline.indexRange);
    node->lineShiftUp = -(inner->descent() + metrics.underbarVerticalGap());
    node->lineThickness = metrics.underbarRuleThickness();
    node->setAscent(inner->ascent());
    node->setDescent(inner->descent() + metrics.underbarVerticalGap() +
                     metrics.underbarRuleThickness() + metrics.underbarExtraDescender());
    node->setWidth(inner->width());
    return node;
}

std::shared_ptr<DisplayLine> Typesetter::makeOverline(const Overline& overline) {
    const auto inner =
        orEmpty(createLineForLevel(listOrEmpty(overline.innerList), font, style, true));
    const auto& metrics = styleFont().metrics();
    auto node = std::make_shared<DisplayLine>(inner, currentPosition, overline.indexRange);
    node->lineShiftUp = inner->ascent() + metrics.overbarVerticalGap();
    node->lineThickness = metrics.overbarRuleThickness();
    node->setAscent(inner->ascent() + metrics.overbarVerticalGap() +
                    metrics.overbarRuleThickness() + metrics.overbarExtraAscender());
    node->setDescent(inner->descent());
    node->setWidth(inner->width());
    return node;
}

} // namespace Math

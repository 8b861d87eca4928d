#include "Math/DisplayNode.hpp"

#include "Math/TextCharacters.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace Math {

namespace {

// Whether the last scalar of valid, non-empty UTF-8 stands alone.
bool lastScalarStandsAlone(std::string_view text) {
    std::size_t lastScalar = text.size() - 1;
    while (lastScalar > 0 && (static_cast<unsigned char>(text[lastScalar]) & 0xC0) == 0x80) {
        --lastScalar;
    }
    return standsAlone(decodeScalar(text, lastScalar));
}

CGFloat ascentOf(const std::shared_ptr<DisplayList>& list) {
    return list ? list->ascent() : 0;
}
CGFloat descentOf(const std::shared_ptr<DisplayList>& list) {
    return list ? list->descent() : 0;
}
CGFloat widthOf(const std::shared_ptr<DisplayNode>& node) {
    return node ? node->width() : 0;
}

} // namespace

DisplayNode::~DisplayNode() = default;

// MARK: DisplayList

std::optional<DisplayList::LinePosition> DisplayList::linePositionFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 2) {
        return std::nullopt;
    }
    return static_cast<LinePosition>(rawValue);
}

DisplayList::DisplayList(std::vector<std::shared_ptr<DisplayNode>> children_, IndexRange range_)
    : children(std::move(children_)) {
    range = range_;
    // Drawing and measuring walk the children without checking each one.
    std::erase(children, nullptr);
    for (const auto& child : children) {
        const Point p = child->position();
        ascent_ = std::max(ascent_, std::max(0.0, p.y + child->ascent()));
        descent_ = std::max(descent_, std::max(0.0, child->descent() - p.y));
        width_ = std::max(width_, p.x + child->width());
    }
}

// MARK: AttributedLine

AttributedLine::AttributedLine(std::string text) {
    append(text);
}

void AttributedLine::append(std::string_view text) {
    // A formula's symbols come one by one, and nearly all of them stand alone (letters, math
    // alphanumerics, operators): after a last scalar that stands alone too, the new text's last
    // scalar is the last character, found in one pass that also checks the text is valid.
    std::size_t units = 0;
    std::size_t lastStart = 0;
    std::size_t lastUnits = 0;
    if (standAloneScalars(text, units, lastStart, lastUnits) &&
        (text_.empty() || lastScalarStandsAlone(text_))) {
        lastCharacterByte_ = text_.size() + lastStart;
        text_ += text;
        utf16Length_ += units;
        lastCharacterUtf16_ = utf16Length_ - lastUnits;
        return;
    }
    std::string repaired;
    if (!platform::unicode::isValidUtf8(text)) {
        repaired = platform::unicode::makeValidUtf8(text);
        text = repaired;
    }
    if (text.empty()) {
        return;
    }
    // The new text may join the last character (a combining mark after its base), so the
    // characters are found again from where the last one starts, unless the last scalar and all
    // the new ones stand alone: then the last character is the last scalar, found without the
    // cost of a character iterator for every symbol added to a formula.
    const std::size_t from = text_.empty() ? 0 : lastCharacterByte_;
    const std::size_t appendedAt = text_.size();
    const bool simple = appendedAt == 0 || lastScalarStandsAlone(text_);
    text_ += text;
    utf16Length_ += Math::utf16Length(text);
    const std::optional<std::size_t> lastScalar =
        simple ? lastScalarIfAllStandAlone(text_, appendedAt) : std::nullopt;
    if (lastScalar) {
        lastCharacterByte_ = *lastScalar;
        lastCharacterUtf16_ =
            utf16Length_ - Math::utf16Length(std::string_view(text_).substr(*lastScalar));
        return;
    }
    const auto characters =
        platform::unicode::graphemeClusters(std::string_view(text_).substr(from));
    if (characters.empty()) {
        return;
    }
    const std::string_view last = characters.back();
    lastCharacterByte_ = static_cast<std::size_t>(last.data() - text_.data());
    lastCharacterUtf16_ = utf16Length_ - Math::utf16Length(last);
}

void AttributedLine::append(std::string_view text, const platform::Color& color) {
    const std::size_t start = utf16Length_;
    append(text);
    if (utf16Length_ > start) {
        colors_.push_back({start, utf16Length_ - start, color});
    }
}

std::string_view AttributedLine::lastCharacter() const {
    return std::string_view(text_).substr(text_.empty() ? 0 : lastCharacterByte_);
}

void AttributedLine::setKernAfterLastCharacter(CGFloat points) {
    if (text_.empty()) {
        return;
    }
    // Kerns are only set on the last character, so one already there is the last kern.
    if (!kerns_.empty() && kerns_.back().utf16Offset == lastCharacterUtf16_) {
        kerns_.back().points = points;
    } else {
        kerns_.push_back({lastCharacterUtf16_, points});
    }
}

AttributedLine AttributedLine::prefix(std::size_t byteOffset) const {
    return slice(0, 0, byteOffset);
}

AttributedLine AttributedLine::suffix(std::size_t byteOffset) const {
    const std::size_t start = std::min(byteOffset, text_.size());
    const std::size_t utf16Start =
        utf16Length_ - Math::utf16Length(std::string_view(text_).substr(start));
    return slice(start, utf16Start, text_.size());
}

AttributedLine AttributedLine::slice(std::size_t begin, std::size_t utf16Begin,
                                     std::size_t end) const {
    AttributedLine result;
    end = std::min(end, text_.size());
    begin = std::min(begin, end);
    result.append(std::string_view(text_).substr(begin, end - begin));
    const std::size_t utf16End = utf16Begin + result.utf16Length_;
    const auto firstKern = std::lower_bound(
        kerns_.begin(), kerns_.end(), utf16Begin,
        [](const auto& kern, std::size_t offset) { return kern.utf16Offset < offset; });
    // Sized to what it holds: a long formula keeps one line like this for each of its lines.
    const auto endKern = std::lower_bound(
        firstKern, kerns_.end(), utf16End,
        [](const auto& kern, std::size_t offset) { return kern.utf16Offset < offset; });
    result.kerns_.reserve(static_cast<std::size_t>(endKern - firstKern));
    for (auto kern = firstKern; kern != endKern; ++kern) {
        result.kerns_.push_back({kern->utf16Offset - utf16Begin, kern->points});
    }
    // Colour ranges do not overlap, so their ends are ordered as their starts are.
    const auto firstColour = std::lower_bound(
        colors_.begin(), colors_.end(), utf16Begin, [](const auto& colour, std::size_t offset) {
            return colour.utf16Offset + colour.utf16Length <= offset;
        });
    for (auto colour = firstColour; colour != colors_.end() && colour->utf16Offset < utf16End;
         ++colour) {
        const std::size_t from = std::max(colour->utf16Offset, utf16Begin);
        const std::size_t to = std::min(colour->utf16Offset + colour->utf16Length, utf16End);
        result.colors_.push_back({from - utf16Begin, to - from, colour->color});
    }
    return result;
}

// MARK: DisplayTextRun

namespace {

// Puts the kerns into the run as GlyphFont::shape does (after the last glyph of the cluster each
// names, later glyphs moving along), in one pass over glyphs and kerns side by side: kerns come
// ordered, one per character at most, and a run in logical order keeps a cluster's glyphs
// together. A long run is not given tables as long as itself.
void addKerns(platform::ShapedRun& run, std::span<const platform::ExtraSpace> kerns) {
    const bool ordered =
        std::adjacent_find(kerns.begin(), kerns.end(), [](const auto& a, const auto& b) {
            return a.utf16Offset >= b.utf16Offset;
        }) == kerns.end();
    const bool inOrder =
        std::adjacent_find(run.glyphs.begin(), run.glyphs.end(), [](const auto& a, const auto& b) {
            return a.cluster > b.cluster;
        }) == run.glyphs.end();
    if (!ordered || !inOrder) {
        platform::GlyphFont::addExtraSpace(run, kerns);
        return;
    }
    double shift = 0;
    std::size_t k = 0;
    for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
        auto& glyph = run.glyphs[i];
        while (k < kerns.size() && kerns[k].utf16Offset < glyph.cluster) {
            ++k;
        }
        const bool last = i + 1 == run.glyphs.size() || run.glyphs[i + 1].cluster != glyph.cluster;
        double after = 0;
        if (last && k < kerns.size() && kerns[k].utf16Offset == glyph.cluster &&
            std::isfinite(kerns[k].points)) {
            after += kerns[k].points;
        }
        glyph.position.x += shift;
        glyph.advance += after;
        shift += after;
    }
    run.width = 0;
    for (const auto& glyph : run.glyphs) {
        run.width += glyph.advance;
    }
}

} // namespace

DisplayTextRun::DisplayTextRun(AttributedLine line, Font font_,
                               const platform::GlyphFont& glyphFont,
                               std::vector<std::shared_ptr<Atom>> atoms_)
    : DisplayTextRun(std::move(line), std::move(font_), glyphFont, std::move(atoms_), {}) {}

DisplayTextRun::DisplayTextRun(AttributedLine line, Font font_,
                               const platform::GlyphFont& glyphFont,
                               std::vector<std::shared_ptr<Atom>> atoms_,
                               platform::ShapedRun unkerned)
    : attributedString(std::move(line))
    , font(std::move(font_))
    , atoms(std::move(atoms_)) {
    platform::ShapedRun run = std::move(unkerned);
    // The atoms were gathered one by one, and the glyphs may come in a vector kept for longer
    // lines; the run keeps both as long as the formula is shown.
    atoms.shrink_to_fit();
    run.glyphs.shrink_to_fit();
    if (run.glyphs.empty() && !attributedString.empty()) {
        run = glyphFont.reshapeEnd({}, {}, attributedString.text());
    }
    addKerns(run, attributedString.kerns());
    // The ink as GlyphFont::shape finds it.
    run.glyphPathBounds = platform::Rect::null();
    // A line of a formula repeats a few glyphs: their boxes are looked up once each, not once
    // per glyph under the face's lock.
    struct KnownBox {
        platform::GlyphID glyph = 0;
        platform::Rect box;
    };
    std::array<KnownBox, 8> known;
    std::size_t knownCount = 0;
    const auto boxOf = [&](platform::GlyphID glyph) {
        const std::size_t held = std::min(knownCount, known.size());
        for (std::size_t k = 0; k < held; ++k) {
            if (known[k].glyph == glyph) {
                return known[k].box;
            }
        }
        const platform::Rect box = glyphFont.boundingRect(glyph);
        known[knownCount++ % known.size()] = {glyph, box};
        return box;
    };
    for (const auto& glyph : run.glyphs) {
        const platform::Rect box = boxOf(glyph.glyph);
        if (box.size.width != 0 && box.size.height != 0) {
            run.glyphPathBounds =
                run.glyphPathBounds.unionWith(box.offsetBy(glyph.position.x, glyph.position.y));
        }
    }
    if (run.glyphPathBounds.isNull()) {
        run.glyphPathBounds = platform::Rect::zero();
    }
    width_ = run.width;
    if (!run.glyphs.empty()) {
        ascent_ = std::max(0.0, run.glyphPathBounds.maxY());
        descent_ = std::max(0.0, -run.glyphPathBounds.minY());
    }
    shaped.glyphs = std::move(run.glyphs);
}

// MARK: Glyphs

DisplayGlyph::DisplayGlyph(platform::GlyphID glyph_, Font font_)
    : glyph(glyph_)
    , font(std::move(font_)) {}

DisplayGlyphRun::DisplayGlyphRun(std::vector<platform::GlyphID> glyphs_,
                                 std::vector<CGFloat> offsets_, Font font_)
    : glyphs(std::move(glyphs_))
    , offsets(std::move(offsets_))
    , font(std::move(font_)) {
    // The drawing pairs glyphs with offsets one to one.
    offsets.resize(glyphs.size(), 0);
}

// MARK: DisplayFraction

CGFloat DisplayFraction::ascent() const {
    return ascentOf(numerator) + numeratorUp;
}

CGFloat DisplayFraction::descent() const {
    return descentOf(denominator) + denominatorDown;
}

CGFloat DisplayFraction::width() const {
    return std::max(widthOf(numerator), widthOf(denominator));
}

void DisplayFraction::setPosition(Point value) {
    position_ = value;
    const CGFloat w = width();
    if (denominator) {
        denominator->setPosition(
            {value.x + (w - denominator->width()) / 2, value.y - denominatorDown});
    }
    if (numerator) {
        numerator->setPosition({value.x + (w - numerator->width()) / 2, value.y + numeratorUp});
    }
}

// MARK: DisplayRadical

void DisplayRadical::setPosition(Point value) {
    position_ = value;
    placeParts();
}

void DisplayRadical::placeParts() {
    if (radicand && radicalGlyph) {
        radicand->setPosition({position_.x + radicalShift + radicalGlyph->width(), position_.y});
    }
    // The degree sits in the crook of the sign, so it travels with the radical.
    if (degree) {
        degree->setPosition({position_.x + degreeOffset_.x, position_.y + degreeOffset_.y});
    }
}

void DisplayRadical::setDegree(std::shared_ptr<DisplayList> degree_, CGFloat kernBefore,
                               CGFloat kernAfter, CGFloat bottomRaise) {
    if (!degree_) {
        return;
    }
    degree = std::move(degree_);
    radicalShift = std::max(0.0, kernBefore + degree->width() + kernAfter);
    degreeOffset_ = {kernBefore, bottomRaise * (ascent_ - descent_)};
    width_ = radicalShift + widthOf(radicalGlyph) + widthOf(radicand);
    placeParts();
}

// MARK: DisplayAccent

DisplayAccent::DisplayAccent(std::shared_ptr<DisplayGlyph> accent_,
                             std::shared_ptr<DisplayList> accentee_, IndexRange range_)
    : accentee(std::move(accentee_))
    , accent(std::move(accent_)) {
    range = range_;
}

void DisplayAccent::setPosition(Point value) {
    position_ = value;
    if (accentee) {
        accentee->setPosition(value);
    }
}

// MARK: DisplayLine

DisplayLine::DisplayLine(std::shared_ptr<DisplayList> inner_, Point position_, IndexRange range_)
    : inner(std::move(inner_)) {
    range = range_;
    setPosition(position_);
}

void DisplayLine::setPosition(Point value) {
    position_ = value;
    if (inner) {
        inner->setPosition(value);
    }
}

// MARK: DisplayLargeOperator

CGFloat DisplayLargeOperator::ascent() const {
    if (!nucleus) {
        return 0;
    }
    CGFloat result = nucleus->ascent();
    if (upperLimit) {
        result += extraPadding + upperLimit->ascent() + upperLimitGap + upperLimit->descent();
    }
    return result;
}

CGFloat DisplayLargeOperator::descent() const {
    if (!nucleus) {
        return 0;
    }
    CGFloat result = nucleus->descent();
    if (lowerLimit) {
        result += extraPadding + lowerLimitGap + lowerLimit->ascent() + lowerLimit->descent();
    }
    return result;
}

void DisplayLargeOperator::setPosition(Point value) {
    position_ = value;
    if (!nucleus) {
        return;
    }
    const CGFloat w = width();
    if (lowerLimit) {
        lowerLimit->setPosition(
            {value.x - limitShift + (w - lowerLimit->width()) / 2,
             value.y - nucleus->descent() - lowerLimitGap - lowerLimit->ascent()});
    }
    if (upperLimit) {
        upperLimit->setPosition(
            {value.x + limitShift + (w - upperLimit->width()) / 2,
             value.y + nucleus->ascent() + upperLimitGap + upperLimit->descent()});
    }
    nucleus->setPosition({value.x + (w - nucleus->width()) / 2, value.y});
}

} // namespace Math

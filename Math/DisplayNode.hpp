#pragma once

// The boxes a typeset formula is made of. Every node knows its ascent, descent and width and the
// origin of its baseline; composite nodes move their parts when they are moved. Coordinates are
// points, x to the right and y upward. A node's position is in the coordinate system of the
// nearest enclosing DisplayList: a list is the only node that opens a new system (its children sit
// relative to the list's origin); fractions, radicals, accents, lines and large operators place
// their sub-lists in their own system.
//
// Trees are built by one typesetting pass and are read-only afterwards; a tree owns its children.

#include "Math/Atom.hpp"
#include "Math/MathFont.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/GlyphFont.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Math {

using CGFloat = double;
using platform::Point;

// The location of a range that covers nothing.
inline constexpr std::int64_t notFound = std::numeric_limits<std::int64_t>::max();

// An optional colour kept apart from the node that may have it: nearly every node of a formula has
// none, and three colours in place took two thirds of every node.
class NodeColor {
public:
    NodeColor() = default;
    NodeColor(const NodeColor&) = delete;
    NodeColor& operator=(const NodeColor&) = delete;
    NodeColor& operator=(const std::optional<platform::Color>& color) {
        color_ = color ? std::make_unique<const platform::Color>(*color) : nullptr;
        return *this;
    }
    NodeColor& operator=(const platform::Color& color) {
        return *this = std::optional<platform::Color>(color);
    }

    explicit operator bool() const { return color_ != nullptr; }
    bool has_value() const { return color_ != nullptr; }
    const platform::Color& operator*() const { return *color_; }
    std::optional<platform::Color> value() const {
        return color_ ? std::optional(*color_) : std::nullopt;
    }
    friend bool operator==(const NodeColor& a, const std::optional<platform::Color>& b) {
        return a.value() == b;
    }

private:
    std::unique_ptr<const platform::Color> color_;
};

class DisplayNode {
public:
    DisplayNode() = default;
    virtual ~DisplayNode();
    DisplayNode(const DisplayNode&) = delete;
    DisplayNode& operator=(const DisplayNode&) = delete;

    // Extent above the baseline.
    virtual CGFloat ascent() const { return ascent_; }
    virtual void setAscent(CGFloat value) { ascent_ = value; }
    // Extent below the baseline, positive downward.
    virtual CGFloat descent() const { return descent_; }
    virtual void setDescent(CGFloat value) { descent_ = value; }
    // Advance width.
    virtual CGFloat width() const { return width_; }
    virtual void setWidth(CGFloat value) { width_ = value; }
    // Origin of the baseline. Composite nodes move their parts along.
    virtual Point position() const { return position_; }
    virtual void setPosition(Point value) { position_ = value; }

    // Source range of the atoms the node was made from.
    IndexRange range{notFound, 0};
    // The script builder marks the node that received a subscript or superscript.
    bool hasScript = false;
    NodeColor textColor;
    // Colour of a \color or \textcolor group; wins over textColor when drawing.
    NodeColor localTextColor;
    // Colour of a \colorbox group; recorded, not drawn.
    NodeColor localBackgroundColor;

protected:
    CGFloat ascent_ = 0;
    CGFloat descent_ = 0;
    CGFloat width_ = 0;
    Point position_;
};

// Nodes laid out side by side (a line, a script, a numerator ...). Its size is computed once, from
// the children as they are when the list is made.
class DisplayList final : public DisplayNode {
public:
    enum class LinePosition : std::uint8_t { regular = 0, subscript = 1, superscript = 2 };
    static std::optional<LinePosition> linePositionFromRawValue(int rawValue);

    DisplayList(std::vector<std::shared_ptr<DisplayNode>> children, IndexRange range);

    LinePosition linePosition = LinePosition::regular;
    std::vector<std::shared_ptr<DisplayNode>> children;
    // For a script list, the source location of the atom carrying the script; notFound otherwise.
    std::int64_t index = notFound;
};

// Text with the extras the typesetter puts on it: extra space (kerning) after single characters,
// and colours of ranges (placeholders are blue). Offsets are UTF-16, as the shaper counts.
class AttributedLine {
public:
    struct ColorRange {
        std::size_t utf16Offset = 0;
        std::size_t utf16Length = 0;
        platform::Color color;
        friend bool operator==(const ColorRange&, const ColorRange&) = default;
    };

    AttributedLine() = default;
    explicit AttributedLine(std::string text);

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }
    std::size_t utf16Length() const { return utf16Length_; }
    const std::vector<platform::ExtraSpace>& kerns() const { return kerns_; }
    const std::vector<ColorRange>& colors() const { return colors_; }

    void append(std::string_view text);
    void append(std::string_view text, const platform::Color& color);
    // The last character (grapheme cluster); empty for an empty line.
    std::string_view lastCharacter() const;
    // Widens the gap after the last character to `points`, replacing a kern already set there.
    // Nothing happens on an empty line.
    void setKernAfterLastCharacter(CGFloat points);
    // The text before and from a byte offset (a character boundary), each with the kerns and
    // colours that fall inside it.
    AttributedLine prefix(std::size_t byteOffset) const;
    AttributedLine suffix(std::size_t byteOffset) const;
    // The text from byte `begin` to byte `end` (character boundaries), with its kerns and colours;
    // `utf16Begin` is the UTF-16 offset of `begin`. Costs the length of the slice, not of the
    // line, so that a long line can be cut into many short ones.
    AttributedLine slice(std::size_t begin, std::size_t utf16Begin, std::size_t end) const;

private:
    std::string text_;
    std::size_t utf16Length_ = 0;
    // Where the last character starts, in bytes and in UTF-16 units. A character boundary does
    // not depend on what comes after it, so appending needs to look at the last character and
    // the new text only: adding to a line costs what is added, not the line's length.
    std::size_t lastCharacterByte_ = 0;
    std::size_t lastCharacterUtf16_ = 0;
    // Both ordered by offset: text is only ever added at the end.
    std::vector<platform::ExtraSpace> kerns_;
    std::vector<ColorRange> colors_;
};

// A run of text set in one font: consecutive symbols of a formula share one run, their spacing
// held as kerns. Measured when made: the width is the shaped advance, ascent and descent come
// from the ink of the glyphs.
class DisplayTextRun final : public DisplayNode {
public:
    DisplayTextRun(AttributedLine line, Font font, const platform::GlyphFont& glyphFont,
                   std::vector<std::shared_ptr<Atom>> atoms);
    // The same from the line's glyphs as GlyphFont::reshapeEnd gives them (no kerns, no ink): a
    // line measured to be broken is not shaped again to be shown.
    DisplayTextRun(AttributedLine line, Font font, const platform::GlyphFont& glyphFont,
                   std::vector<std::shared_ptr<Atom>> atoms, platform::ShapedRun unkerned);

    AttributedLine attributedString;
    Font font;
    // The atoms the run renders.
    std::vector<std::shared_ptr<Atom>> atoms;
    // The shaped glyphs, relative to the run's baseline origin. Only they are kept of the shaping:
    // the width and ink it measured are the node's own, and a formula of a megabyte has hundreds
    // of thousands of runs.
    struct Shaped {
        std::vector<platform::ShapedRun::Glyph> glyphs;
    };
    Shaped shaped;
};

// A node drawn lower than its baseline by shiftDown (higher for a negative shift).
class DisplayShiftedNode : public DisplayNode {
public:
    CGFloat shiftDown = 0;
};

// One glyph. The stored ascent and descent are the glyph's own; reading them applies the shift.
class DisplayGlyph final : public DisplayShiftedNode {
public:
    DisplayGlyph(platform::GlyphID glyph, Font font);
    CGFloat ascent() const override { return ascent_ - shiftDown; }
    CGFloat descent() const override { return descent_ + shiftDown; }

    platform::GlyphID glyph = 0;
    Font font;
};

// Glyphs stacked vertically into one tall glyph (a big delimiter or radical sign). Offsets are the
// height of each glyph's baseline above the run's baseline, which is the bottom of the stack.
class DisplayGlyphRun final : public DisplayShiftedNode {
public:
    DisplayGlyphRun(std::vector<platform::GlyphID> glyphs, std::vector<CGFloat> offsets, Font font);
    CGFloat ascent() const override { return ascent_ - shiftDown; }
    CGFloat descent() const override { return descent_ + shiftDown; }

    std::vector<platform::GlyphID> glyphs;
    std::vector<CGFloat> offsets; // one per glyph
    Font font;
};

// A numerator over a denominator, with or without a rule. The parts are centred over each other.
class DisplayFraction final : public DisplayNode {
public:
    CGFloat ascent() const override;
    CGFloat descent() const override;
    CGFloat width() const override;
    void setPosition(Point value) override;

    std::shared_ptr<DisplayList> numerator;
    std::shared_ptr<DisplayList> denominator;
    // Baseline of the numerator above, and of the denominator below, the fraction's baseline.
    CGFloat numeratorUp = 0;
    CGFloat denominatorDown = 0;
    // Height of the rule's centre above the baseline, and its thickness (0: no rule).
    CGFloat linePosition = 0;
    CGFloat lineThickness = 0;
};

// A radical sign with an overbar over its radicand, and an optional degree in the crook.
class DisplayRadical final : public DisplayNode {
public:
    void setPosition(Point value) override;
    // Attaches the degree: room is made left of the sign (the kerns around the degree are font
    // constants) and the degree is raised by `bottomRaise` of the sign's height. An absent degree
    // changes nothing.
    void setDegree(std::shared_ptr<DisplayList> degree, CGFloat kernBefore, CGFloat kernAfter,
                   CGFloat bottomRaise);

    std::shared_ptr<DisplayList> radicand;
    std::shared_ptr<DisplayList> degree;
    std::shared_ptr<DisplayNode> radicalGlyph; // a DisplayGlyph or DisplayGlyphRun
    // Room left of the sign for the degree.
    CGFloat radicalShift = 0;
    // Gap above the overbar, and the overbar's thickness.
    CGFloat topKern = 0;
    CGFloat lineThickness = 0;

private:
    void placeParts();
    // Where the degree sits relative to the radical's position.
    Point degreeOffset_;
};

// An accent glyph over a base. The glyph's position is relative to the accent node's position.
class DisplayAccent final : public DisplayNode {
public:
    DisplayAccent(std::shared_ptr<DisplayGlyph> accent, std::shared_ptr<DisplayList> accentee,
                  IndexRange range);
    void setPosition(Point value) override;

    std::shared_ptr<DisplayList> accentee;
    std::shared_ptr<DisplayGlyph> accent;
};

// A rule over or under its content.
class DisplayLine final : public DisplayNode {
public:
    DisplayLine(std::shared_ptr<DisplayList> inner, Point position, IndexRange range);
    void setPosition(Point value) override;

    std::shared_ptr<DisplayList> inner;
    // Height of the rule's centre above the baseline, and its thickness.
    CGFloat lineShiftUp = 0;
    CGFloat lineThickness = 0;
};

// A large operator with limits above and below, centred on one another.
class DisplayLargeOperator final : public DisplayNode {
public:
    CGFloat ascent() const override;
    CGFloat descent() const override;
    void setPosition(Point value) override;

    std::shared_ptr<DisplayList> upperLimit;
    std::shared_ptr<DisplayList> lowerLimit;
    std::shared_ptr<DisplayNode> nucleus;
    // The upper limit moves right by it and the lower one left (half the italic correction of a
    // slanted operator such as an integral).
    CGFloat limitShift = 0;
    CGFloat upperLimitGap = 0;
    CGFloat lowerLimitGap = 0;
    // Added to ascent and descent when the respective limit exists.
    CGFloat extraPadding = 0;
};

} // namespace Math

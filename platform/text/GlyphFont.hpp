#pragma once

// A glyph face at a point size: metrics in points, shaping of short runs of text with the face
// alone (no fallback), and drawing of glyphs into a graphics context. Lengths are points with y up
// from the baseline, as the math typesetter measures.

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/graphics/Path.hpp"
#include "platform/text/GlyphFace.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class GraphicsContext;

/// Extra space after the character (cluster) that starts at a UTF-16 offset of a shaped string.
struct ExtraSpace {
    std::size_t utf16Offset = 0;
    double points = 0;
};

/// The result of shaping a short string.
struct ShapedRun {
    struct Glyph {
        GlyphID glyph = 0;
        /// Cutting the text before this glyph and shaping the parts apart could shape them
        /// differently (a substitution or a kern reaches across). Beside the glyph id it takes
        /// no room of its own.
        bool unsafeToBreak = false;
        /// Position of the glyph's origin relative to the run's origin, y up.
        Point position;
        /// Advance in points, extra space included.
        double advance = 0;
        /// UTF-16 offset of the first character the glyph stands for.
        std::size_t cluster = 0;
    };
    std::vector<Glyph> glyphs;
    /// Sum of the advances.
    double width = 0;
    /// Union of the glyphs' ink boxes relative to the run's origin, y up; zero when no glyph has
    /// ink.
    Rect glyphPathBounds;
};

/// The width of the characters before each character of a shaped text, and last of all of
/// them, as a line cut there measures: each glyph's advance counts for the character its cluster
/// starts in. `utf16AtCharacter` holds the UTF-16 offset of every character in order, then of the
/// text's end; `run` is the text shaped.
std::vector<double> advancesBeforeCharacters(const ShapedRun& run,
                                             std::span<const std::size_t> utf16AtCharacter);

class GlyphFont {
public:
    /// `face` must not be null. A negative, infinite or NaN size counts as 0.
    GlyphFont(std::shared_ptr<const GlyphFace> face, double pointSize);

    const GlyphFace& face() const { return *face_; }
    const std::shared_ptr<const GlyphFace>& sharedFace() const { return face_; }
    double size() const { return size_; }
    /// Points per design unit.
    double scale() const;

    double ascent() const;
    double descent() const;
    /// The horizontal advance (height 0).
    Size advance(GlyphID glyph) const;
    Rect boundingRect(GlyphID glyph) const;
    Path outline(GlyphID glyph) const;

    /// One glyph per UTF-16 code unit (the second unit of a surrogate pair gets 0); nothing when
    /// any character has no glyph in the face or a surrogate is unpaired.
    std::optional<std::vector<GlyphID>> glyphs(std::u16string_view characters) const;

    /// Shapes `utf8` with the face's own substitutions and positioning (ligatures, kerning, mark
    /// placement). Characters the face lacks become glyph 0. Invalid UTF-8 is replaced.
    ShapedRun shape(std::string_view utf8, std::span<const ExtraSpace> extraSpace = {}) const;

    /// The glyphs and width `shape(utf8)` gives (no extra space, no ink bounds), reusing
    /// `previous`, the result of this call for `previousText`: the glyphs of a start both texts
    /// share, up to a cut the shaper allows a little before where they differ, are kept and only
    /// the rest is shaped. A text that grows at its end is then shaped about once in all, not
    /// once per growth.
    ShapedRun reshapeEnd(const ShapedRun& previous, std::string_view previousText,
                         std::string_view utf8) const;
    /// Puts extra space into a run as `shape` does and sums its width again.
    static void addExtraSpace(ShapedRun& run, std::span<const ExtraSpace> extraSpace);

    /// How many UTF-16 code units of `utf8` fit on a line `width` points wide: the text up to the
    /// last line-break opportunity that fits (trailing spaces hang past the width), or, when not
    /// even the first word fits, as many whole characters as fit. 0 when not one character fits.
    /// `shaped`, when given, is `utf8` as `shape` or `reshapeEnd` shaped it without extra space,
    /// so that a text just measured is not shaped again.
    std::size_t suggestLineBreak(std::string_view utf8, double width,
                                 const ShapedRun* shaped = nullptr) const;

    /// Draws glyphs at user-space positions (baseline origins) in `color`. Glyphs stand upright
    /// both in the context's usual y-down space and in a flipped, y-up one.
    void draw(GraphicsContext& context, std::span<const GlyphID> glyphs,
              std::span<const Point> positions, const Color& color) const;
    /// Draws a shaped run with its origin at `origin` (user space).
    void draw(GraphicsContext& context, const ShapedRun& run, Point origin,
              const Color& color) const;

private:
    // Appends the glyphs of `text` from byte `from` (a character start) on, shaped with the whole
    // text's properties and its earlier characters as context, their x continuing from `x`.
    void shapeFrom(std::vector<ShapedRun::Glyph>& glyphs, const std::string& text,
                   std::span<const std::size_t> utf16AtByte, std::size_t from, double x) const;

    std::shared_ptr<const GlyphFace> face_;
    double size_ = 0;
};

} // namespace platform

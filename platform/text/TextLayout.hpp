#pragma once

// A paragraph laid out into lines: the lines, their runs (stretches of one direction, one face and
// one source run) and the runs' glyph slices, each with typographic bounds and the UTF-16 range of
// the characters it stands for. Word boundaries, caret positions and hit testing work on the same
// model. Layouts are immutable and cheap to copy (copies share one layout); a layout may be made on
// any thread, and is then queried and drawn from one thread at a time.

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/StyledText.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

class GraphicsContext;

enum class LayoutDirection : std::uint8_t { leftToRight, rightToLeft };

/// A half-open range of UTF-16 offsets.
struct CharacterRange {
    std::size_t lowerBound = 0;
    std::size_t upperBound = 0;

    std::size_t length() const { return upperBound - lowerBound; }
    bool isEmpty() const { return upperBound == lowerBound; }
    bool contains(std::size_t i) const { return i >= lowerBound && i < upperBound; }
    friend constexpr bool operator==(const CharacterRange&, const CharacterRange&) = default;
};

/// Bounds measured from a baseline origin: `ascent` above it, `descent` below it (y grows
/// downwards, so the top edge is at origin.y - ascent).
struct TypographicBounds {
    Point origin;
    CGFloat width = 0;
    CGFloat ascent = 0;
    CGFloat descent = 0;

    /// x = origin.x, y = origin.y - ascent, width, height = ascent + descent.
    Rect rect() const { return {origin.x, origin.y - ascent, width, ascent + descent}; }
    friend constexpr bool operator==(const TypographicBounds&, const TypographicBounds&) = default;
};

class TextLayout {
public:
    struct Impl;

    /// One glyph.
    struct RunSlice {
        TypographicBounds typographicBounds;
        /// The characters the glyph stands for; every glyph of one cluster gets the cluster's
        /// whole range, a ligature all the characters up to the next glyph's.
        CharacterRange characterRange;
        std::uint32_t glyph = 0;
    };
    /// The glyph slices of one run. A layout keeps them compact (a glyph, its advance and its
    /// characters: 16 bytes where a slice takes 64) and makes the slices on first access, since
    /// most layouts are drawn and measured and never hit-tested. The made slices stay valid as
    /// long as the layout.
    class RunSlices {
    public:
        RunSlices() = default;
        RunSlices(const RunSlices& other);
        RunSlices(RunSlices&& other) noexcept;
        RunSlices& operator=(RunSlices other) noexcept;
        ~RunSlices();

        std::size_t size() const { return glyphs_.size(); }
        bool empty() const { return glyphs_.empty(); }
        const RunSlice& operator[](std::size_t index) const { return made()[index]; }
        const RunSlice& front() const { return made().front(); }
        const RunSlice& back() const { return made().back(); }
        const RunSlice* begin() const { return made().data(); }
        const RunSlice* end() const { return made().data() + made().size(); }

    private:
        friend struct TextLayout::Impl;
        friend class TextLayout;
        /// One glyph as kept: its advance in Pango units (its place is the run's origin plus the
        /// advances before it) and the UTF-16 range of its characters.
        struct Glyph {
            std::uint32_t glyph = 0;
            std::int32_t advance = 0;
            std::uint32_t lowerBound = 0;
            std::uint32_t upperBound = 0;
        };
        const std::vector<RunSlice>& made() const;

        std::vector<Glyph> glyphs_;
        /// The run's baseline origin and extent, which every slice of it shares.
        TypographicBounds bounds_;
        /// Made at most once; the layout may be read from several threads in turn.
        mutable std::atomic<const std::vector<RunSlice>*> made_{nullptr};
    };
    struct Run {
        LayoutDirection layoutDirection = LayoutDirection::leftToRight;
        TypographicBounds typographicBounds;
        CharacterRange characterRange;
        /// Index of the `StyledText` run the characters come from.
        std::size_t sourceRun = 0;
        bool isInlineBox = false;
        /// The face that really draws the run (a fallback face where the run's font lacks
        /// glyphs).
        std::string fontFamily;
        double fontSize = 0;
        /// In the order the glyphs are drawn, left to right.
        RunSlices slices;
    };
    struct Line {
        TypographicBounds typographicBounds;
        /// The characters of the line, without the line separator that ends it.
        CharacterRange characterRange;
        /// Left to right; empty for a line without glyphs (an empty paragraph).
        std::vector<Run> runs;
    };
    struct SlicePath {
        std::size_t line = 0;
        std::size_t run = 0;
        std::size_t slice = 0;
        friend constexpr bool operator==(const SlicePath&, const SlicePath&) = default;
    };

    /// An empty layout.
    TextLayout();
    TextLayout(const StyledText& text, const ParagraphStyle& style = {});
    /// The same, keeping `text` as it is rather than a copy of it.
    TextLayout(StyledText&& text, const ParagraphStyle& style = {});

    /// The laid-out text, UTF-8 (inline boxes as U+FFFC).
    const std::string& string() const;
    /// Length in UTF-16 code units.
    std::size_t length() const;
    /// The text from `range` (UTF-16 offsets, clamped), as UTF-8.
    std::string substring(const CharacterRange& range) const;

    std::span<const Line> lines() const;
    /// The logical size: the width of the widest line (or the wrap width's share of it) and the
    /// height of all lines with their spacing.
    Size size() const;
    /// The union of the lines' typographic rectangles; null without lines.
    Rect bounds() const;
    /// The height of the tallest line (0 without lines).
    double tallestLine() const;
    /// Whether the line limit cut text off.
    bool isTruncated() const;

    /// The slice whose rectangle (slice width, line height) contains `point`.
    std::optional<SlicePath> slice(Point point) const;
    /// The index of the line holding the character at `index`; the last line for the end.
    std::optional<std::size_t> lineIndex(std::size_t index) const;
    /// Where the caret stands before the character at `index` (`index` = length: after the last
    /// character): x of the insertion point, over the full height of its line. Where two
    /// directions meet, the caret belongs to the text of the paragraph's direction.
    Rect caretRect(std::size_t index) const;

    /// From `index`, the next word end (forward) or the previous word start (backward); the
    /// text's end or start when there is none.
    std::size_t nextWordBoundary(std::size_t index, bool forward) const;
    /// The word around `index`, or the stretch of spaces and punctuation between two words when
    /// `index` is not in a word. Empty at the end of the text.
    CharacterRange wordRange(std::size_t index) const;

    /// Draws the layout with its top-left corner at `origin`. Runs without a colour of their own
    /// use `color`; system colours resolve in the context's appearance.
    void draw(GraphicsContext& context, Point origin, const Color& color = Color::primary()) const;

private:
    explicit TextLayout(std::shared_ptr<const Impl> impl);
    std::shared_ptr<const Impl> impl_;
};

} // namespace platform

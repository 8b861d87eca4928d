#pragma once

// Shaping of short text segments (a word and the spaces after it) through the same Pango font and
// shaper a full paragraph layout uses, with the results kept per thread: a document repeats the
// same few thousand words, and shaping is most of the cost of laying it out. Internal to
// platform/text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <pango/pangocairo.h>
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform {

class SegmentShaper {
public:
    /// A segment shaped once: its glyphs (clusters relative to the segment's first byte) and its
    /// advance in Pango units.
    struct Shape {
        PangoGlyphString* glyphs = nullptr;
        /// Wider than 32 bits can hold for a word of a few hundred thousand letters.
        std::int64_t width = 0;
        /// Whether every character had a glyph in the font.
        bool covered = true;
        ~Shape();
        Shape() = default;
        Shape(const Shape&) = delete;
        Shape& operator=(const Shape&) = delete;
    };
    /// A font as the layout loaded it, with the logical extent every glyph of it has.
    struct LoadedFont {
        PangoFont* font = nullptr;
        int ascent = 0;
        int descent = 0;
        std::string family;
        double size = 0;
    };

    /// The shaper of the calling thread (each thread has its own Pango font map).
    static SegmentShaper& forThisThread();

    /// The font Pango loads for `description` (its first face); null when none loads.
    const LoadedFont* font(const PangoFontDescription* description);
    /// The glyphs of `length` bytes from `offset` of `context`, from shaping all of `context`
    /// left to right in `font` as Latin text. Shaping the neighbouring words along lets
    /// contextual forms that look across a space come out as in the whole paragraph.
    std::shared_ptr<const Shape> shape(const LoadedFont& font, std::string_view context,
                                       std::size_t offset, std::size_t length);
    /// The glyphs of `length` bytes from `offset` of `context`, shaped on their own: the text
    /// around them is only looked at (for contextual forms), not shaped along, as Pango shapes
    /// the part of a word it cut at a line's end.
    std::shared_ptr<const Shape> shapeAlone(const LoadedFont& font, std::string_view context,
                                            std::size_t offset, std::size_t length);

    SegmentShaper(const SegmentShaper&) = delete;
    SegmentShaper& operator=(const SegmentShaper&) = delete;
    ~SegmentShaper();

private:
    SegmentShaper();
    std::shared_ptr<const Shape> shape(const LoadedFont& font, std::string_view context,
                                       std::size_t offset, std::size_t length, bool alone);

    struct DescriptionHash {
        std::size_t operator()(const PangoFontDescription* d) const {
            return pango_font_description_hash(d);
        }
    };
    struct DescriptionEqual {
        bool operator()(const PangoFontDescription* a, const PangoFontDescription* b) const {
            return pango_font_description_equal(a, b) != FALSE;
        }
    };

    PangoContext* context_ = nullptr;
    std::unordered_map<PangoFontDescription*, std::unique_ptr<LoadedFont>, DescriptionHash,
                       DescriptionEqual>
        fonts_;
    /// Keyed by the font's address, the segment's place in its context and the context's bytes.
    std::unordered_map<std::string, std::shared_ptr<const Shape>> shapes_;
};

} // namespace platform

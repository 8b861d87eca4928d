#pragma once

// Shaping of short text segments (a word and the spaces after it) through the same Pango font and
// shaper a full paragraph layout uses, with the results kept per thread: a document repeats the
// same few thousand words, and shaping is most of the cost of laying it out. Internal to
// platform/text.

#include <cstddef>
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
        int width = 0;
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
    /// `segment` shaped left to right in `font`.
    std::shared_ptr<const Shape> shape(const LoadedFont& font, std::string_view segment);

    SegmentShaper(const SegmentShaper&) = delete;
    SegmentShaper& operator=(const SegmentShaper&) = delete;
    ~SegmentShaper();

private:
    SegmentShaper();

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
    /// Keyed by the font's address and the segment's bytes.
    std::unordered_map<std::string, std::shared_ptr<const Shape>> shapes_;
};

} // namespace platform

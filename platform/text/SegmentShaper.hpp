#pragma once

// Shaping of short text segments (a word and the spaces after it) through the same Pango shaper a
// full paragraph layout uses, with the results kept for the process: a document repeats the same
// few thousand words, and shaping is most of the cost of laying it out. Paragraphs are laid out on
// whichever thread runs their task, so one shaper serves them all, behind a lock: its own font map
// and fonts (Pango's default font map is per thread, and each thread loading and measuring every
// font again, and shaping every word again, cost more than the shaping it saved). The shapes kept
// are bounded in bytes, the least recently used going first. Internal to platform/text.

#include "platform/text/LayoutLookups.hpp"
#include "platform/text/ResolvedFont.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <pango/pangocairo.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

struct ShapingNeighbourhood;

/// A segment shaped once: its glyphs (clusters relative to the segment's first byte) and its
/// advance in Pango units.
struct SegmentShape {
    PangoGlyphString* glyphs = nullptr;
    /// Wider than 32 bits can hold for a word of a few hundred thousand letters.
    std::int64_t width = 0;
    /// Whether every character had a glyph in the font.
    bool covered = true;
    ~SegmentShape();
    SegmentShape() = default;
    SegmentShape(const SegmentShape&) = delete;
    SegmentShape& operator=(const SegmentShape&) = delete;
};

/// Shapes by what they were shaped from: open addressing with linear probing over slots that hold
/// each entry's hash beside it, so that a probe reads no entry but one whose hash matches, and a
/// hit reads one slot and one entry.
class ShapeTable {
public:
    /// What a segment is looked up by: the font, the segment's place in its context and the
    /// context's bytes, with their hash (see `hash`).
    struct Key {
        std::uint64_t hash = 0;
        const PangoFont* font = nullptr;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        /// `SegmentShaper::kAlone` and `kRightToLeft`.
        std::uint8_t mode = 0;
        std::string_view context;
    };
    /// A kept shape with its key (the context of a word and a space or two stays within the
    /// entry's string) and what it costs.
    struct Entry {
        std::uint64_t hash = 0;
        const PangoFont* font = nullptr;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::uint8_t mode = 0;
        std::string context;
        std::shared_ptr<const SegmentShape> shape;
        std::size_t bytes = 0;
    };
    static std::uint64_t hash(const PangoFont* font, std::uint32_t offset, std::uint32_t length,
                              std::uint8_t mode, std::string_view context);

    Entry* find(const Key& key) const;
    /// Adds an entry whose key is not kept yet.
    void insert(std::unique_ptr<Entry> entry);
    /// Takes a kept entry out.
    std::unique_ptr<Entry> extract(const Entry& entry);
    std::size_t size() const { return count_; }
    /// What the table itself takes for each entry it holds, at its fullest.
    static constexpr std::size_t kSlotBytesPerEntry = 2 * (sizeof(std::uint64_t) + sizeof(void*));

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::unique_ptr<Entry> entry;
    };
    void grow();
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

class SegmentShaper {
public:
    using Shape = SegmentShape;
    /// A font as the layout loaded it, with the logical extent every glyph of it has. Kept for the
    /// process, and the same for every thread.
    struct LoadedFont {
        PangoFont* font = nullptr;
        int ascent = 0;
        int descent = 0;
        std::string family;
        double size = 0;
        /// What the shaper learned of where this font's shaping of a word stops looking.
        ShapingNeighbourhood* neighbourhood = nullptr;
        /// The Cairo font that draws it (the font's own); null when Cairo cannot use it.
        cairo_scaled_font_t* scaled = nullptr;
        /// What Pango is asked to load it by (kept by the shaper); null for a face found standing
        /// in for another.
        const PangoFontDescription* description = nullptr;
        /// The font that draws each character asked for in a paragraph of this one (null where
        /// none loads); filled behind the shaper's lock.
        mutable std::unordered_map<char32_t, const LoadedFont*> fallbacks;
    };

    /// The shaper of the process, which every thread may call.
    static SegmentShaper& shared();

    /// Makes the description Pango is asked to load a resolved font by; the caller owns it.
    using Describe = PangoFontDescription* (*)(const ResolvedFont&);
    /// The font Pango loads for `resolved` as `describe` describes it (its first face); null when
    /// none loads. A thread asks again for the fonts it asked for last without a lock, and only
    /// the first time a font is asked for is it described.
    const LoadedFont* font(const ResolvedFont& resolved, Describe describe);
    /// The glyphs of `length` bytes from `offset` of `context`, from shaping all of `context`
    /// left to right in `font` as Latin text (or, `rightToLeft`, as Hebrew text right to left,
    /// the glyphs in the order they are drawn: the last character's first). Shaping the
    /// neighbouring words along lets contextual forms that look across a space come out as in the
    /// whole paragraph.
    std::shared_ptr<const Shape> shape(const LoadedFont& font, std::string_view context,
                                       std::size_t offset, std::size_t length,
                                       bool rightToLeft = false);
    /// The glyphs of `length` bytes from `offset` of `context`, shaped on their own: the text
    /// around them is only looked at (for contextual forms), not shaped along, as Pango shapes
    /// the part of a word it cut at a line's end.
    std::shared_ptr<const Shape> shapeAlone(const LoadedFont& font, std::string_view context,
                                            std::size_t offset, std::size_t length);
    /// The font Pango draws `c` with in a paragraph set in `font`: `font` itself where it has a
    /// glyph for it (but for emoji, which the first face that draws emoji takes), else the first
    /// face of the font's fallbacks that has (null when none loads).
    const LoadedFont* fallback(const LoadedFont& font, char32_t c);

    /// Whether `length` bytes from `offset` of `run` (the text of one run, which nothing is
    /// shaped across) come out the same shaped on their own as shaped with the words around them:
    /// no lookup of `font` reaches across a space, and each edge is the run's, a space, or a line
    /// feed that was seen not to change them.
    bool shapesOnItsOwn(const LoadedFont& font, std::string_view run, std::size_t offset,
                        std::size_t length);

    /// What the kept shapes take, keys and bookkeeping included; at most `kCacheBudget` and one
    /// shape more.
    std::size_t cachedBytes() const;
    /// Enough for the vocabulary of several long documents (a long manual's shapes take about
    /// three megabytes), small beside the layouts themselves.
    static constexpr std::size_t kCacheBudget = std::size_t(16) << 20;

    SegmentShaper(const SegmentShaper&) = delete;
    SegmentShaper& operator=(const SegmentShaper&) = delete;
    ~SegmentShaper();

private:
    SegmentShaper();
    const LoadedFont* loadFont(const PangoFontDescription* description);
    /// `font` (which it takes) with its extents, names and Cairo font.
    std::unique_ptr<LoadedFont> loaded(PangoFont* font);
    static constexpr std::uint8_t kAlone = 1;
    static constexpr std::uint8_t kRightToLeft = 2;
    std::shared_ptr<const Shape> shapeAs(const LoadedFont& font, std::string_view context,
                                         std::size_t offset, std::size_t length, std::uint8_t mode);
    /// Moves a full recent generation to the older one, dropping the oldest shapes.
    void rotateIfFull();

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

    /// Reads from `font`'s tables whether a space or line feed separates its words.
    ShapingNeighbourhood* neighbourhoodOf(PangoFont* font);
    /// Whether `c` shapes the same with a line feed before it (`before`) or after it, or with a
    /// space after it.
    bool keepsShapeBeside(const LoadedFont& font, char32_t c, char neighbour, bool before);

    /// Guards everything below: the font map, its fonts and what is learned and kept of them.
    mutable std::mutex mutex_;
    PangoFontMap* fontMap_ = nullptr;
    PangoContext* context_ = nullptr;
    /// What the layout tables of each face (held) say, by the features shaped with.
    struct FaceLookups {
        hb_face_t* face = nullptr;
        std::string features;
        LayoutLookups lookups;
        ~FaceLookups();
    };
    std::vector<std::unique_ptr<FaceLookups>> faceLookups_;
    std::vector<std::unique_ptr<ShapingNeighbourhood>> neighbourhoods_;
    std::unordered_map<PangoFontDescription*, std::unique_ptr<LoadedFont>, DescriptionHash,
                       DescriptionEqual>
        fonts_;
    /// The faces that stand in for the fonts above where they lack a character.
    std::vector<std::unique_ptr<LoadedFont>> fallbacks_;
    /// Two generations, an approximate least-recently-used order at no cost per hit: shapes are
    /// added to `recent_`; when it fills half the budget it becomes `older_` and the previous
    /// older generation is dropped. A shape found in `older_` moves back to `recent_`.
    ShapeTable recent_;
    ShapeTable older_;
    std::size_t recentBytes_ = 0;
    std::size_t olderBytes_ = 0;
};

} // namespace platform

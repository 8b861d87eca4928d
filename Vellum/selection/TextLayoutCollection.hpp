#pragma once

// The model selection works on: a collection of laid-out texts, each made of lines, each line of
// runs, each run of glyph slices. Hit testing, caret movement, highlight rectangles and copying
// read only this model, never views. A collection and everything reached from it is a snapshot of
// one layout pass: when the texts are laid out again a new collection replaces the old one.
//
// Rectangles are a baseline origin with ascent and descent turned into a box (the leading is left
// out), in the space of the laid-out text they belong to; a layout's `origin` places that space in
// the collection's. Character ranges are UTF-16 offsets into the layout's string.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/TextLayout.hpp"
#include "platform/ui/Text.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellum {

using platform::CharacterRange;
using platform::LayoutDirection;

class TextRunSlice {
public:
    virtual ~TextRunSlice() = default;
    virtual platform::Rect typographicBounds() const = 0;
    virtual CharacterRange characterRange() const = 0;
};

class TextRun {
public:
    virtual ~TextRun() = default;
    virtual LayoutDirection layoutDirection() const = 0;
    virtual platform::Rect typographicBounds() const = 0;
    /// The link the run belongs to.
    virtual std::optional<platform::URL> url() const = 0;
    /// Never zero for a run of a live line: a line without glyphs has one run of one slice.
    virtual std::size_t sliceCount() const = 0;
    virtual const TextRunSlice& slice(std::size_t index) const = 0;
    /// The union of the slices' rectangles (null without slices): what a selection covering the
    /// whole run highlights, without visiting every glyph.
    virtual platform::Rect slicesBounds() const {
        platform::Rect result = platform::Rect::null();
        for (std::size_t i = 0; i < sliceCount(); ++i) {
            result = result.unionWith(slice(i).typographicBounds());
        }
        return result;
    }
};

class TextLine {
public:
    virtual ~TextLine() = default;
    virtual platform::Rect typographicBounds() const = 0;
    virtual std::size_t runCount() const = 0;
    virtual const TextRun& run(std::size_t index) const = 0;
};

/// The glyphs of one line that run in one direction, next to each other: what a selection
/// covering the whole line highlights, one rectangle per stretch.
struct TextLineStretch {
    std::size_t line = 0;
    /// x from the glyphs, y and height from the line.
    platform::Rect rect;
    LayoutDirection direction = LayoutDirection::leftToRight;
};

class TextLayout {
public:
    virtual ~TextLayout() = default;
    /// Where the layout's own space starts, in the collection's space; not known (and not to be
    /// read) where the text is not `placed`.
    virtual platform::Point origin() const = 0;
    /// Whether the text has been placed. A text laid out and not placed yet (in a row of a lazy
    /// document measured out of view) takes part in the text (ranges, copies, moves by
    /// character, word or paragraph) but has no position: nothing that reads positions (hit
    /// testing, highlights, carets, moves by line) finds it until it is placed.
    virtual bool placed() const { return true; }
    /// The union of the lines' rectangles; null without lines.
    virtual platform::Rect bounds() const = 0;
    virtual std::size_t lineCount() const = 0;
    virtual const TextLine& line(std::size_t index) const = 0;
    /// The text that character ranges and copying refer to (UTF-8).
    virtual const std::string& string() const = 0;
    /// Its length in UTF-16 units.
    virtual std::size_t length() const = 0;
    /// The characters of `range` (UTF-16 offsets, clamped), as UTF-8.
    virtual std::string substring(CharacterRange range) const = 0;
    /// From `index`, the next word end (forward) or the previous word start (backward); the end or
    /// start of the text when there is none.
    virtual std::size_t nextWordBoundary(std::size_t index, bool forward) const = 0;
    /// The word around `index`, or the stretch between two words; empty at the end of the text.
    virtual CharacterRange wordRange(std::size_t index) const = 0;
    /// The stretches of every line, in line order; a long selection covers most texts whole.
    virtual const std::vector<TextLineStretch>& lineStretches() const = 0;
    /// The part of the attributed string the text was built from that `range` of the text shows:
    /// what a copy exports, with its paragraphs, emphasis, links and attachments. None for a text
    /// built without one.
    virtual std::optional<platform::AttributedSubstring>
    sourceText(CharacterRange /*range*/) const {
        return std::nullopt;
    }
    /// What the text is the same text by across layout passes: the content it was built from,
    /// which stays while the document does, however often it is laid out again. Null when there
    /// is none.
    virtual const void* sourceIdentity() const { return nullptr; }
};

/// The stretches of a layout worked out from its lines and runs.
std::vector<TextLineStretch> computeLineStretches(const TextLayout& layout);

class TextLayoutCollection {
public:
    virtual ~TextLayoutCollection() = default;
    virtual std::size_t layoutCount() const = 0;
    virtual const TextLayout& layout(std::size_t index) const = 0;
    /// Whether `other` describes the same laid-out texts. Not symmetric: only a live collection
    /// is ever equal to a live one.
    virtual bool isEqual(const TextLayoutCollection& other) const = 0;
    /// Whether positions taken in `other` must be re-mapped before they are used here.
    virtual bool layoutsDiffer(const TextLayoutCollection& other) const = 0;
    /// The index of the layout built over `layout`.
    virtual std::optional<std::size_t> index(const platform::ui::Text::Layout& layout) const = 0;
    /// What names the text at `index` across collections: the laid-out text the `index` of a
    /// view's layout finds it by (null where texts are not told apart so).
    virtual const void* layoutIdentity(std::size_t /*index*/) const { return nullptr; }
    /// Every text's bounds in the collection's space, in text order; null for a text without
    /// lines or not placed. Hit testing scans them on every pointer move: one array, read once per
    /// collection, not thousands of texts visited one by one.
    virtual const std::vector<platform::Rect>& layoutFrames() const;

private:
    mutable std::optional<std::vector<platform::Rect>> layoutFrames_;
};

/// The collection before anything is laid out.
class EmptyTextLayoutCollection final : public TextLayoutCollection {
public:
    std::size_t layoutCount() const override { return 0; }
    const TextLayout& layout(std::size_t index) const override;
    bool isEqual(const TextLayoutCollection& other) const override {
        return other.layoutCount() == 0;
    }
    /// Never: a selection survives the texts going away for a moment.
    bool layoutsDiffer(const TextLayoutCollection&) const override { return false; }
    std::optional<std::size_t> index(const platform::ui::Text::Layout&) const override {
        return std::nullopt;
    }
};

/// A shared, type-erased collection; equality asks the left operand.
class AnyTextLayoutCollection final : public TextLayoutCollection {
public:
    AnyTextLayoutCollection()
        : base_(std::make_shared<const EmptyTextLayoutCollection>()) {}
    explicit AnyTextLayoutCollection(std::shared_ptr<const TextLayoutCollection> base)
        : base_(base ? std::move(base) : std::make_shared<const EmptyTextLayoutCollection>()) {}

    const TextLayoutCollection& base() const { return *base_; }
    std::size_t layoutCount() const override { return base_->layoutCount(); }
    const TextLayout& layout(std::size_t index) const override { return base_->layout(index); }
    bool isEqual(const TextLayoutCollection& other) const override {
        return base_->isEqual(unwrap(other));
    }
    bool layoutsDiffer(const TextLayoutCollection& other) const override {
        return base_->layoutsDiffer(unwrap(other));
    }
    std::optional<std::size_t> index(const platform::ui::Text::Layout& layout) const override {
        return base_->index(layout);
    }
    const void* layoutIdentity(std::size_t index) const override {
        return base_->layoutIdentity(index);
    }
    const std::vector<platform::Rect>& layoutFrames() const override {
        return base_->layoutFrames();
    }
    friend bool operator==(const AnyTextLayoutCollection& a, const AnyTextLayoutCollection& b) {
        return a.base_->isEqual(*b.base_);
    }

private:
    static const TextLayoutCollection& unwrap(const TextLayoutCollection& c) {
        const auto* any = dynamic_cast<const AnyTextLayoutCollection*>(&c);
        return any ? any->base() : c;
    }
    std::shared_ptr<const TextLayoutCollection> base_;
};

class EmptyRunSlice final : public TextRunSlice {
public:
    EmptyRunSlice(platform::Rect bounds, CharacterRange range)
        : bounds_(bounds)
        , range_(range) {}
    platform::Rect typographicBounds() const override { return bounds_; }
    CharacterRange characterRange() const override { return range_; }

private:
    platform::Rect bounds_;
    CharacterRange range_;
};

/// The run of a line without glyphs: the line's own rectangle and one slice.
class EmptyRun final : public TextRun {
public:
    EmptyRun(LayoutDirection direction, platform::Rect bounds, std::optional<platform::URL> url,
             EmptyRunSlice slice)
        : direction_(direction)
        , bounds_(bounds)
        , url_(std::move(url))
        , slice_(slice) {}
    /// The run of an empty line: the direction of the user's language, no link.
    static EmptyRun forLine(platform::Rect bounds, EmptyRunSlice slice);

    LayoutDirection layoutDirection() const override { return direction_; }
    platform::Rect typographicBounds() const override { return bounds_; }
    std::optional<platform::URL> url() const override { return url_; }
    std::size_t sliceCount() const override { return 1; }
    const TextRunSlice& slice(std::size_t) const override { return slice_; }

private:
    LayoutDirection direction_;
    platform::Rect bounds_;
    std::optional<platform::URL> url_;
    EmptyRunSlice slice_;
};

/// The writing direction of a language tag such as "he_IL.UTF-8" or "ar-EG": right-to-left for
/// the scripts written that way, left-to-right for everything else, unknown tags included.
LayoutDirection characterDirection(std::string_view languageTag);
/// The direction of the user's language (LC_ALL, LC_MESSAGES, LANG).
LayoutDirection currentLanguageDirection();

} // namespace vellum

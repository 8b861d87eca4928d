#include "Vellum/selection/TextSelectionRect.hpp"

#include "Vellum/selection/TextHitTesting.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <limits>
#include <optional>

namespace vellum {

namespace {

using platform::Rect;

// Collects the rectangles of one layout line by line, merging neighbours of one direction. One
// builder serves every layout of a walk in turn, so its buffers are allocated once.
class Builder {
public:
    void reset() {
        rects_.clear();
        lineStarts_.clear();
        currentLine_.reset();
        currentLineRects_.clear();
    }

    /// Pieces arrive line by line, left to right within a line.
    void add(const Rect& rect, std::size_t line, LayoutDirection direction) {
        if (!currentLine_ || *currentLine_ != line) {
            flush();
            currentLine_ = line;
        }
        // Glyphs left out between two pieces (an unselected stretch of the other direction) keep
        // them apart.
        if (!currentLineRects_.empty() && currentLineRects_.back().layoutDirection == direction &&
            rect.minX() <= currentLineRects_.back().rect.maxX() + kTouching) {
            currentLineRects_.back().rect = currentLineRects_.back().rect.unionWith(rect);
        } else {
            currentLineRects_.push_back({rect, direction, false, false});
        }
    }

    /// Appends the layout's rectangles to `out`, each line reaching up to the one above.
    void build(std::vector<TextSelectionRect>& out) {
        flush();
        for (std::size_t i = 1; i < lineStarts_.size(); ++i) {
            const double previousBottom = rects_[lineStarts_[i - 1]].rect.maxY();
            const double top = rects_[lineStarts_[i]].rect.minY();
            if (previousBottom < top) {
                const double gap = top - previousBottom;
                const std::size_t end =
                    i + 1 < lineStarts_.size() ? lineStarts_[i + 1] : rects_.size();
                for (std::size_t k = lineStarts_[i]; k < end; ++k) {
                    const Rect r = rects_[k].rect;
                    rects_[k].rect = {r.minX(), r.minY() - gap, r.width(), r.height() + gap};
                }
            }
        }
        out.insert(out.end(), rects_.begin(), rects_.end());
    }

private:
    // Neighbouring glyphs meet up to the rounding of their advances.
    static constexpr double kTouching = 0.01;

    void flush() {
        if (currentLine_ && !currentLineRects_.empty()) {
            lineStarts_.push_back(rects_.size());
            rects_.insert(rects_.end(), currentLineRects_.begin(), currentLineRects_.end());
            currentLineRects_.clear();
        }
        currentLine_.reset();
    }

    // Finished lines, flat; each line starts at its entry of `lineStarts_` and is never empty.
    std::vector<TextSelectionRect> rects_;
    std::vector<std::size_t> lineStarts_;
    std::optional<std::size_t> currentLine_;
    std::vector<TextSelectionRect> currentLineRects_;
};

// The characters a run's glyphs stand for: its slices run in drawing order, so the two outer
// slices hold the ends in either direction.
CharacterRange runCharacters(const TextRun& run) {
    const CharacterRange first = run.slice(0).characterRange();
    const CharacterRange last = run.slice(run.sliceCount() - 1).characterRange();
    return {std::min(first.lowerBound, last.lowerBound),
            std::max(first.upperBound, last.upperBound)};
}

// The share of one layout: the glyphs of the characters [lo, hi) on lines `firstLine` to
// `lastLine`. A selection is a stretch of characters, so in right-to-left text its glyphs are
// found by their characters, whatever their place in drawing order.
void addLayoutShare(Builder& builder, const TextLayout& layout, std::size_t lo, std::size_t hi,
                    std::size_t firstLine, std::size_t lastLine) {
    const platform::Point o = layout.origin();
    for (std::size_t n = firstLine; n <= lastLine && n < layout.lineCount(); ++n) {
        const TextLine& line = layout.line(n);
        const Rect lineRect = line.typographicBounds();
        const auto add = [&](const Rect& glyphs, LayoutDirection direction) {
            builder.add(Rect(glyphs.minX(), lineRect.minY(), glyphs.width(), lineRect.height())
                            .offsetBy(o.x, o.y),
                        n, direction);
        };
        for (std::size_t r = 0; r < line.runCount(); ++r) {
            const TextRun& run = line.run(r);
            if (run.sliceCount() == 0) {
                continue; // nothing drawn, nothing to highlight
            }
            const CharacterRange span = runCharacters(run);
            if (span.upperBound <= lo || span.lowerBound >= hi) {
                continue;
            }
            if (lo <= span.lowerBound && span.upperBound <= hi) {
                // Whole runs go in as one piece: a long selection costs a step per run.
                add(run.slicesBounds(), run.layoutDirection());
                continue;
            }
            for (std::size_t s = 0; s < run.sliceCount(); ++s) {
                const TextRunSlice& slice = run.slice(s);
                // Carets stand between glyphs, so a glyph is in or out by its first character
                // (every glyph of a cluster shares the cluster's range).
                const std::size_t first = slice.characterRange().lowerBound;
                if (lo <= first && first < hi) {
                    add(slice.typographicBounds(), run.layoutDirection());
                }
            }
        }
    }
}

// The rectangles of `range` in layout `l`, appended to `out` in the collection's space.
void appendLayoutRects(const TextLayoutCollection& c, const TextRange& range, std::size_t l,
                       Builder& builder, std::vector<TextSelectionRect>& out) {
    const TextLayout& layout = c.layout(l);
    if (!layout.placed()) {
        return; // highlighted once it is placed, where it then stands
    }
    const bool startsHere = range.start.indexPath.layout == l;
    const bool endsHere = range.end.indexPath.layout == l;
    builder.reset();
    if (!startsHere && !endsHere) {
        // A text covered whole goes in as its lines' stretches, which it keeps.
        const platform::Point o = layout.origin();
        for (const TextLineStretch& stretch : layout.lineStretches()) {
            builder.add(stretch.rect.offsetBy(o.x, o.y), stretch.line, stretch.direction);
        }
        builder.build(out);
        return;
    }
    const std::optional<CharacterRange> selected = selectedCharacterRange(c, range, l);
    if (!selected) {
        return;
    }
    // Where the range goes on past this text, its last line (an empty one too) is selected whole.
    const std::size_t hi =
        endsHere ? selected->upperBound : std::numeric_limits<std::size_t>::max();
    const std::size_t firstLine = startsHere ? range.start.indexPath.line : 0;
    const std::size_t lastLine = endsHere ? range.end.indexPath.line : layout.lineCount() - 1;
    addLayoutShare(builder, layout, selected->lowerBound, hi, std::min(firstLine, lastLine),
                   std::max(firstLine, lastLine));
    builder.build(out);
}

} // namespace

std::string TextSelectionRect::description() const {
    std::array<char, 160> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "((%.1f, %.1f, %.1f, %.1f), %s)", rect.minX(),
                  rect.minY(), rect.width(), rect.height(),
                  layoutDirection == LayoutDirection::leftToRight ? "LTR" : "RTL");
    return buffer.data();
}

std::optional<CharacterRange> selectedCharacterRange(const TextLayoutCollection& c,
                                                     const TextRange& range, std::size_t l) {
    if (range.start == range.end || l < range.start.indexPath.layout ||
        l > range.end.indexPath.layout || l >= c.layoutCount() || c.layout(l).lineCount() == 0) {
        return std::nullopt;
    }
    const bool startsHere = range.start.indexPath.layout == l;
    const bool endsHere = range.end.indexPath.layout == l;
    std::size_t lo = 0;
    std::size_t hi = c.layout(l).length();
    if (startsHere) {
        const auto index = characterIndex(c, range.start);
        if (!index) {
            return std::nullopt;
        }
        lo = *index;
    }
    if (endsHere) {
        const auto index = characterIndex(c, range.end);
        if (!index) {
            return std::nullopt;
        }
        hi = *index;
    }
    if (startsHere && endsHere && hi < lo) {
        // Both ends in one right-to-left stretch: the later one in drawing order comes first in
        // the text.
        std::swap(lo, hi);
    }
    if (lo >= hi) {
        return std::nullopt;
    }
    return CharacterRange{lo, hi};
}

std::vector<TextSelectionRect> buildSelectionRects(const TextLayoutCollection& c,
                                                   const TextRange& range) {
    std::vector<TextSelectionRect> result;
    if (range.start == range.end || !characterIndex(c, range.start) ||
        !characterIndex(c, range.end)) {
        return result;
    }
    Builder builder;
    for (std::size_t l = range.start.indexPath.layout;
         l <= range.end.indexPath.layout && l < c.layoutCount(); ++l) {
        appendLayoutRects(c, range, l, builder, result);
    }
    if (!result.empty()) {
        result.front().containsStart = true;
        result.back().containsEnd = true;
    }
    return result;
}

std::vector<TextSelectionRect> selectionRectsInLayout(const TextLayoutCollection& c,
                                                      const TextRange& range,
                                                      const platform::ui::Text::Layout& layout) {
    const auto index = c.index(layout);
    if (!index || *index < range.start.indexPath.layout || *index > range.end.indexPath.layout ||
        range.start == range.end || !characterIndex(c, range.start) ||
        !characterIndex(c, range.end)) {
        return {};
    }
    std::vector<TextSelectionRect> rects;
    Builder builder;
    appendLayoutRects(c, range, *index, builder, rects);
    const platform::Point o = c.layout(*index).origin();
    for (auto& r : rects) {
        r.rect = r.rect.offsetBy(-o.x, -o.y);
    }
    if (!rects.empty()) {
        rects.front().containsStart = true;
        rects.back().containsEnd = true;
    }
    return rects;
}

} // namespace vellum

std::size_t std::hash<vellum::TextSelectionRect>::operator()(
    const vellum::TextSelectionRect& r) const noexcept {
    const auto bits = [](double v) -> std::size_t {
        return v == 0 ? 0 : static_cast<std::size_t>(std::bit_cast<std::uint64_t>(v));
    };
    const platform::Rect s = r.rect.standardized();
    std::size_t h = 0;
    for (const double v : {s.minX(), s.minY(), s.width(), s.height()}) {
        h = h * 1000003u ^ bits(v);
    }
    h = h * 31u + static_cast<std::size_t>(r.layoutDirection);
    h = h * 31u + static_cast<std::size_t>(r.containsStart);
    return h * 31u + static_cast<std::size_t>(r.containsEnd);
}

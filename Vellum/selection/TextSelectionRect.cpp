#include "Vellum/selection/TextSelectionRect.hpp"

#include "Vellum/selection/TextHitTesting.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <optional>

namespace vellum {

namespace {

using Affinity = TextPosition::Affinity;
using platform::Rect;

// Collects the rectangles of one layout line by line, merging neighbours of one direction. One
// builder serves every layout of a walk in turn, so its buffers are allocated once.
class Builder {
public:
    Builder(double startX, double endX)
        : startX_(startX)
        , endX_(endX) {}

    /// Starts a layout; `start` and `end` are the range's ends when they lie in it.
    void reset(std::optional<IndexPath> start, std::optional<IndexPath> end) {
        start_ = start;
        end_ = end;
        rects_.clear();
        lineStarts_.clear();
        currentLine_.reset();
        currentLineRects_.clear();
    }

    void add(const Rect& rect, std::size_t line, LayoutDirection direction) {
        if (!currentLine_ || *currentLine_ != line) {
            flush();
            currentLine_ = line;
        }
        if (!currentLineRects_.empty() && currentLineRects_.back().layoutDirection == direction) {
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
    // The first rectangle whose span holds x, else `fallback`.
    TextSelectionRect& holding(double x, TextSelectionRect& fallback) {
        for (auto& r : currentLineRects_) {
            if (r.rect.minX() <= x && x <= r.rect.maxX()) {
                return r;
            }
        }
        return fallback;
    }

    void flush() {
        if (currentLine_ && !currentLineRects_.empty()) {
            if (start_ && start_->line == *currentLine_) {
                TextSelectionRect& r = holding(startX_, currentLineRects_.front());
                const Rect old = r.rect;
                const double x = std::max(startX_, old.minX());
                if (r.layoutDirection == LayoutDirection::leftToRight) {
                    r.rect = {x, old.minY(), std::max(0.0, old.maxX() - x), old.height()};
                } else {
                    r.rect = {old.minX(), old.minY(), std::max(0.0, x - old.minX()), old.height()};
                }
            }
            if (end_ && end_->line == *currentLine_) {
                TextSelectionRect& r = holding(endX_, currentLineRects_.back());
                const Rect old = r.rect;
                if (r.layoutDirection == LayoutDirection::leftToRight) {
                    const double x = std::max(endX_, old.minX());
                    r.rect = {old.minX(), old.minY(), std::max(0.0, x - old.minX()), old.height()};
                } else {
                    const double x = std::min(endX_, old.maxX());
                    r.rect = {x, old.minY(), std::max(0.0, old.maxX() - x), old.height()};
                }
            }
            lineStarts_.push_back(rects_.size());
            rects_.insert(rects_.end(), currentLineRects_.begin(), currentLineRects_.end());
            currentLineRects_.clear();
        }
        currentLine_.reset();
    }

    std::optional<IndexPath> start_;
    std::optional<IndexPath> end_;
    double startX_;
    double endX_;
    // Finished lines, flat; each line starts at its entry of `lineStarts_` and is never empty.
    std::vector<TextSelectionRect> rects_;
    std::vector<std::size_t> lineStarts_;
    std::optional<std::size_t> currentLine_;
    std::vector<TextSelectionRect> currentLineRects_;
};

std::optional<IndexPath> nextSlice(const TextLayoutCollection& c, const IndexPath& p) {
    const TextLayout& layout = c.layout(p.layout);
    const TextLine& line = layout.line(p.line);
    if (p.slice + 1 < line.run(p.run).sliceCount()) {
        return IndexPath{p.layout, p.line, p.run, p.slice + 1};
    }
    if (p.run + 1 < line.runCount()) {
        return IndexPath{p.layout, p.line, p.run + 1, 0};
    }
    if (p.line + 1 < layout.lineCount()) {
        return IndexPath{p.layout, p.line + 1, 0, 0};
    }
    if (p.layout + 1 < c.layoutCount()) {
        return IndexPath{p.layout + 1, 0, 0, 0};
    }
    return std::nullopt;
}

std::optional<IndexPath> previousSlice(const TextLayoutCollection& c, const IndexPath& p) {
    if (p.slice > 0) {
        return IndexPath{p.layout, p.line, p.run, p.slice - 1};
    }
    const auto lastOfRun = [&](std::size_t l, std::size_t n, std::size_t r) {
        const std::size_t count = c.layout(l).line(n).run(r).sliceCount();
        return count == 0 ? std::nullopt : std::optional(IndexPath{l, n, r, count - 1});
    };
    if (p.run > 0) {
        return lastOfRun(p.layout, p.line, p.run - 1);
    }
    if (p.line > 0) {
        const std::size_t runs = c.layout(p.layout).line(p.line - 1).runCount();
        return runs == 0 ? std::nullopt : lastOfRun(p.layout, p.line - 1, runs - 1);
    }
    if (p.layout > 0) {
        return lastSlicePath(c, p.layout - 1);
    }
    return std::nullopt;
}

} // namespace

std::string TextSelectionRect::description() const {
    std::array<char, 160> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "((%.1f, %.1f, %.1f, %.1f), %s)", rect.minX(),
                  rect.minY(), rect.width(), rect.height(),
                  layoutDirection == LayoutDirection::leftToRight ? "LTR" : "RTL");
    return buffer.data();
}

std::vector<TextSelectionRect> buildSelectionRects(const TextLayoutCollection& c,
                                                   const TextRange& range) {
    std::vector<TextSelectionRect> result;
    if (range.start == range.end || sliceAt(c, range.start.indexPath) == nullptr ||
        sliceAt(c, range.end.indexPath) == nullptr) {
        return result;
    }
    const double startX = caretRect(c, range.start).minX();
    const double endX = caretRect(c, range.end).minX();
    const std::optional<IndexPath> first = range.start.affinity == Affinity::upstream
                                               ? nextSlice(c, range.start.indexPath)
                                               : range.start.indexPath;
    const std::optional<IndexPath> last = range.end.affinity == Affinity::downstream
                                              ? previousSlice(c, range.end.indexPath)
                                              : range.end.indexPath;
    // Two spellings of one caret place (after a slice, before the next) give a walk whose first
    // slice lies after its last: nothing is selected.
    if (!first || !last || *last < *first) {
        return result;
    }
    // The slices from first to last in path order. A run the walk covers entirely goes to the
    // builder as one piece, the union of its slices: its glyphs would merge into one rectangle
    // anyway, and a long selection then costs a step per run rather than per glyph.
    Builder builder(startX, endX);
    std::optional<std::size_t> builderLayout;
    std::optional<IndexPath> p = first;
    while (p) {
        if (!builderLayout || *builderLayout != p->layout) {
            if (builderLayout) {
                builder.build(result);
            }
            builder.reset(
                range.start.indexPath.layout == p->layout ? std::optional(range.start.indexPath)
                                                          : std::nullopt,
                range.end.indexPath.layout == p->layout ? std::optional(range.end.indexPath)
                                                        : std::nullopt);
            builderLayout = p->layout;
        }
        const TextLayout& layout = c.layout(p->layout);
        // A text covered whole goes in as its lines' stretches, which it keeps.
        if (*p == IndexPath{p->layout, 0, 0, 0}) {
            const auto lastOfLayout = lastSlicePath(c, p->layout);
            if (lastOfLayout && (last->layout > p->layout || *last == *lastOfLayout)) {
                for (const TextLineStretch& stretch : layout.lineStretches()) {
                    builder.add(stretch.rect.offsetBy(layout.origin().x, layout.origin().y),
                                stretch.line, stretch.direction);
                }
                if (*lastOfLayout == *last) {
                    break;
                }
                p = nextSlice(c, *lastOfLayout);
                continue;
            }
        }
        const TextLine& line = layout.line(p->line);
        const TextRun& run = line.run(p->run);
        if (run.sliceCount() == 0) {
            // Nothing drawn, nothing to highlight.
            p = nextSlice(c, {p->layout, p->line, p->run, 0});
            continue;
        }
        const bool lastInRun =
            p->layout == last->layout && p->line == last->line && p->run == last->run;
        IndexPath at = *p;
        Rect piece;
        if (p->slice == 0 && (!lastInRun || last->slice + 1 == run.sliceCount())) {
            piece = run.slicesBounds();
            at.slice = run.sliceCount() - 1;
        } else {
            piece = run.slice(p->slice).typographicBounds();
        }
        const Rect lineRect = line.typographicBounds();
        builder.add(Rect(piece.minX(), lineRect.minY(), piece.width(), lineRect.height())
                        .offsetBy(layout.origin().x, layout.origin().y),
                    p->line, run.layoutDirection());
        if (at == *last) {
            break;
        }
        p = nextSlice(c, at);
    }
    if (builderLayout) {
        builder.build(result);
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
    if (!index) {
        return {};
    }
    const auto last = lastSlicePath(c, *index);
    if (!last) {
        return {};
    }
    const TextPosition layoutStart{{*index, 0, 0, 0}, Affinity::downstream};
    const TextPosition layoutEnd{*last, Affinity::upstream};
    if (!(layoutStart < range.end && range.start < layoutEnd)) {
        return {};
    }
    const TextRange clipped{std::max(layoutStart, range.start), std::min(range.end, layoutEnd)};
    auto rects = buildSelectionRects(c, clipped);
    const platform::Point o = c.layout(*index).origin();
    for (auto& r : rects) {
        r.rect = r.rect.offsetBy(-o.x, -o.y);
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

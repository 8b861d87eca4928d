#include "Vellum/selection/TextHitTesting.hpp"

#include "platform/foundation/AttributeScope.hpp"
#include "platform/foundation/PresentationIntent.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace vellum {

namespace {

using Affinity = TextPosition::Affinity;
using platform::Point;
using platform::Rect;

// 0 inside [lo, hi], else the gap to the nearer side.
double distance(double v, double lo, double hi) {
    if (v < lo) {
        return lo - v;
    }
    return v > hi ? v - hi : 0;
}

const TextRun* runAt(const TextLayoutCollection& c, const IndexPath& p) {
    if (p.layout >= c.layoutCount()) {
        return nullptr;
    }
    const TextLayout& layout = c.layout(p.layout);
    if (p.line >= layout.lineCount()) {
        return nullptr;
    }
    const TextLine& line = layout.line(p.line);
    return p.run < line.runCount() ? &line.run(p.run) : nullptr;
}

// The run, slice and side nearest to the local x on one line.
TextPosition positionOnLine(const TextLine& line, std::size_t layout, std::size_t lineIndex,
                            double x) {
    std::size_t best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t r = 0; r < line.runCount(); ++r) {
        const Rect b = line.run(r).typographicBounds();
        const double d = distance(x, b.minX(), b.maxX());
        if (d < bestDistance) {
            bestDistance = d;
            best = r;
        }
    }
    const TextRun& run = line.run(best);
    std::size_t bestSlice = 0;
    bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t s = 0; s < run.sliceCount(); ++s) {
        const Rect b = run.slice(s).typographicBounds();
        const double d = distance(x, b.minX(), b.maxX());
        if (d < bestDistance) {
            bestDistance = d;
            bestSlice = s;
        }
    }
    Affinity affinity = Affinity::downstream;
    if (run.sliceCount() > 0) {
        const Rect b = run.slice(bestSlice).typographicBounds();
        const bool ltr = run.layoutDirection() == LayoutDirection::leftToRight;
        const double leading = ltr ? b.minX() : b.maxX();
        const double trailing = ltr ? b.maxX() : b.minX();
        if (std::abs(x - trailing) < std::abs(x - leading)) {
            affinity = Affinity::upstream;
        }
    }
    return {{layout, lineIndex, best, bestSlice}, affinity};
}

std::optional<TextPosition> layoutEnd(const TextLayoutCollection& c, std::size_t layout) {
    if (const auto last = lastSlicePath(c, layout)) {
        return TextPosition{*last, Affinity::upstream};
    }
    return std::nullopt;
}

} // namespace

const TextRunSlice* sliceAt(const TextLayoutCollection& c, const IndexPath& p) {
    const TextRun* run = runAt(c, p);
    return run != nullptr && p.slice < run->sliceCount() ? &run->slice(p.slice) : nullptr;
}

std::optional<IndexPath> lastSlicePath(const TextLayoutCollection& c, std::size_t layout) {
    if (layout >= c.layoutCount()) {
        return std::nullopt;
    }
    const TextLayout& l = c.layout(layout);
    if (l.lineCount() == 0) {
        return std::nullopt;
    }
    const std::size_t line = l.lineCount() - 1;
    const TextLine& last = l.line(line);
    if (last.runCount() == 0) {
        return std::nullopt;
    }
    const std::size_t run = last.runCount() - 1;
    const std::size_t slices = last.run(run).sliceCount();
    if (slices == 0) {
        return std::nullopt;
    }
    return IndexPath{layout, line, run, slices - 1};
}

std::size_t characterCount(const TextLayoutCollection& c) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < c.layoutCount(); ++i) {
        count += c.layout(i).length();
    }
    return count;
}

namespace {

// A code block is shown without the line feed that closes its last line (it would draw as an
// empty line), but it is part of the block: a selection through the block's end copies it, so
// that the copy equals the export of the same part of the document. `appended` is the source of
// the text's end, just taken; a line feed right after a carriage return (the pieces before ending
// in one) already closes the block. The line feed takes the attributes of the source's last run.
std::optional<platform::AttributedSubstring>
closingLineFeed(const platform::AttributedSubstring& appended, bool afterCarriageReturn) {
    using Intent = platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;
    const std::string_view characters = appended.characters();
    if (appended.empty() || characters.ends_with("\r\n") ||
        (characters == "\n" && afterCarriageReturn)) {
        return std::nullopt;
    }
    const auto runs = appended.runs();
    const platform::AttributeContainer& attributes = runs.attributes(runs.size() - 1);
    const platform::PresentationIntent* intent = attributes.get<Intent>();
    if (intent == nullptr || intent->components().empty() ||
        intent->components().front().kind() != platform::PresentationIntent::Kind::codeBlock) {
        return std::nullopt;
    }
    return platform::AttributedString("\n", attributes).slice();
}

} // namespace

std::vector<platform::AttributedSubstring> selectedPieces(const TextLayoutCollection& c,
                                                          const TextRange& range) {
    std::vector<platform::AttributedSubstring> pieces;
    if (range.start == range.end) {
        return pieces;
    }
    const auto a = characterIndex(c, range.start);
    const auto b = characterIndex(c, range.end);
    if (!a || !b) {
        return pieces;
    }
    const std::size_t first = range.start.indexPath.layout;
    const std::size_t last = range.end.indexPath.layout;
    if (const std::size_t end = std::min(last + 1, c.layoutCount()); end > first) {
        pieces.reserve(end - first);
    }
    // Whether the pieces so far end in a carriage return.
    bool carriageReturn = false;
    for (std::size_t l = first; l <= last && l < c.layoutCount(); ++l) {
        const TextLayout& layout = c.layout(l);
        std::size_t from = l == first ? *a : 0;
        std::size_t to = l == last ? *b : layout.length();
        if (first == last && to < from) {
            // Both ends in one right-to-left stretch: the later one in drawing order comes first
            // in the text.
            std::swap(from, to);
        }
        if (from >= to) {
            continue;
        }
        if (auto source = layout.sourceText({from, to})) {
            const bool closes = to == layout.length();
            const std::optional<platform::AttributedSubstring> lineFeed =
                closes ? closingLineFeed(*source, carriageReturn) : std::nullopt;
            if (!source->empty()) {
                carriageReturn = source->characters().ends_with('\r');
            }
            pieces.push_back(std::move(*source));
            if (lineFeed) {
                pieces.push_back(*lineFeed);
                carriageReturn = false;
            }
        } else {
            const std::string characters = layout.substring({from, to});
            if (!characters.empty()) {
                carriageReturn = characters.ends_with('\r');
            }
            pieces.push_back(platform::AttributedString(characters).slice());
        }
    }
    return pieces;
}

platform::AttributedString attributedText(const TextLayoutCollection& c, const TextRange& range) {
    const std::vector<platform::AttributedSubstring> pieces = selectedPieces(c, range);
    std::size_t length = 0;
    for (const platform::AttributedSubstring& piece : pieces) {
        length += piece.characters().size();
    }
    platform::AttributedString result;
    result.reserve(length, pieces.size() * 4);
    for (const platform::AttributedSubstring& piece : pieces) {
        result.append(piece);
    }
    return result;
}

std::optional<platform::URL> linkURL(const TextLayoutCollection& c, Point point) {
    const std::vector<Rect>& frames = c.layoutFrames();
    for (std::size_t l = 0; l < frames.size(); ++l) {
        if (frames[l].isNull() || !frames[l].contains(point)) {
            continue;
        }
        const TextLayout& layout = c.layout(l);
        const Point o = layout.origin();
        const Point local{point.x - o.x, point.y - o.y};
        for (std::size_t n = 0; n < layout.lineCount(); ++n) {
            const TextLine& line = layout.line(n);
            for (std::size_t r = 0; r < line.runCount(); ++r) {
                if (line.run(r).typographicBounds().contains(local)) {
                    return line.run(r).url();
                }
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<TextPosition> closestPosition(const TextLayoutCollection& c, Point point) {
    if (c.layoutCount() == 0) {
        return std::nullopt;
    }
    // As text editors do, the height of the point counts before its side: a text is only as wide
    // as its longest line, so a point beside a short line lies far from its own text and may lie
    // nearer to one a few lines away that reaches further. First the text whose lines span the
    // point's height (the nearest at the side among several), else the nearest above or below.
    std::optional<std::size_t> found;
    double bestDx = std::numeric_limits<double>::infinity();
    double bestDy = std::numeric_limits<double>::infinity();
    const std::vector<Rect>& frames = c.layoutFrames();
    // Takes the texts `within` the frame of the best so far (all: none) that `better` prefers,
    // given the gaps to the side and above or below.
    const auto pick = [&](std::optional<Rect> within, auto better) {
        for (std::size_t l = 0; l < frames.size(); ++l) {
            const Rect& b = frames[l];
            if (b.isNull() ||
                (within && (b.minY() >= within->maxY() || b.maxY() <= within->minY()))) {
                continue; // no lines, no position yet, or not beside the best
            }
            const double dx = distance(point.x, b.minX(), b.maxX());
            const double dy = distance(point.y, b.minY(), b.maxY());
            if (better(dx, dy)) {
                bestDx = dx;
                bestDy = dy;
                found = l;
            }
        }
    };
    pick(std::nullopt,
         [&](double dx, double dy) { return dy < bestDy || (dy == bestDy && dx < bestDx); });
    if (!found) {
        return std::nullopt;
    }
    if (bestDy > 0) {
        // Between or beyond texts: a text beside the nearest one, at its height (a cell of the
        // same table row, shorter than its neighbour), is taken when it lies nearer at the side.
        pick(frames[*found],
             [&](double dx, double dy) { return dx < bestDx || (dx == bestDx && dy < bestDy); });
    }
    const std::size_t best = *found;
    const TextLayout& layout = c.layout(best);
    const Point local{point.x - layout.origin().x, point.y - layout.origin().y};
    std::size_t bestLine = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t n = 0; n < layout.lineCount(); ++n) {
        const Rect r = layout.line(n).typographicBounds();
        const double d = distance(local.y, r.minY(), r.maxY());
        if (d < bestDistance) {
            bestDistance = d;
            bestLine = n;
        }
    }
    return positionOnLine(layout.line(bestLine), best, bestLine, local.x);
}

Rect caretRect(const TextLayoutCollection& c, const TextPosition& position) {
    const IndexPath& p = position.indexPath;
    const TextRunSlice* slice = sliceAt(c, p);
    if (slice == nullptr) {
        return Rect::null();
    }
    const TextLayout& layout = c.layout(p.layout);
    if (!layout.placed()) {
        return Rect::null(); // not shown anywhere yet
    }
    const Point o = layout.origin();
    const Rect s = slice->typographicBounds().offsetBy(o.x, o.y);
    const Rect line = layout.line(p.line).typographicBounds().offsetBy(o.x, o.y);
    const bool ltr = runAt(c, p)->layoutDirection() == LayoutDirection::leftToRight;
    const bool atMinX = (position.affinity == Affinity::downstream) == ltr;
    return {atMinX ? s.minX() : s.maxX(), line.minY(), 1, line.height()};
}

TextPosition startPosition(const TextLayoutCollection& c) {
    return {{0, 0, 0, 0}, c.layoutCount() == 0 ? Affinity::upstream : Affinity::downstream};
}

TextPosition endPosition(const TextLayoutCollection& c) {
    if (c.layoutCount() == 0) {
        return startPosition(c);
    }
    if (const auto end = layoutEnd(c, c.layoutCount() - 1)) {
        return *end;
    }
    return startPosition(c);
}

namespace {

std::optional<TextPosition> verticalMove(const TextLayoutCollection& c, const TextPosition& from,
                                         const TextPosition& goal, bool up) {
    const TextRunSlice* goalSlice = sliceAt(c, goal.indexPath);
    if (goalSlice == nullptr || sliceAt(c, from.indexPath) == nullptr) {
        return std::nullopt;
    }
    const double x =
        goalSlice->typographicBounds().midX() + c.layout(goal.indexPath.layout).origin().x;
    std::size_t layout = from.indexPath.layout;
    std::size_t line = from.indexPath.line;
    if (up) {
        if (line > 0) {
            --line;
        } else {
            // An adjacent text without lines has no line to land on; it is passed over.
            do {
                if (layout == 0) {
                    return startPosition(c);
                }
                --layout;
            } while (c.layout(layout).lineCount() == 0);
            line = c.layout(layout).lineCount() - 1;
        }
    } else {
        if (line + 1 < c.layout(layout).lineCount()) {
            ++line;
        } else {
            do {
                if (layout + 1 >= c.layoutCount()) {
                    return endPosition(c);
                }
                ++layout;
            } while (c.layout(layout).lineCount() == 0);
            line = 0;
        }
    }
    const TextLayout& target = c.layout(layout);
    if (target.line(line).runCount() == 0) {
        return std::nullopt;
    }
    // Between two texts the goal's place is carried across by position, which a text not placed
    // yet does not have: the move waits for its placement (a row comes into view before the
    // caret reaches it, as the caret is kept in view).
    if (layout != goal.indexPath.layout &&
        (!target.placed() || !c.layout(goal.indexPath.layout).placed())) {
        return std::nullopt;
    }
    return positionOnLine(target.line(line), layout, line, x - target.origin().x);
}

} // namespace

std::optional<TextPosition> positionAbove(const TextLayoutCollection& c, const TextPosition& from,
                                          const TextPosition& goal) {
    return verticalMove(c, from, goal, true);
}

std::optional<TextPosition> positionBelow(const TextLayoutCollection& c, const TextPosition& from,
                                          const TextPosition& goal) {
    return verticalMove(c, from, goal, false);
}

std::optional<TextPosition> positionForCharacterIndex(const TextLayoutCollection& c, std::size_t l,
                                                      long index) {
    if (l >= c.layoutCount()) {
        return std::nullopt;
    }
    if (index < 1) {
        return TextPosition{{l, 0, 0, 0}, Affinity::downstream};
    }
    const TextLayout& layout = c.layout(l);
    const auto i = static_cast<std::size_t>(index);
    if (i > layout.length()) {
        if (const auto end = layoutEnd(c, l)) {
            return end;
        }
        return TextPosition{{l, 0, 0, 0}, Affinity::upstream};
    }
    for (std::size_t n = 0; n < layout.lineCount(); ++n) {
        const TextLine& line = layout.line(n);
        for (std::size_t r = 0; r < line.runCount(); ++r) {
            const TextRun& run = line.run(r);
            for (std::size_t s = 0; s < run.sliceCount(); ++s) {
                const CharacterRange range = run.slice(s).characterRange();
                if (range.lowerBound <= i && i < range.upperBound) {
                    return TextPosition{{l, n, r, s}, Affinity::downstream};
                }
                if (i == range.upperBound) {
                    return TextPosition{{l, n, r, s}, Affinity::upstream};
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<CharacterRange> characterRange(const TextLayoutCollection& c,
                                             const TextPosition& position) {
    if (const TextRunSlice* slice = sliceAt(c, position.indexPath)) {
        return slice->characterRange();
    }
    return std::nullopt;
}

std::optional<std::size_t> characterIndex(const TextLayoutCollection& c,
                                          const TextPosition& position) {
    const auto range = characterRange(c, position);
    if (!range) {
        return std::nullopt;
    }
    return position.affinity == Affinity::downstream ? range->lowerBound : range->upperBound;
}

std::optional<TextPosition> positionFromOffset(const TextLayoutCollection& c,
                                               const TextPosition& position, long offset) {
    const auto caret = characterIndex(c, position);
    if (!caret) {
        return std::nullopt;
    }
    long global = static_cast<long>(*caret) + offset;
    for (std::size_t l = 0; l < position.indexPath.layout; ++l) {
        global += static_cast<long>(c.layout(l).length());
    }
    if (global < 0 || global > static_cast<long>(characterCount(c))) {
        return std::nullopt;
    }
    for (std::size_t l = 0; l < c.layoutCount(); ++l) {
        const auto length = static_cast<long>(c.layout(l).length());
        if (global <= length) {
            return positionForCharacterIndex(c, l, global);
        }
        global -= length;
    }
    return endPosition(c);
}

std::optional<TextPosition> nextWordPosition(const TextLayoutCollection& c,
                                             const TextPosition& position) {
    const std::size_t l = position.indexPath.layout;
    const auto caret = characterIndex(c, position);
    if (l >= c.layoutCount() || !caret) {
        return std::nullopt;
    }
    const TextLayout& layout = c.layout(l);
    const std::size_t w = layout.nextWordBoundary(*caret, true);
    if (w >= layout.length()) {
        if (l + 1 < c.layoutCount()) {
            return TextPosition{{l + 1, 0, 0, 0}, Affinity::downstream};
        }
        return endPosition(c);
    }
    return positionForCharacterIndex(c, l, static_cast<long>(w));
}

std::optional<TextPosition> previousWordPosition(const TextLayoutCollection& c,
                                                 const TextPosition& position) {
    // Each step back into an earlier text moves at least one text back, so the walk ends.
    TextPosition current = position;
    while (true) {
        const std::size_t l = current.indexPath.layout;
        const auto caret = characterIndex(c, current);
        if (l >= c.layoutCount() || !caret) {
            return std::nullopt;
        }
        const std::size_t p = c.layout(l).nextWordBoundary(*caret, false);
        if (p != 0 || *caret != 0) {
            return positionForCharacterIndex(c, l, static_cast<long>(p));
        }
        if (l == 0) {
            return startPosition(c);
        }
        const auto previous =
            positionForCharacterIndex(c, l - 1, static_cast<long>(c.layout(l - 1).length()) - 1);
        if (!previous || previous->indexPath.layout != l - 1) {
            return std::nullopt;
        }
        current = *previous;
    }
}

std::optional<TextPosition> paragraphStartPosition(const TextLayoutCollection& c,
                                                   const TextPosition& position) {
    const std::size_t l = position.indexPath.layout;
    if (l >= c.layoutCount()) {
        return std::nullopt;
    }
    const TextPosition start{{l, 0, 0, 0}, Affinity::downstream};
    if (position == start && l >= 1) {
        return TextPosition{{l - 1, 0, 0, 0}, Affinity::downstream};
    }
    return start;
}

std::optional<TextPosition> paragraphEndPosition(const TextLayoutCollection& c,
                                                 const TextPosition& position) {
    const std::size_t l = position.indexPath.layout;
    const auto end = layoutEnd(c, l);
    if (!end) {
        return std::nullopt;
    }
    if (position != *end || l + 1 >= c.layoutCount()) {
        return end;
    }
    return layoutEnd(c, l + 1);
}

std::optional<TextRange> wordRange(const TextLayoutCollection& c, const TextPosition& position) {
    const std::size_t l = position.indexPath.layout;
    const auto caret = characterIndex(c, position);
    if (l >= c.layoutCount() || !caret || *caret >= c.layout(l).length()) {
        return std::nullopt;
    }
    // An inline box (a formula, a picture, an emoji) is a word of its own: not a stretch between
    // words, which would take the spaces either side of it along.
    constexpr std::string_view box = "\xEF\xBF\xBC";
    const CharacterRange r = c.layout(l).substring({*caret, *caret + 1}) == box
                                 ? CharacterRange{*caret, *caret + 1}
                                 : c.layout(l).wordRange(*caret);
    const auto start = positionForCharacterIndex(c, l, static_cast<long>(r.lowerBound));
    const auto end = positionForCharacterIndex(c, l, static_cast<long>(r.upperBound));
    if (!start || !end) {
        return std::nullopt;
    }
    return TextRange{*start, *end};
}

std::optional<TextRange> layoutRange(const TextLayoutCollection& c, const TextPosition& position) {
    const std::size_t l = position.indexPath.layout;
    const auto end = layoutEnd(c, l);
    if (!end) {
        return std::nullopt;
    }
    return TextRange{{{l, 0, 0, 0}, Affinity::downstream}, *end};
}

namespace {

// The index in `c` of the text that was text `l` of `previous`: the same text by its source,
// counting texts of one source in order; nothing when it is gone or has no source.
std::optional<std::size_t> translatedLayout(const TextLayoutCollection& c,
                                            const TextLayoutCollection& previous, std::size_t l) {
    if (l >= previous.layoutCount()) {
        return std::nullopt;
    }
    const void* identity = previous.layout(l).sourceIdentity();
    if (identity == nullptr) {
        return std::nullopt;
    }
    std::size_t occurrence = 0;
    for (std::size_t i = 0; i < l; ++i) {
        occurrence += previous.layout(i).sourceIdentity() == identity ? 1 : 0;
    }
    for (std::size_t i = 0; i < c.layoutCount(); ++i) {
        if (c.layout(i).sourceIdentity() == identity && occurrence-- == 0) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<TextPosition> translatedPosition(const TextLayoutCollection& c, const TextPosition& p,
                                               const TextLayoutCollection& previous) {
    // With as many texts as before, text n is still text n. Otherwise texts were laid out for the
    // first time (rows of a lazy document) or went away: the position follows its own text to
    // where it now stands.
    const auto index = characterIndex(previous, p);
    if (!index) {
        return std::nullopt;
    }
    const std::optional<std::size_t> layout =
        c.layoutCount() == previous.layoutCount()
            ? std::optional(p.indexPath.layout)
            : translatedLayout(c, previous, p.indexPath.layout);
    if (!layout) {
        return std::nullopt;
    }
    return positionForCharacterIndex(c, *layout, static_cast<long>(*index));
}

std::optional<TextRange> translatedRange(const TextLayoutCollection& c, const TextRange& range,
                                         const TextLayoutCollection& previous) {
    // Each end keeps its place in its own text, so that texts laid out between the ends join the
    // range.
    const auto start = translatedPosition(c, range.start, previous);
    const auto end = translatedPosition(c, range.end, previous);
    if (!start || !end) {
        return std::nullopt;
    }
    return TextRange{*start, *end};
}

} // namespace vellum

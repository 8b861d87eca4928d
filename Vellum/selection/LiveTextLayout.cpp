#include "Vellum/selection/LiveTextLayout.hpp"

#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

namespace vellum {

LiveTextRun::LiveTextRun(const platform::ui::Text::Layout* layout,
                         const platform::TextLayout::Run* base, std::size_t offset)
    : layout_(layout)
    , base_(base)
    , offset_(offset) {}

std::optional<platform::URL> LiveTextRun::url() const {
    if (const auto* link = layout_->attribute<LinkAttribute>(*base_)) {
        return link->url;
    }
    return std::nullopt;
}

const std::vector<LiveTextRunSlice>& LiveTextRun::slices() const {
    if (!slices_) {
        std::vector<LiveTextRunSlice> slices;
        slices.reserve(base_->slices.size());
        for (const auto& slice : base_->slices) {
            slices.emplace_back(&slice, CharacterRange{slice.characterRange.lowerBound + offset_,
                                                       slice.characterRange.upperBound + offset_});
        }
        slices_ = std::move(slices);
    }
    return *slices_;
}

platform::Rect LiveTextRun::slicesBounds() const {
    if (!slicesBounds_) {
        slicesBounds_ = TextRun::slicesBounds();
    }
    return *slicesBounds_;
}

LiveTextLine::LiveTextLine(const platform::ui::Text::Layout* layout,
                           const platform::TextLayout::Line* base, std::size_t offset)
    : layout_(layout)
    , base_(base)
    , offset_(offset) {}

const LiveTextLine::Runs& LiveTextLine::runs() const {
    if (!runs_) {
        if (base_->runs.empty()) {
            // A line without glyphs still takes a caret: one run, one slice, the line's own box,
            // standing for the one character (the paragraph's end) where the line begins.
            const platform::Rect box = base_->typographicBounds.rect();
            const std::size_t start = base_->characterRange.lowerBound + offset_;
            runs_.emplace(EmptyRun::forLine(box, EmptyRunSlice(box, {start, start + 1})));
        } else {
            std::vector<LiveTextRun> runs;
            runs.reserve(base_->runs.size());
            for (const auto& run : base_->runs) {
                runs.emplace_back(layout_, &run, offset_);
            }
            runs_.emplace(std::move(runs));
        }
    }
    return *runs_;
}

std::size_t LiveTextLine::runCount() const {
    const Runs& r = runs();
    if (const auto* live = std::get_if<std::vector<LiveTextRun>>(&r)) {
        return live->size();
    }
    return 1;
}

const TextRun& LiveTextLine::run(std::size_t index) const {
    const Runs& r = runs();
    if (const auto* live = std::get_if<std::vector<LiveTextRun>>(&r)) {
        return (*live)[index];
    }
    return std::get<EmptyRun>(r);
}

platform::Rect LiveTextLayout::bounds() const {
    if (!bounds_) {
        bounds_ = base_.base().bounds();
    }
    return *bounds_;
}

std::size_t LiveTextLayout::length() const {
    // The laid-out text counts its UTF-16 units anew on every call, and a copy asks every text
    // it covers for its length.
    if (!length_) {
        length_ = base_.base().length();
    }
    return *length_;
}

const std::vector<TextLineStretch>& LiveTextLayout::lineStretches() const {
    if (!lineStretches_) {
        lineStretches_ = computeLineStretches(*this);
    }
    return *lineStretches_;
}

const std::vector<LiveTextLine>& LiveTextLayout::lines() const {
    if (!lines_) {
        // The laid-out text is one string for all its paragraphs, and the glyphs' ranges already
        // count from its start: every line's offset is 0.
        std::vector<LiveTextLine> lines;
        lines.reserve(base_.lines().size());
        for (const auto& line : base_.lines()) {
            lines.emplace_back(&base_, &line, 0);
        }
        lines_ = std::move(lines);
    }
    return *lines_;
}

namespace {

// Only texts a fragment built take part; the mark sits on every run of such a text.
bool takesPart(const platform::ui::Text::Layout& layout) {
    const auto lines = layout.lines();
    return !lines.empty() && !lines.front().runs.empty() &&
           layout.attribute<TextFragmentAttribute>(lines.front().runs.front()) != nullptr;
}

} // namespace

const std::vector<std::unique_ptr<const LiveTextLayout>>&
LiveTextLayoutCollection::layouts() const {
    if (!layouts_) {
        std::vector<std::unique_ptr<const LiveTextLayout>> layouts;
        for (const auto& anchored : *base_) {
            const auto& layout = anchored.layout;
            if (!takesPart(layout)) {
                continue;
            }
            // A text not placed yet keeps its place among the others (its characters are the
            // document's), without a position.
            layouts.push_back(std::make_unique<const LiveTextLayout>(
                layout, anchored.placed ? geometry_[anchored.origin] : platform::Point(),
                anchored.placed));
        }
        layouts_ = std::move(layouts);
    }
    return *layouts_;
}

bool LiveTextLayoutCollection::isEqual(const TextLayoutCollection& other) const {
    const auto* live = dynamic_cast<const LiveTextLayoutCollection*>(&other);
    return live != nullptr && (live->base_ == base_ || *live->base_ == *base_);
}

bool LiveTextLayoutCollection::layoutsDiffer(const TextLayoutCollection& other) const {
    const auto* live = dynamic_cast<const LiveTextLayoutCollection*>(&other);
    if (live == nullptr || live->base_->size() != base_->size()) {
        return true;
    }
    if (live->base_ == base_) {
        return false;
    }
    for (std::size_t i = 0; i < base_->size(); ++i) {
        if (!((*live->base_)[i].layout == (*base_)[i].layout)) {
            return true;
        }
    }
    return false;
}

struct LiveTextLayoutCollection::SharedIndex::Index {
    // The places of the texts that take part, by their laid-out text; the first of equal ones
    // counts.
    std::unordered_map<const platform::TextLayout*, std::size_t> places;
    // The anchored layouts indexed, all of them, and how many of them take part.
    std::shared_ptr<const Layouts> over;
    std::size_t counted = 0;
};

namespace {

// Drops from `index` the texts it indexed from the `cut`-th on (of those it was made over).
void dropFrom(LiveTextLayoutCollection::SharedIndex::Index& index, std::size_t cut) {
    const LiveTextLayoutCollection::Layouts& over = *index.over;
    std::size_t dropped = 0;
    for (std::size_t i = cut; i < over.size(); ++i) {
        dropped += takesPart(over[i].layout) ? 1 : 0;
    }
    const std::size_t kept = index.counted - dropped;
    for (std::size_t i = cut; i < over.size(); ++i) {
        const auto& text = over[i].layout;
        // A text met before the cut keeps its first place.
        const auto found = index.places.find(&text.base());
        if (found != index.places.end() && found->second >= kept) {
            index.places.erase(found);
        }
    }
    index.counted = kept;
}

} // namespace

std::optional<std::size_t>
LiveTextLayoutCollection::index(const platform::ui::Text::Layout& layout) const {
    if (!index_) {
        // From the anchored layouts themselves: every highlight of rows just placed asks a new
        // collection, which need not resolve where every text stands to answer. The shared
        // index serves where its texts are the first of these, the same ones in the same order
        // (comparing them touches no text; indexing does): the texts after them are added, and
        // the collections it served before still find only their own (their first places).
        // Where these part from the texts indexed at some text (the last row placed before was
        // measured and is now placed, its text laid out again), the index drops its texts from
        // there on, if no other collection answers from it, and goes on with these.
        std::shared_ptr<SharedIndex::Index> index = shared_ ? shared_->latest_ : nullptr;
        const auto sameLayout = [](const auto& a, const auto& b) { return a.layout == b.layout; };
        std::size_t from = 0;
        if (index != nullptr) {
            const Layouts& over = *index->over;
            const std::size_t common = std::min(over.size(), base_->size());
            const auto cut = static_cast<std::size_t>(
                std::mismatch(over.begin(), over.begin() + long(common), base_->begin(), sameLayout)
                    .first -
                over.begin());
            if (index->over == base_ || cut == over.size()) {
                from = cut;
            } else if (index.use_count() == 2) { // the shared index's and this one
                dropFrom(*index, cut);
                from = cut;
            } else {
                index = nullptr;
            }
        }
        if (index == nullptr) {
            index = std::make_shared<SharedIndex::Index>();
            index->over = std::make_shared<const Layouts>();
        }
        if (index->over != base_) {
            index->places.reserve(base_->size());
            for (std::size_t i = from; i < base_->size(); ++i) {
                const auto& text = (*base_)[i].layout;
                if (takesPart(text)) {
                    index->places.emplace(&text.base(), index->counted++);
                }
            }
            index->over = base_;
        }
        counted_ = index->counted;
        if (shared_) {
            shared_->latest_ = index;
        }
        index_ = std::move(index);
    }
    const auto found = index_->places.find(&layout.base());
    if (found == index_->places.end() || found->second >= counted_) {
        return std::nullopt;
    }
    return found->second;
}

const void* LiveTextLayout::sourceIdentity() const {
    const auto lines = base_.lines();
    if (!lines.empty() && !lines.front().runs.empty()) {
        const auto* mark = base_.attribute<TextFragmentAttribute>(lines.front().runs.front());
        if (mark != nullptr && mark->source != nullptr) {
            return mark->source.get();
        }
    }
    return &base_.base();
}

namespace {

using platform::unicode::utf16Length;

} // namespace

const std::optional<LiveTextLayout::SourceMap>& LiveTextLayout::sourceMap() const {
    if (sourceMap_) {
        return *sourceMap_;
    }
    sourceMap_.emplace();
    const auto lines = base_.lines();
    if (lines.empty() || lines.front().runs.empty()) {
        return *sourceMap_;
    }
    const auto* mark = base_.attribute<TextFragmentAttribute>(lines.front().runs.front());
    if (mark == nullptr || mark->source == nullptr) {
        return *sourceMap_;
    }
    // Where the text shows a box: an attachment given a size.
    std::vector<std::size_t> boxes;
    for (const auto& line : lines) {
        for (const auto& run : line.runs) {
            if (run.isInlineBox) {
                boxes.push_back(run.characterRange.lowerBound);
            }
        }
    }
    std::sort(boxes.begin(), boxes.end());
    const platform::AttributedString& source = *mark->source;
    const std::string_view characters = source.characters();
    std::vector<SourcePiece> pieces;
    std::size_t text = 0;
    std::size_t from = 0;
    for (const platform::AttributedString::Run& run : source.runs()) {
        const std::size_t units = utf16Length(
            characters.substr(run.range.lowerBound.offset,
                              run.range.upperBound.offset - run.range.lowerBound.offset));
        const bool box = attachment(run.attributes) != nullptr &&
                         std::binary_search(boxes.begin(), boxes.end(), text);
        const std::size_t shown = box ? 1 : units;
        const std::size_t bytes = run.range.upperBound.offset - run.range.lowerBound.offset;
        if (!box && !pieces.empty() && pieces.back().textLength == pieces.back().sourceLength &&
            pieces.back().text + pieces.back().textLength == text) {
            pieces.back().textLength += shown;
            pieces.back().sourceLength += units;
            pieces.back().sourceBytes += bytes;
        } else {
            pieces.push_back({text, shown, from, units, run.range.lowerBound.offset, bytes});
        }
        text += shown;
        from += units;
    }
    // A text that does not show its source run for run cannot be mapped back: the characters
    // alone are the honest copy.
    if (text == length()) {
        sourceMap_->emplace(SourceMap{mark->source, std::move(pieces)});
    }
    return *sourceMap_;
}

std::optional<platform::AttributedSubstring>
LiveTextLayout::sourceText(CharacterRange range) const {
    const std::optional<SourceMap>& map = sourceMap();
    if (!map || range.lowerBound > range.upperBound) {
        return std::nullopt;
    }
    // Offsets of the text stand between glyphs, so never inside a box.
    const platform::AttributedString& source = *map->source;
    const auto sourceIndex = [&pieces = map->pieces,
                              &source](std::size_t offset) -> platform::AttributedString::Index {
        const auto after = std::upper_bound(
            pieces.begin(), pieces.end(), offset,
            [](std::size_t value, const SourcePiece& piece) { return value < piece.text; });
        if (after == pieces.begin()) {
            return {0};
        }
        const SourcePiece& piece = *std::prev(after);
        const std::size_t into = std::min(offset - piece.text, piece.textLength);
        // A piece's ends and the inside of a piece of one byte per unit are found at once; only
        // the inside of other text is counted out.
        if (into == piece.textLength) {
            return {piece.sourceByte + piece.sourceBytes};
        }
        if (piece.sourceBytes == piece.sourceLength) {
            return {piece.sourceByte + into};
        }
        return source.index(piece.source + into);
    };
    return source[{sourceIndex(range.lowerBound), sourceIndex(range.upperBound)}];
}

} // namespace vellum

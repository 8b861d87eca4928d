#include "Vellum/selection/LiveTextLayout.hpp"

#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/inline/TextFragmentAttribute.hpp"

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

const std::vector<std::unique_ptr<const LiveTextLayout>>&
LiveTextLayoutCollection::layouts() const {
    if (!layouts_) {
        std::vector<std::unique_ptr<const LiveTextLayout>> layouts;
        for (const auto& anchored : base_) {
            const auto& layout = anchored.layout;
            const auto lines = layout.lines();
            // Only texts a fragment built take part; the mark sits on every run of such a text.
            if (lines.empty() || lines.front().runs.empty() ||
                layout.attribute<TextFragmentAttribute>(lines.front().runs.front()) == nullptr) {
                continue;
            }
            layouts.push_back(
                std::make_unique<const LiveTextLayout>(layout, geometry_[anchored.origin]));
        }
        layouts_ = std::move(layouts);
    }
    return *layouts_;
}

bool LiveTextLayoutCollection::isEqual(const TextLayoutCollection& other) const {
    const auto* live = dynamic_cast<const LiveTextLayoutCollection*>(&other);
    return live != nullptr && live->base_ == base_;
}

bool LiveTextLayoutCollection::layoutsDiffer(const TextLayoutCollection& other) const {
    const auto* live = dynamic_cast<const LiveTextLayoutCollection*>(&other);
    if (live == nullptr || live->base_.size() != base_.size()) {
        return true;
    }
    for (std::size_t i = 0; i < base_.size(); ++i) {
        if (!(live->base_[i].layout == base_[i].layout)) {
            return true;
        }
    }
    return false;
}

std::optional<std::size_t>
LiveTextLayoutCollection::index(const platform::ui::Text::Layout& layout) const {
    const auto& all = layouts();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i]->base() == layout) {
            return i;
        }
    }
    return std::nullopt;
}

const platform::AttributedString* LiveTextLayout::source() const {
    const auto lines = base_.lines();
    if (lines.empty() || lines.front().runs.empty()) {
        return nullptr;
    }
    const auto* mark = base_.attribute<TextFragmentAttribute>(lines.front().runs.front());
    // A text that shows an attachment's placeholder as characters is longer than its source; its
    // offsets no longer match, and the characters alone are the honest copy.
    if (mark == nullptr || mark->source == nullptr || mark->source->utf16Length() != length()) {
        return nullptr;
    }
    return mark->source.get();
}

} // namespace vellum

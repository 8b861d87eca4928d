#include "platform/ui/Text.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace platform::ui {

Text::Text(std::string text)
    : runs_(std::make_shared<std::vector<Run>>()) {
    runs_->push_back(Run{std::move(text), {}, std::nullopt, false, false, {}});
}

Text::Text(std::vector<Run> runs)
    : runs_(runs.empty() ? nullptr : std::make_shared<std::vector<Run>>(std::move(runs))) {}

const platform::TextAttributes& Text::SharedAttributes::none() {
    static const platform::TextAttributes defaults;
    return defaults;
}

const std::vector<Text::Run>& Text::noRuns() {
    static const std::vector<Run> none;
    return none;
}

std::vector<Text::Run>& Text::mutableRuns() {
    if (!runs_) {
        runs_ = std::make_shared<std::vector<Run>>();
    } else if (runs_.use_count() > 1) {
        runs_ = std::make_shared<std::vector<Run>>(*runs_);
    }
    return *runs_;
}

Text::Text(const char* text)
    : Text(std::string(text != nullptr ? text : "")) {}

Text Text::box(Size size) {
    Run r;
    r.text = "\xEF\xBF\xBC";
    r.box =
        platform::InlineBox{{soundLength(size.width, false), soundLength(size.height, false)}, 0};
    return Text(std::vector<Run>{std::move(r)});
}

Text Text::font(std::optional<Font> font) const& {
    return Text(*this).font(std::move(font));
}
Text Text::font(std::optional<Font> font) && {
    return std::move(*this).modifyAttributes([&](platform::TextAttributes& a) { a.font = font; });
}
Text Text::bold(bool active) const& {
    return Text(*this).bold(active);
}
Text Text::bold(bool active) && {
    return std::move(*this).modifyRuns([&](Run& r) { r.bold = active; });
}
Text Text::italic(bool active) const& {
    return Text(*this).italic(active);
}
Text Text::italic(bool active) && {
    return std::move(*this).modifyRuns([&](Run& r) { r.italic = active; });
}
Text Text::foregroundColor(std::optional<Color> color) const& {
    return Text(*this).foregroundColor(std::move(color));
}
Text Text::foregroundColor(std::optional<Color> color) && {
    return std::move(*this).modifyAttributes(
        [&](platform::TextAttributes& a) { a.foregroundColor = color; });
}
Text Text::backgroundColor(std::optional<Color> color) const& {
    return Text(*this).backgroundColor(std::move(color));
}
Text Text::backgroundColor(std::optional<Color> color) && {
    return std::move(*this).modifyAttributes(
        [&](platform::TextAttributes& a) { a.backgroundColor = color; });
}
Text Text::underline(bool active, std::optional<Color> color) const& {
    return Text(*this).underline(active, std::move(color));
}
Text Text::underline(bool active, std::optional<Color> color) && {
    return std::move(*this).modifyAttributes([&](platform::TextAttributes& a) {
        a.underline = active
                          ? std::optional<platform::TextLineStyle>(platform::TextLineStyle{color})
                          : std::nullopt;
    });
}
Text Text::strikethrough(bool active, std::optional<Color> color) const& {
    return Text(*this).strikethrough(active, std::move(color));
}
Text Text::strikethrough(bool active, std::optional<Color> color) && {
    return std::move(*this).modifyAttributes([&](platform::TextAttributes& a) {
        a.strikethrough =
            active ? std::optional<platform::TextLineStyle>(platform::TextLineStyle{color})
                   : std::nullopt;
    });
}
Text Text::baselineOffset(double offset) const& {
    return Text(*this).baselineOffset(offset);
}
Text Text::baselineOffset(double offset) && {
    const double o = soundCoordinate(offset);
    return std::move(*this)
        .modifyAttributes([&](platform::TextAttributes& a) { a.baselineOffset = o; })
        .modifyRuns([&](Run& r) {
            if (r.box) {
                r.box->baselineOffset = o;
            }
        });
}
Text Text::kerning(double kerning) const& {
    return Text(*this).kerning(kerning);
}
Text Text::kerning(double kerning) && {
    const double k = soundCoordinate(kerning);
    return std::move(*this).modifyAttributes([&](platform::TextAttributes& a) { a.kerning = k; });
}
Text Text::tracking(double tracking) const& {
    return Text(*this).tracking(tracking);
}
Text Text::tracking(double tracking) && {
    const double t = soundCoordinate(tracking);
    return std::move(*this).modifyAttributes([&](platform::TextAttributes& a) { a.tracking = t; });
}
Text Text::withCustom(ViewID value) const& {
    return Text(*this).withCustom(std::move(value));
}
Text Text::withCustom(ViewID value) && {
    // Runs that shared a list share the new one: runs mostly carry one of a few lists (a line
    // of formulas alternates between each box's own and the text's), so the lists of the last
    // few are remembered, and the text's is made once for all its runs rather than once after
    // every box.
    struct Made {
        std::shared_ptr<const ViewID[]> before;
        CustomAttributes after;
    };
    // Most recently used first.
    std::array<Made, 4> recent;
    std::size_t known = 0;
    return std::move(*this).modifyRuns([&](Run& r) {
        for (std::size_t i = 0; i < known; ++i) {
            if (recent[i].before == r.custom.values_) {
                std::rotate(recent.begin(), recent.begin() + long(i), recent.begin() + long(i) + 1);
                r.custom = recent[0].after;
                return;
            }
        }
        std::size_t kept = 0;
        for (const ViewID& a : r.custom) {
            kept += a.valueType() != value.valueType() ? 1 : 0;
        }
        auto values = std::make_shared<ViewID[]>(kept + 1);
        std::size_t n = 0;
        for (const ViewID& a : r.custom) {
            if (a.valueType() != value.valueType()) {
                values[n++] = a;
            }
        }
        values[n] = value;
        known = std::min(known + 1, recent.size());
        std::rotate(recent.begin(), recent.begin() + long(known) - 1, recent.begin() + long(known));
        Made& made = recent[0];
        made.before = r.custom.values_;
        made.after.values_ = std::move(values);
        made.after.size_ = kept + 1;
        r.custom = made.after;
    });
}

Text& Text::operator+=(const Text& b) {
    if (!runs_) {
        runs_ = b.runs_;
        return *this;
    }
    if (&b == this) {
        const Text copy = b; // the runs are read from a copy, not while they grow
        return *this += copy;
    }
    if (b.runs_) {
        std::vector<Run>& runs = mutableRuns();
        runs.insert(runs.end(), b.runs_->begin(), b.runs_->end());
    }
    return *this;
}

std::string Text::string() const {
    std::string s;
    for (const Run& r : runs()) {
        s += r.text;
    }
    return s;
}

std::span<const platform::TextLayout::Line> Text::Layout::lines() const {
    return layout_ ? layout_->lines() : std::span<const platform::TextLayout::Line>();
}

const platform::TextLayout& Text::Layout::base() const {
    static const platform::TextLayout empty;
    return layout_ ? *layout_ : empty;
}

Size Text::Layout::size() const {
    return layout_ ? layout_->size() : Size{};
}

const Text::Run* Text::Layout::sourceRun(const platform::TextLayout::Run& run) const {
    if (!runs_ || run.sourceRun >= runs_->size()) {
        return nullptr;
    }
    return &(*runs_)[run.sourceRun];
}

namespace detail {
namespace {

class TextNode final : public LeafNode {
public:
    std::optional<CGFloat> guideValue(const AlignmentID& g, Size size,
                                      ProposedViewSize p) override {
        const bool first = &g == &alignment_ids::firstTextBaseline;
        const bool last = &g == &alignment_ids::lastTextBaseline;
        if ((!first && !last) || empty_) {
            return std::nullopt;
        }
        (void)size;
        const Entry& e = entryFor(p.width);
        if (!e.hasLines) {
            return std::nullopt;
        }
        return first ? e.firstBaseline : e.lastBaseline;
    }

    void collectPrefetch(ProposedViewSize p, std::vector<std::function<void()>>& jobs) override {
        if (empty_ || hasEntry(p.width)) {
            return;
        }
        prefetchWidth_ = p.width;
        prefetched_.reset();
        jobs.push_back([this, width = layoutWidth(p.width), text = text_] {
            const platform::ParagraphStyle style = styleAt(width);
            try {
                prefetched_ = std::make_shared<const platform::TextLayout>(
                    styledText(text, style_.font, legibilityBold_), style);
            } catch (...) {
                // Laid out again (and the failure reported) on the main thread when asked.
                prefetched_.reset();
            }
        });
    }

    /// Only the keys the text is styled with.
    bool dependsOnEnvironmentChange(const EnvironmentValues& now) const override {
        static const void* const keys[] = {&environmentKeyTag<FontKey>,
                                           &environmentKeyTag<LegibilityWeightKey>,
                                           &environmentKeyTag<MultilineTextAlignmentKey>,
                                           &environmentKeyTag<LineSpacingKey>,
                                           &environmentKeyTag<LineLimitKey>,
                                           &environmentKeyTag<ForegroundStyleKey>,
                                           &environmentKeyTag<LayoutDirectionKey>};
        return std::any_of(std::begin(keys), std::end(keys),
                           [&](const void* key) { return !env.sameValue(key, now); });
    }

    void draw(DisplayList& list) override {
        if (empty_) {
            return;
        }
        const Entry& e = placedEntry();
        list.append(DisplayList::DrawText{e.layout, {-e.minX, 0}, env.get<ForegroundStyleKey>()});
    }

    std::optional<std::size_t> lineAt(CGFloat y) override {
        if (empty_ || !everPlaced) {
            return std::nullopt;
        }
        // Lines stand one below another: the first reaching below `y` is found by halving.
        const auto lines = placedEntry().layout->lines();
        const auto line = std::partition_point(lines.begin(), lines.end(), [y](const auto& l) {
            return !(l.typographicBounds.rect().maxY() > y);
        });
        if (line == lines.end()) {
            return std::nullopt;
        }
        return line->characterRange.lowerBound;
    }

    std::optional<CGFloat> lineTop(std::size_t offset) override {
        if (empty_ || !everPlaced) {
            return std::nullopt;
        }
        const platform::TextLayout& layout = *placedEntry().layout;
        const std::optional<std::size_t> line = layout.lineIndex(offset);
        if (!line) {
            return std::nullopt;
        }
        return layout.lines()[*line].typographicBounds.rect().minY();
    }

protected:
    void rebuild() override {
        const Text& text = this->text();
        std::optional<Font> environmentFont = env.font();
        const Font base = environmentFont ? std::move(*environmentFont) : Font::body();
        const bool legibilityBold = env.get<LegibilityWeightKey>() == LegibilityWeight::bold;
        const bool empty =
            std::all_of(text.runs().begin(), text.runs().end(),
                        [](const Text::Run& run) { return !run.box && run.text.empty(); });
        platform::ParagraphStyle style;
        style.font = base;
        switch (env.get<MultilineTextAlignmentKey>()) {
        case TextAlignment::leading:
            style.alignment = platform::TextAlignment::leading;
            break;
        case TextAlignment::center:
            style.alignment = platform::TextAlignment::center;
            break;
        case TextAlignment::trailing:
            style.alignment = platform::TextAlignment::trailing;
            break;
        }
        if (env.layoutDirection() == LayoutDirection::rightToLeft) {
            style.baseDirection = platform::WritingDirection::rightToLeft;
        }
        style.lineSpacing = soundLength(env.get<LineSpacingKey>(), false);
        if (const auto limit = env.get<LineLimitKey>(); limit && *limit > 0) {
            style.lineLimit = limit;
        }
        if (!(text == text_) || legibilityBold != legibilityBold_ || !(style == style_)) {
            text_ = text;
            legibilityBold_ = legibilityBold;
            style_ = std::move(style);
            entries_.clear();
            prefetched_.reset();
            placed_ = 0;
            previouslyPlaced_ = 0;
        }
        empty_ = empty;
    }

    Size computeSize(ProposedViewSize p) override {
        if (empty_) {
            return {};
        }
        const Entry& e = entryFor(p.width);
        return {e.widest, e.height};
    }

    /// Placed: the layouts no longer needed go, their measures stay. The layout placed before is
    /// kept too, so that going back to the previous width (a window resized to and fro, a
    /// proposal tried and dropped) lays nothing out again.
    void placeChildren(ProposedViewSize p) override {
        if (publishedUnplaced_) {
            // What was published before the first placement held no position and perhaps
            // another layout: now both are known.
            publishedUnplaced_ = false;
            invalidatePreferences();
        }
        if (empty_) {
            return;
        }
        Entry* e = findEntry(layoutWidth(p.width));
        if (e == nullptr) {
            return; // sized in a pass since; laid out when drawn
        }
        e->lastUse = ++uses_;
        if (e->id != placed_) {
            previouslyPlaced_ = placed_;
            placed_ = e->id;
        }
        for (Entry& other : entries_) {
            if (other.id != placed_ && other.id != previouslyPlaced_) {
                other.layout.reset();
            }
        }
    }

    void computePreferences(PreferenceValues& out) override {
        const Entry* published = nullptr;
        if (everPlaced) {
            published = &placedEntry();
        } else {
            // Before its first placement (read by a layout that asks its blocks for a value
            // while it sizes them, or a row measured and not shown yet) the text publishes the
            // layout it was last measured with, and lays nothing out for it: a layout at the
            // natural width would be thrown away at the placement. Not measured yet, it
            // publishes nothing until it is.
            publishedUnplaced_ = true;
            published = lastMeasured();
            if (published == nullptr) {
                publishedUnmeasured_ = true;
                return;
            }
        }
        const Entry& e = *published;
        Text::LayoutKey::Value value;
        // Placed, the position is read from the frames above; not placed (or inside a view not
        // placed yet, whose frame is not known), none is published, and the first placement of
        // the text or of a view above it publishes again.
        dependsOnRootPosition();
        const std::optional<Point> origin = placedRootOrigin();
        // The runs are the view's own, shared rather than copied for every pass.
        const auto& impl = view.impl();
        value.push_back({origin ? Anchor<Point>({origin->x - e.minX, origin->y}) : Anchor<Point>(),
                         Text::Layout(e.layout, std::shared_ptr<const std::vector<Text::Run>>(
                                                    impl, &text().runs())),
                         origin.has_value()});
        out.set<Text::LayoutKey>(std::move(value));
    }

public:
    struct TextImplAccess : ViewImpl {
        Text text;
    };

private:
    /// The text of the view, whose runs the published layouts carry (not copied into the node).
    const Text& text() const { return static_cast<const TextImplAccess&>(*view.impl()).text; }

    /// What a width's layout measures, and the layout itself while it may still be drawn: most
    /// proposals only measure (a stack asks for the narrowest and the widest a text can be
    /// before it offers a share), and a layout costs about its glyphs' worth of memory.
    struct Entry {
        std::optional<CGFloat> width;
        /// Null once dropped; laid out again at `width` should the entry be placed.
        std::shared_ptr<const platform::TextLayout> layout;
        CGFloat widest = 0;
        CGFloat height = 0;
        CGFloat minX = 0;
        CGFloat firstBaseline = 0;
        CGFloat lastBaseline = 0;
        bool hasLines = false;
        /// No line was wrapped or cut: the same layout serves every wider proposal.
        bool unwrapped = false;
        /// Names the entry across the erasures of others (never 0).
        std::uint64_t id = 0;
        std::uint64_t lastUse = 0;
    };

    /// At most this many layouts are kept while a text is measured at several widths before it
    /// is placed: the one measured last is usually the one placed.
    static constexpr std::size_t kKeptLayouts = 2;

    static std::optional<CGFloat> layoutWidth(std::optional<CGFloat> proposed) {
        if (!proposed || std::isinf(*proposed) || std::isnan(*proposed)) {
            return std::nullopt;
        }
        return std::max(*proposed, CGFloat(0));
    }

    /// The cached layout that serves `width`: the same width, or one whose lines break the same
    /// way (at or above its widest line and at or below its width; any width at or above the
    /// widest line for a layout that wrapped nothing).
    Entry* findEntry(std::optional<CGFloat> width) {
        constexpr CGFloat eps = 1e-6;
        for (Entry& e : entries_) {
            if (!width) {
                if (!e.width || e.unwrapped) {
                    return &e;
                }
                continue;
            }
            if (e.width && *e.width == *width) {
                return &e;
            }
            if ((!e.width || e.unwrapped) && *width + eps >= e.widest) {
                return &e;
            }
            if (e.width && *width + eps >= e.widest && *width <= *e.width + eps) {
                return &e;
            }
        }
        return nullptr;
    }

    /// The runs as the layout takes them: every run's font resolved against `base`.
    static platform::StyledText styledText(const Text& text, const Font& base,
                                           bool legibilityBold) {
        platform::StyledText styled;
        styled.reserve(text.runs().size());
        // Neighbouring runs mostly carry the same attributes: each is resolved once for them.
        const Text::Run* previous = nullptr;
        platform::TextAttributes a;
        for (const Text::Run& run : text.runs()) {
            if (previous == nullptr || !(run.attributes == previous->attributes) ||
                run.bold != previous->bold || run.italic != previous->italic) {
                a = *run.attributes;
                if (!a.font) {
                    a.font = base;
                }
                if (run.bold || legibilityBold) {
                    a.font = a.font->bold();
                }
                if (run.italic) {
                    a.font = a.font->italic();
                }
            }
            previous = &run;
            if (run.box) {
                styled.appendBox(*run.box, a);
            } else {
                styled.append(run.text, a);
            }
        }
        return styled;
    }

    platform::StyledText styled() const { return styledText(text_, style_.font, legibilityBold_); }

    /// The paragraph style at `width`. A zero width asks for the text's minimum, the narrowest it
    /// can be without breaking a word: its longest word, the other words wrapped to it.
    platform::ParagraphStyle styleAt(std::optional<CGFloat> width) const {
        platform::ParagraphStyle style = style_;
        style.width = width;
        style.breaksWords = !(width && *width <= 0);
        return style;
    }

    bool hasEntry(std::optional<CGFloat> proposed) {
        return findEntry(layoutWidth(proposed)) != nullptr;
    }

    /// The measures at `proposed`, laid out now if no entry serves it.
    Entry& entryFor(std::optional<CGFloat> proposed) {
        const std::optional<CGFloat> width = layoutWidth(proposed);
        if (Entry* e = findEntry(width)) {
            e->lastUse = ++uses_;
            return *e;
        }
        Entry e;
        e.width = width;
        e.id = ++ids_;
        e.lastUse = ++uses_;
        if (prefetched_ && layoutWidth(prefetchWidth_) == width) {
            e.layout = std::move(prefetched_);
        } else {
            e.layout = std::make_shared<const platform::TextLayout>(styled(), styleAt(width));
        }
        prefetched_.reset();
        const auto lines = e.layout->lines();
        bool first = true;
        for (const auto& line : lines) {
            e.widest = std::max(e.widest, line.typographicBounds.width);
            e.minX = first ? line.typographicBounds.origin.x
                           : std::min(e.minX, line.typographicBounds.origin.x);
            first = false;
        }
        e.hasLines = !lines.empty();
        if (e.hasLines) {
            e.firstBaseline = lines.front().typographicBounds.origin.y;
            e.lastBaseline = lines.back().typographicBounds.origin.y;
        }
        e.height = e.layout->size().height;
        std::size_t hardLines = 1;
        for (const char c : e.layout->string()) {
            hardLines += c == '\n' ? 1 : 0;
        }
        e.unwrapped = !width || (lines.size() <= hardLines && !e.layout->isTruncated());
        if (entries_.size() >= 6) {
            // The oldest goes, unless it is the placed one.
            const auto victim =
                entries_.front().id == placed_ ? entries_.begin() + 1 : entries_.begin();
            entries_.erase(victim);
        }
        if (entries_.capacity() == 0) {
            // Most texts are measured at two widths (the room they have and their narrowest).
            entries_.reserve(2);
        }
        entries_.push_back(std::move(e));
        dropLayoutsBeyondLimit();
        if (publishedUnmeasured_) {
            // What was published before held no layout: now there is one.
            publishedUnmeasured_ = false;
            invalidatePreferences();
        }
        return entries_.back();
    }

    /// The entry measured last, with its layout (laid out again at the entry's width if it was
    /// dropped); null before any measure.
    const Entry* lastMeasured() {
        Entry* last = nullptr;
        for (Entry& e : entries_) {
            if (last == nullptr || e.lastUse > last->lastUse) {
                last = &e;
            }
        }
        if (last != nullptr && !last->layout) {
            last->layout =
                std::make_shared<const platform::TextLayout>(styled(), styleAt(last->width));
            dropLayoutsBeyondLimit();
        }
        return last;
    }

    /// Drops the layouts of the least recently used entries beyond `kKeptLayouts`, never the
    /// placed one's.
    void dropLayoutsBeyondLimit() {
        for (;;) {
            std::size_t kept = 0;
            Entry* oldest = nullptr;
            for (Entry& e : entries_) {
                if (!e.layout) {
                    continue;
                }
                ++kept;
                if (e.id != placed_ && (oldest == nullptr || e.lastUse < oldest->lastUse)) {
                    oldest = &e;
                }
            }
            if (kept <= kKeptLayouts || oldest == nullptr) {
                return;
            }
            oldest->layout.reset();
        }
    }

    /// The entry the text is placed with, with its layout (laid out again at the entry's own
    /// width if it was dropped: the same lines as before).
    const Entry& placedEntry() {
        Entry& e = entryFor(placedProposal.width);
        if (e.id != placed_) {
            previouslyPlaced_ = placed_;
            placed_ = e.id;
        }
        if (!e.layout) {
            e.layout = std::make_shared<const platform::TextLayout>(styled(), styleAt(e.width));
            dropLayoutsBeyondLimit();
        }
        return e;
    }

    /// The text laid out (its runs shared with the view) and how its fonts resolve; its styled
    /// form is made for each layout and kept by it (compact: each distinct set of attributes
    /// once), as a text is mostly laid out once.
    Text text_;
    bool legibilityBold_ = false;
    platform::ParagraphStyle style_;
    std::shared_ptr<const platform::TextLayout> prefetched_;
    std::optional<CGFloat> prefetchWidth_;
    std::vector<Entry> entries_;
    std::uint64_t ids_ = 0;
    std::uint64_t uses_ = 0;
    /// The entries of the current and of the previous placement (0: none).
    std::uint64_t placed_ = 0;
    std::uint64_t previouslyPlaced_ = 0;
    bool empty_ = true;
    /// Preferences were computed before the first placement, and before the first measure
    /// (without a layout).
    bool publishedUnplaced_ = false;
    bool publishedUnmeasured_ = false;
};

class TextImpl final : public TextNode::TextImplAccess {
public:
    const void* typeTag() const override { return &detail::typeTag<Text>; }
    bool equals(const ViewImpl& other) const override {
        return text == static_cast<const TextImpl&>(other).text;
    }
    std::unique_ptr<Node> makeNode() const override { return std::make_unique<TextNode>(); }
};

} // namespace
} // namespace detail

std::shared_ptr<const detail::ViewImpl> Text::makeImpl() const& {
    return Text(*this).makeImpl();
}

std::shared_ptr<const detail::ViewImpl> Text::makeImpl() && {
    auto impl = std::make_shared<detail::TextImpl>();
    impl->text = std::move(*this);
    return impl;
}

} // namespace platform::ui

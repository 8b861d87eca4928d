#include "platform/ui/Text.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace platform::ui {

Text::Text(std::string text) {
    runs_.push_back(Run{std::move(text), {}, std::nullopt, false, false, {}});
}

Text::Text(const char* text)
    : Text(std::string(text != nullptr ? text : "")) {}

Text Text::box(Size size) {
    Text t;
    Run r;
    r.text = "\xEF\xBF\xBC";
    r.box =
        platform::InlineBox{{soundLength(size.width, false), soundLength(size.height, false)}, 0};
    t.runs_.push_back(std::move(r));
    return t;
}

Text Text::font(std::optional<Font> font) const {
    return modifyRuns([&](Run& r) { r.attributes.font = font; });
}
Text Text::bold(bool active) const {
    return modifyRuns([&](Run& r) { r.bold = active; });
}
Text Text::italic(bool active) const {
    return modifyRuns([&](Run& r) { r.italic = active; });
}
Text Text::foregroundColor(std::optional<Color> color) const {
    return modifyRuns([&](Run& r) { r.attributes.foregroundColor = color; });
}
Text Text::backgroundColor(std::optional<Color> color) const {
    return modifyRuns([&](Run& r) { r.attributes.backgroundColor = color; });
}
Text Text::underline(bool active, std::optional<Color> color) const {
    return modifyRuns([&](Run& r) {
        r.attributes.underline =
            active ? std::optional<platform::TextLineStyle>(platform::TextLineStyle{color})
                   : std::nullopt;
    });
}
Text Text::strikethrough(bool active, std::optional<Color> color) const {
    return modifyRuns([&](Run& r) {
        r.attributes.strikethrough =
            active ? std::optional<platform::TextLineStyle>(platform::TextLineStyle{color})
                   : std::nullopt;
    });
}
Text Text::baselineOffset(double offset) const {
    const double o = soundCoordinate(offset);
    return modifyRuns([&](Run& r) {
        r.attributes.baselineOffset = o;
        if (r.box) {
            r.box->baselineOffset = o;
        }
    });
}
Text Text::kerning(double kerning) const {
    const double k = soundCoordinate(kerning);
    return modifyRuns([&](Run& r) { r.attributes.kerning = k; });
}
Text Text::tracking(double tracking) const {
    const double t = soundCoordinate(tracking);
    return modifyRuns([&](Run& r) { r.attributes.tracking = t; });
}

Text Text::withCustom(ViewID value) const {
    return modifyRuns([&](Run& r) {
        std::erase_if(r.custom,
                      [&](const ViewID& a) { return a.valueType() == value.valueType(); });
        r.custom.push_back(value);
    });
}

Text& Text::operator+=(const Text& b) {
    runs_.insert(runs_.end(), b.runs_.begin(), b.runs_.end());
    return *this;
}

std::string Text::string() const {
    std::string s;
    for (const Run& r : runs_) {
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
        const Entry& e = layoutFor(p.width);
        const auto lines = e.layout->lines();
        if (lines.empty()) {
            return std::nullopt;
        }
        return (first ? lines.front() : lines.back()).typographicBounds.origin.y;
    }

    void collectPrefetch(ProposedViewSize p, std::vector<std::function<void()>>& jobs) override {
        if (empty_ || hasEntry(p.width)) {
            return;
        }
        prefetchWidth_ = p.width;
        prefetched_.reset();
        jobs.push_back([this, width = layoutWidth(p.width)] {
            const platform::ParagraphStyle style = styleAt(width);
            try {
                prefetched_ = std::make_shared<const platform::TextLayout>(styled_, style);
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
        const Entry& e = layoutFor(placedProposal.width);
        list.append(DisplayList::DrawText{e.layout, {-e.minX, 0}, env.get<ForegroundStyleKey>()});
    }

protected:
    void rebuild() override {
        const auto& text = static_cast<const TextImplAccess&>(*view.impl()).text;
        platform::StyledText styled;
        const Font base = env.font().value_or(Font::body());
        const bool legibilityBold = env.get<LegibilityWeightKey>() == LegibilityWeight::bold;
        bool empty = true;
        for (const Text::Run& run : text.runs()) {
            platform::TextAttributes a = run.attributes;
            Font f = a.font.value_or(base);
            if (run.bold || legibilityBold) {
                f = f.bold();
            }
            if (run.italic) {
                f = f.italic();
            }
            a.font = std::move(f);
            if (run.box) {
                styled.appendBox(*run.box, a);
                empty = false;
            } else {
                styled.append(run.text, a);
                empty = empty && run.text.empty();
            }
        }
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
        if (!(styled == styled_) || !(style == style_)) {
            styled_ = std::move(styled);
            style_ = std::move(style);
            entries_.clear();
            prefetched_.reset();
        }
        empty_ = empty;
    }

    Size computeSize(ProposedViewSize p) override {
        if (empty_) {
            return {};
        }
        const Entry& e = layoutFor(p.width);
        return {e.widest, e.height};
    }

    void computePreferences(PreferenceValues& out) override {
        const Entry& e = layoutFor(placedProposal.width);
        Text::LayoutKey::Value value;
        dependsOnRootPosition();
        const Point origin = rootOrigin();
        value.push_back(
            {Anchor<Point>({origin.x - e.minX, origin.y}), Text::Layout(e.layout, text().runs())});
        out.set<Text::LayoutKey>(std::move(value));
    }

public:
    struct TextImplAccess : ViewImpl {
        Text text;
    };

private:
    /// The text of the view, whose runs the published layouts carry (not copied into the node).
    const Text& text() const { return static_cast<const TextImplAccess&>(*view.impl()).text; }

    struct Entry {
        std::optional<CGFloat> width;
        std::shared_ptr<const platform::TextLayout> layout;
        CGFloat widest = 0;
        CGFloat height = 0;
        CGFloat minX = 0;
        /// No line was wrapped or cut: the same layout serves every wider proposal.
        bool unwrapped = false;
    };

    static std::optional<CGFloat> layoutWidth(std::optional<CGFloat> proposed) {
        if (!proposed || std::isinf(*proposed) || std::isnan(*proposed)) {
            return std::nullopt;
        }
        return std::max(*proposed, CGFloat(0));
    }

    /// The cached layout that serves `width`: the same width, or one whose lines break the same
    /// way (at or above its widest line and at or below its width; any width at or above the
    /// widest line for a layout that wrapped nothing).
    const Entry* findEntry(std::optional<CGFloat> width) const {
        constexpr CGFloat eps = 1e-6;
        for (const Entry& e : entries_) {
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

    /// The paragraph style at `width`. A zero width asks for the text's minimum, the narrowest it
    /// can be without breaking a word: its longest word, the other words wrapped to it.
    platform::ParagraphStyle styleAt(std::optional<CGFloat> width) const {
        platform::ParagraphStyle style = style_;
        style.width = width;
        style.breaksWords = !(width && *width <= 0);
        return style;
    }

    bool hasEntry(std::optional<CGFloat> proposed) const {
        return findEntry(layoutWidth(proposed)) != nullptr;
    }

    const Entry& layoutFor(std::optional<CGFloat> proposed) {
        const std::optional<CGFloat> width = layoutWidth(proposed);
        if (const Entry* e = findEntry(width)) {
            return *e;
        }
        Entry e;
        e.width = width;
        if (prefetched_ && layoutWidth(prefetchWidth_) == width) {
            e.layout = std::move(prefetched_);
        } else {
            e.layout = std::make_shared<const platform::TextLayout>(styled_, styleAt(width));
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
        e.height = e.layout->size().height;
        std::size_t hardLines = 1;
        for (const char c : e.layout->string()) {
            hardLines += c == '\n' ? 1 : 0;
        }
        e.unwrapped = !width || (lines.size() <= hardLines && !e.layout->isTruncated());
        if (entries_.size() >= 6) {
            entries_.erase(entries_.begin());
        }
        entries_.push_back(std::move(e));
        return entries_.back();
    }

    platform::StyledText styled_;
    platform::ParagraphStyle style_;
    std::shared_ptr<const platform::TextLayout> prefetched_;
    std::optional<CGFloat> prefetchWidth_;
    std::vector<Entry> entries_;
    bool empty_ = true;
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

std::shared_ptr<const detail::ViewImpl> Text::makeImpl() const {
    auto impl = std::make_shared<detail::TextImpl>();
    impl->text = *this;
    return impl;
}

} // namespace platform::ui

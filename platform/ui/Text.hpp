#pragma once

// Text: attributed runs (fonts, colours, lines, baseline offset, kerning, tracking, inline boxes
// and custom attributes of any hashable type), laid out per view by platform/text. Every Text
// publishes its laid-out form under `Text::LayoutKey`, with an anchor for its origin, so that
// views above can hit-test, select and draw over it; custom attributes survive into that form.
//
// Layouts are cached per view, keyed by content and width: the natural (unwrapped) layout serves
// every proposal at or above the natural width, and a wrapped layout every proposal between its
// widest line and its width, so the several proposals of one layout pass shape the text once.
// What each width measures is kept; the layouts themselves only while they may be drawn (the
// placed one and the one placed before, and the last two measured until the text is placed).

#include "platform/text/StyledText.hpp"
#include "platform/text/TextLayout.hpp"
#include "platform/ui/View.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::ui {

class Text : public ViewModifiers<Text> {
public:
    /// The custom attributes of a run, at most one per type. A list is immutable and shared: the
    /// runs of one text mostly carry the same attributes, and copying a run costs a count.
    class CustomAttributes {
    public:
        const ViewID* begin() const { return values_.get(); }
        const ViewID* end() const { return values_.get() + size_; }
        std::size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        const ViewID& operator[](std::size_t i) const { return values_[i]; }
        friend bool operator==(const CustomAttributes& a, const CustomAttributes& b) {
            return a.values_ == b.values_ || std::equal(a.begin(), a.end(), b.begin(), b.end());
        }

    private:
        friend class Text;
        /// One allocation with its count; null when empty.
        std::shared_ptr<const ViewID[]> values_;
        std::size_t size_ = 0;
    };

    /// The attributes of a run, shared between the runs that carry the same (a text's runs mostly
    /// carry a few sets; a copy apiece made a run take 360 bytes). Read through * and ->; a run
    /// is given other attributes whole.
    class SharedAttributes {
    public:
        SharedAttributes() = default;
        SharedAttributes(platform::TextAttributes attributes) // NOLINT: implicit, as runs are
            : values_(std::make_shared<const platform::TextAttributes>(std::move(attributes))) {}
        const platform::TextAttributes& operator*() const { return values_ ? *values_ : none(); }
        const platform::TextAttributes* operator->() const { return &**this; }
        /// Whether both hold the very same attributes, not only equal ones.
        bool sharesWith(const SharedAttributes& other) const { return values_ == other.values_; }
        friend bool operator==(const SharedAttributes& a, const SharedAttributes& b) {
            return a.values_ == b.values_ || *a == *b;
        }

    private:
        static const platform::TextAttributes& none();
        /// Null for the default attributes.
        std::shared_ptr<const platform::TextAttributes> values_;
    };

    struct Run {
        std::string text;
        SharedAttributes attributes;
        std::optional<platform::InlineBox> box;
        bool bold = false;
        bool italic = false;
        CustomAttributes custom;
        friend bool operator==(const Run&, const Run&) = default;
    };

    Text() = default;
    Text(std::string text); // NOLINT: implicit, as string literals are text
    Text(const char* text); // NOLINT
    /// The runs as they are: for a builder of many runs, which makes each in place.
    explicit Text(std::vector<Run> runs);
    static Text verbatim(std::string text) { return Text(std::move(text)); }
    /// A blank box of `size` that takes part in the line like one character; its bottom edge
    /// sits on the baseline (raise or lower it with `baselineOffset`).
    static Text box(Size size);

    // Run attributes; each applies to every run of this text.
    Text font(std::optional<Font> font) const&;
    Text font(std::optional<Font> font) &&;
    Text bold(bool active = true) const&;
    Text bold(bool active = true) &&;
    Text italic(bool active = true) const&;
    Text italic(bool active = true) &&;
    Text foregroundColor(std::optional<Color> color) const&;
    Text foregroundColor(std::optional<Color> color) &&;
    Text foregroundStyle(Color color) const& { return foregroundColor(color); }
    Text foregroundStyle(Color color) && { return std::move(*this).foregroundColor(color); }
    Text backgroundColor(std::optional<Color> color) const&;
    Text backgroundColor(std::optional<Color> color) &&;
    Text underline(bool active = true, std::optional<Color> color = std::nullopt) const&;
    Text underline(bool active = true, std::optional<Color> color = std::nullopt) &&;
    Text strikethrough(bool active = true, std::optional<Color> color = std::nullopt) const&;
    Text strikethrough(bool active = true, std::optional<Color> color = std::nullopt) &&;
    Text baselineOffset(double offset) const&;
    Text baselineOffset(double offset) &&;
    Text kerning(double kerning) const&;
    Text kerning(double kerning) &&;
    Text tracking(double tracking) const&;
    Text tracking(double tracking) &&;
    /// Attaches a custom attribute (any hashable, equatable value) to every run; a second value
    /// of the same type replaces the first.
    template <class T>
    Text customAttribute(T value) const& {
        return withCustom(ViewID(std::move(value)));
    }
    template <class T>
    Text customAttribute(T value) && {
        return std::move(*this).withCustom(ViewID(std::move(value)));
    }

    /// Appends the runs of `b`; building a long text run by run with += stays linear.
    Text& operator+=(const Text& b);
    friend Text operator+(Text a, const Text& b) { return a += b; }
    friend bool operator==(const Text& a, const Text& b) {
        return a.runs_ == b.runs_ || a.runs() == b.runs();
    }

    const std::vector<Run>& runs() const { return runs_ ? *runs_ : noRuns(); }
    /// The characters of all runs (inline boxes as U+FFFC).
    std::string string() const;
    std::shared_ptr<const detail::ViewImpl> makeImpl() const&;
    std::shared_ptr<const detail::ViewImpl> makeImpl() &&;

    /// The laid-out form of one Text.
    class Layout {
    public:
        Layout() = default;
        Layout(std::shared_ptr<const platform::TextLayout> layout, std::vector<Run> runs)
            : layout_(std::move(layout))
            , runs_(std::make_shared<const std::vector<Run>>(std::move(runs))) {}
        /// A layout of runs shared with their owner (the view the text was laid out for).
        Layout(std::shared_ptr<const platform::TextLayout> layout,
               std::shared_ptr<const std::vector<Run>> runs)
            : layout_(std::move(layout))
            , runs_(std::move(runs)) {}
        /// Lines → runs → glyph slices with typographic bounds (relative to the layout's
        /// origin) and UTF-16 ranges.
        std::span<const platform::TextLayout::Line> lines() const;
        const platform::TextLayout& base() const;
        Size size() const;
        /// The source run of a laid-out run: its text, attributes and custom attributes.
        const Run* sourceRun(const platform::TextLayout::Run& run) const;
        /// The custom attribute of type T on the source of `run`.
        template <class T>
        const T* attribute(const platform::TextLayout::Run& run) const {
            if (const Run* source = sourceRun(run)) {
                for (const ViewID& a : source->custom) {
                    if (const T* v = a.template as<T>()) {
                        return v;
                    }
                }
            }
            return nullptr;
        }
        /// Identity: layouts are equal when they are the same laid-out text.
        friend bool operator==(const Layout& a, const Layout& b) { return a.layout_ == b.layout_; }

    private:
        std::shared_ptr<const platform::TextLayout> layout_;
        std::shared_ptr<const std::vector<Run>> runs_;
    };

    struct AnchoredLayout {
        /// Where the layout's origin (its top-leading corner) lies; read only when `placed`.
        Anchor<Point> origin;
        Layout layout;
        /// Whether the text and every view around it have been placed. A text measured and not
        /// placed yet (a lazy stack's row out of view, measured for its size or in idle time)
        /// publishes its layout, whose characters are the document's, but its position is not
        /// known until its placement publishes it again.
        bool placed = true;
        friend bool operator==(const AnchoredLayout&, const AnchoredLayout&) = default;
    };

    /// Every text of a subtree, in tree order.
    struct LayoutKey {
        using Value = std::vector<AnchoredLayout>;
        static Value defaultValue() { return {}; }
        // Read in place: a long document folds a part a row, and copying each part whole before
        // appending it would allocate for every row.
        static void reduce(Value& value, const Value& next) {
            value.insert(value.end(), next.begin(), next.end());
        }
    };

private:
    Text withCustom(ViewID value) const&;
    Text withCustom(ViewID value) &&;
    /// Modifiers change a temporary text in place: a text built by a chain of them copies its
    /// runs once at most (none when it holds them alone).
    /// Changes the attributes of every run: runs that shared them share the changed ones.
    template <class F>
    Text modifyAttributes(F&& f) && {
        SharedAttributes before;
        SharedAttributes after;
        bool made = false;
        return std::move(*this).modifyRuns([&](Run& r) {
            if (!made || !r.attributes.sharesWith(before)) {
                platform::TextAttributes changed = *r.attributes;
                f(changed);
                before = r.attributes;
                after = SharedAttributes(std::move(changed));
                made = true;
            }
            r.attributes = after;
        });
    }
    template <class F>
    Text modifyRuns(F&& f) && {
        if (runs_) {
            for (Run& r : mutableRuns()) {
                f(r);
            }
        }
        return std::move(*this);
    }
    static const std::vector<Run>& noRuns();
    /// The runs, copied first when another text shares them.
    std::vector<Run>& mutableRuns();
    /// Shared between copies of a text (views are copied often, and a view's node reads them);
    /// never changed while shared. Null for no runs.
    std::shared_ptr<std::vector<Run>> runs_;
};

} // namespace platform::ui

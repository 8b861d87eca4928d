#pragma once

// The input of paragraph layout: a sequence of runs, each a piece of text or an inline box with
// the attributes it is drawn with, plus the settings of the paragraph as a whole.

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/Font.hpp"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// An underline or strikethrough; without a colour it takes the run's text colour.
struct TextLineStyle {
    std::optional<Color> color;
    friend bool operator==(const TextLineStyle&, const TextLineStyle&) = default;
};

struct TextAttributes {
    /// Absent: the paragraph's font.
    std::optional<Font> font;
    /// Absent: the colour the layout is drawn with.
    std::optional<Color> foregroundColor;
    std::optional<Color> backgroundColor;
    std::optional<TextLineStyle> underline;
    std::optional<TextLineStyle> strikethrough;
    /// Points the glyphs are raised above the baseline (negative lowers them).
    double baselineOffset = 0;
    /// Extra points between neighbouring characters.
    double kerning = 0;
    /// Extra points between neighbouring characters; unlike kerning it also turns optional
    /// ligatures off, so that tracked text keeps its letters apart.
    double tracking = 0;

    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

/// A blank box that takes part in the line like one character, for content drawn over the text
/// later (images, formulas). Its bottom edge sits `baselineOffset` points above the baseline.
struct InlineBox {
    Size size;
    double baselineOffset = 0;
    friend bool operator==(const InlineBox&, const InlineBox&) = default;
};

/// Runs are kept compact: their characters in one string, each distinct set of attributes once
/// (runs mostly share a few: a line of a hundred thousand formulas has two) and boxes apart. A run
/// apiece with its own attributes took about 330 bytes, more than the layout made from it.
class StyledText {
public:
    /// One run as the text holds it, valid while the text is unchanged.
    struct Run {
        /// UTF-8; invalid sequences are replaced by U+FFFD. An inline box's text is U+FFFC.
        std::string_view text;
        const TextAttributes& attributes;
        std::optional<InlineBox> box;
    };

    /// The runs in order, each made when read.
    class Runs {
    public:
        class iterator {
        public:
            using iterator_category = std::input_iterator_tag;
            using value_type = Run;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = Run;
            iterator() = default;
            Run operator*() const { return text_->run(index_); }
            iterator& operator++() {
                ++index_;
                return *this;
            }
            iterator operator++(int) {
                iterator before = *this;
                ++index_;
                return before;
            }
            friend bool operator==(const iterator&, const iterator&) = default;

        private:
            friend class Runs;
            iterator(const StyledText* text, std::size_t index)
                : text_(text)
                , index_(index) {}
            const StyledText* text_ = nullptr;
            std::size_t index_ = 0;
        };

        std::size_t size() const { return text_->runCount(); }
        bool empty() const { return size() == 0; }
        Run operator[](std::size_t index) const { return text_->run(index); }
        Run front() const { return text_->run(0); }
        iterator begin() const { return {text_, 0}; }
        iterator end() const { return {text_, size()}; }

    private:
        friend class StyledText;
        explicit Runs(const StyledText* text)
            : text_(text) {}
        const StyledText* text_;
    };

    StyledText() = default;
    explicit StyledText(std::string_view text, const TextAttributes& attributes = {}) {
        append(text, attributes);
    }

    /// Adds a run of text (an empty one is kept too, so run indexes stay the caller's). The
    /// attributes are copied only when they differ from the last few kept.
    StyledText& append(std::string_view text, const TextAttributes& attributes = {});
    /// Adds an inline box; it stands for one object-replacement character in the text.
    StyledText& appendBox(const InlineBox& box, const TextAttributes& attributes = {});
    /// Room for this many runs in all.
    void reserve(std::size_t runs);

    Runs runs() const { return Runs(this); }
    std::size_t runCount() const { return starts_.size(); }
    /// The run at `index` (less than runCount()).
    Run run(std::size_t index) const;
    /// What run(index) tells of a run without making it (a loop over every run of a long
    /// paragraph asks these many times): its length in bytes, whether it is a box, its box.
    std::size_t runLength(std::size_t index) const {
        return (index + 1 < starts_.size() ? starts_[index + 1] : text_.size()) - starts_[index];
    }
    bool isBox(std::size_t index) const { return !boxOfRun_.empty() && boxOfRun_[index] != noBox; }
    const TextAttributes& attributes(std::size_t index) const {
        return attributes_[attributesOfRun_[index]];
    }
    /// Null for a run of text.
    const InlineBox* box(std::size_t index) const {
        return isBox(index) ? &boxes_[boxOfRun_[index]] : nullptr;
    }
    /// How many runs are boxes.
    std::size_t boxCount() const { return boxes_.size(); }
    /// Where each run starts in string().
    const std::vector<std::size_t>& runStarts() const { return starts_; }
    /// The whole text, UTF-8.
    const std::string& string() const { return text_; }
    /// How many distinct sets of attributes the runs have.
    std::size_t distinctAttributesCount() const { return attributes_.size(); }

    friend bool operator==(const StyledText&, const StyledText&) = default;

private:
    void addAttributes(const TextAttributes& attributes);

    std::string text_;
    std::vector<std::size_t> starts_;
    std::vector<TextAttributes> attributes_;
    std::vector<std::uint32_t> attributesOfRun_;
    /// The boxes, and which each run has (none: noBox); empty while no run is a box.
    std::vector<InlineBox> boxes_;
    std::vector<std::uint32_t> boxOfRun_;
    static constexpr std::uint32_t noBox = UINT32_MAX;
};

enum class TextAlignment : std::uint8_t { leading, center, trailing, justified };
enum class WritingDirection : std::uint8_t { natural, leftToRight, rightToLeft };

struct ParagraphStyle {
    /// The font of runs that have none.
    Font font;
    TextAlignment alignment = TextAlignment::leading;
    /// `natural` takes the direction of the first strong character.
    WritingDirection baseDirection = WritingDirection::natural;
    /// Extra points between lines.
    double lineSpacing = 0;
    /// At most this many lines; the last one shown ends in an ellipsis. Needs a width.
    std::optional<int> lineLimit;
    /// The width lines wrap at; absent, lines break only at line separators.
    std::optional<double> width;
    /// Whether a word wider than `width` is cut between characters to fill its lines; when not,
    /// it stands alone on a line wider than `width` (what a layout asking for the narrowest width
    /// the text can take without breaking a word wants).
    bool breaksWords = true;
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

} // namespace platform

#pragma once

// The input of paragraph layout: a sequence of runs, each a piece of text or an inline box with
// the attributes it is drawn with, plus the settings of the paragraph as a whole.

#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/text/Font.hpp"

#include <cstddef>
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

class StyledText {
public:
    struct Run {
        /// UTF-8; invalid sequences are replaced by U+FFFD. An inline box's text is U+FFFC.
        std::string text;
        TextAttributes attributes;
        std::optional<InlineBox> box;
        friend bool operator==(const Run&, const Run&) = default;
    };

    StyledText() = default;
    explicit StyledText(std::string_view text, TextAttributes attributes = {}) {
        append(text, std::move(attributes));
    }

    /// Adds a run of text (an empty one is kept too, so run indexes stay the caller's).
    StyledText& append(std::string_view text, TextAttributes attributes = {});
    /// Adds an inline box; it stands for one object-replacement character in the text.
    StyledText& appendBox(const InlineBox& box, TextAttributes attributes = {});
    /// Room for this many runs in all.
    void reserve(std::size_t runs) { runs_.reserve(runs); }

    const std::vector<Run>& runs() const { return runs_; }
    /// The whole text, UTF-8.
    std::string string() const;

    friend bool operator==(const StyledText&, const StyledText&) = default;

private:
    std::vector<Run> runs_;
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

#pragma once

// Widths of text told from the advances of its characters, each character laid out once per font:
// no shaping of the text itself, so that a long list or table can rank the texts of all its rows
// (its markers, its cells) at a small cost and lay out only the few that come out widest. The
// widths leave kerning and ligatures out: they rank texts, the layouts of those ranked first
// give the widths shown.

#include "platform/text/Font.hpp"

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vellum {

class CharacterWidths {
public:
    explicit CharacterWidths(platform::Font font)
        : font_(std::move(font)) {
        ascii_.fill(-1);
    }

    // The width of `text` on one line.
    [[nodiscard]] double width(std::string_view text);
    // That width, and the width of the widest of `text`'s words (the stretches between blanks and
    // line breaks).
    struct Measure {
        double width = 0;
        double widestWord = 0;
    };
    [[nodiscard]] Measure measure(std::string_view text);
    // Adds `text` to what `measure` holds of the text before it, whose last word, `word` wide so
    // far, it may go on (a text of runs in several fonts, each measured in its own).
    void extend(std::string_view text, Measure& measure, double& word);

private:
    [[nodiscard]] double character(std::string_view character);

    platform::Font font_;
    std::array<double, 128> ascii_{};
    std::unordered_map<std::string, double> others_;
};

} // namespace vellum

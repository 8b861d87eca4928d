#pragma once

// The document the markdown library's benchmarks share: a technical text of about 100 KB with
// headings, paragraphs with inline markup, links, inline and display formulas, emoji, nested
// lists, quotes, tables and code blocks; and a long real one, the technical manual.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace moss_bench {

inline const std::string& technicalDocument() {
    static const std::string text = [] {
        std::string out;
        for (int section = 1; out.size() < 100 * 1024; ++section) {
            const std::string n = std::to_string(section);
            out += "## Section " + n + " :rocket:\n\n";
            out += "The *energy* of a **particle** is $E = mc^2$ and its momentum $p = m v$; see "
                   "[the notes](notes/" +
                   n +
                   ".html) for `details` and ~~old~~ results :smile:.\n"
                   "A second line with $\\alpha_" +
                   n + " + \\beta$ and a price of $5 or $6.\n\n";
            out += "$$\n\\int_0^1 x^" + n + " \\, dx = \\frac{1}{" + n + "}\n$$\n\n";
            out += "- first item with :+1: and $x_i$\n- second item\n  1. nested *one*\n"
                   "  2. nested two with `code $x$`\n- third item\n\n";
            out += "> A quotation with **strong** text and $\\sqrt{2}$.\n> - quoted list\n\n";
            out += "| Name | Value | Note |\n|:-----|------:|:----:|\n| a | $1$ | :tada: |\n"
                   "| b | 2 | plain |\n\n";
            out += "```swift\nlet value = " + n + " // $not math$ :not_emoji:\n```\n\n";
        }
        return out;
    }();
    return text;
}

// About 150 KB of this repository's own writing: the README, then a chapter per header of the
// text, view and markdown layers (its opening comment as prose, a table of what it declares, its
// declarations as C++), with the math fixtures' formulas inline and on display. Assembled by
// blocks/make-manual.py and committed as made, so that it stays the same text.
inline const std::string& technicalManual() {
    static const std::string text = [] {
        const std::filesystem::path path =
            std::filesystem::path(MOSS_BENCH_DOCUMENTS) / "blocks" / "TechnicalManual.md";
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            throw std::runtime_error("cannot read " + path.string());
        }
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }();
    return text;
}

} // namespace moss_bench

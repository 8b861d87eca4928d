#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The inline presentation of a piece of attributed text.
struct InlineAttributes {
    bool emphasis = false;
    bool strong = false;
    bool code = false;
    bool strikethrough = false;
    std::optional<std::string> link; // destination of a link, verbatim

    friend bool operator==(const InlineAttributes&, const InlineAttributes&) = default;
};

// Text made of runs, each with its inline attributes. Adjacent runs never carry equal
// attributes: appending merges them.
class AttributedText {
public:
    struct Run {
        std::string text; // UTF-8
        InlineAttributes attributes;

        friend bool operator==(const Run&, const Run&) = default;
    };

    AttributedText() = default;
    explicit AttributedText(std::string plain);

    void append(std::string_view text, const InlineAttributes& attributes);

    [[nodiscard]] const std::vector<Run>& runs() const noexcept { return runs_; }
    [[nodiscard]] std::string string() const;
    [[nodiscard]] bool empty() const noexcept { return runs_.empty(); }

    friend bool operator==(const AttributedText&, const AttributedText&) = default;

private:
    std::vector<Run> runs_;
};

struct InlineMarkdownError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Markdown where only inline markup is interpreted: emphasis, strong emphasis, code spans,
// strikethrough and links (inline and autolinks). The inline-only mode of parseMarkdown
// (Markdown.hpp), reduced to the attributes the application shows. Block markup (headings, list
// markers, quotes, fences, indentation, tables) stays as literal text, and every blank, tab and
// line break of the source is kept where it stands.
class InlineMarkdown {
public:
    // Texts larger than this are refused rather than parsed.
    static constexpr std::size_t maximumLength = 8 * 1024 * 1024;

    // Throws InlineMarkdownError for text that is not valid UTF-8 or is too large.
    [[nodiscard]] static AttributedText parse(std::string_view markdown);
};

} // namespace platform

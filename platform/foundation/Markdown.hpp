#pragma once

// Markdown (CommonMark with tables and strikethrough) to attributed text.
//
// Full syntax. The text holds the characters of the blocks one after the other, with nothing
// inserted between blocks: "# A\n\nB" gives "AB". Every run carries the PresentationIntent of all
// blocks that enclose it (innermost first, identities numbered from 1 in document order as blocks
// are entered), and, where inline markup applies, an InlinePresentationIntent, a link or an image
// URL. Choices where markdown leaves the text open:
//   - a soft line break is one space with the softBreak bit; a hard break is "\n" with lineBreak;
//   - a code block's text is its content, final line feed included; its language hint is the first
//     word of the info string, nil when there is none;
//   - a thematic break is one "\n" carrying its thematicBreak component, so the block has a run;
//   - an HTML block is its source text with the blockHTML bit inside a paragraph of its own;
//   - an image contributes its alternative text with the image URL; an image without alternative
//     text contributes U+FFFC, so that it still has a run to be found by;
//   - list items carry ordinals counted from the list's start number (1 for bullet lists); table
//     rows count from 1 below the header row (tableHeaderRow), cells from 0; a column without an
//     alignment marker is left-aligned;
//   - link and image destinations are percent-encoded where a URL may not hold a character and
//     resolved against the base URL when relative; a destination that still is no URL gives no
//     link.
// Blocks without any text (an empty code block or list item) leave no run.
//
// Inline-only syntax, preserving whitespace: block markers stay literal text and every blank, tab
// and line break of the source stays where it is; only emphasis, strong emphasis, code spans,
// strikethrough, links, images and inline HTML apply. Runs carry no PresentationIntent.
//
// Input is bounded: text that is not valid UTF-8, holds a NUL character or is longer than
// maximumMarkdownLength is an error (with the partial-result policy, bad bytes and NULs are
// replaced by U+FFFD instead). Nesting depth costs no stack: the tree is walked iteratively.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/Regex.hpp"
#include "platform/foundation/URL.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MarkdownParsingOptions {
    enum class InterpretedSyntax : std::uint8_t { full, inlineOnlyPreservingWhitespace };
    enum class FailurePolicy : std::uint8_t { throwError, returnPartiallyParsedIfPossible };

    // Extended attribute syntax (^[text](key: value)) is not interpreted; the flag is kept so
    // that options compare as callers set them.
    bool allowsExtendedAttributes = false;
    InterpretedSyntax interpretedSyntax = InterpretedSyntax::full;
    FailurePolicy failurePolicy = FailurePolicy::throwError;
    std::optional<std::string> languageCode;

    friend bool operator==(const MarkdownParsingOptions&, const MarkdownParsingOptions&) = default;
};

class MarkdownParsingError : public Error {
public:
    explicit MarkdownParsingError(std::string message)
        : message_(std::move(message)) {}
    [[nodiscard]] std::string localizedDescription() const override { return message_; }

private:
    std::string message_;
};

inline constexpr std::size_t maximumMarkdownLength = 16 * 1024 * 1024;

// Throws MarkdownParsingError (see above).
[[nodiscard]] AttributedString parseMarkdown(std::string_view markdown,
                                             const MarkdownParsingOptions& options = {},
                                             const std::optional<URL>& baseURL = std::nullopt);

// The same, with stretches of inline text kept as written: wherever one of `verbatim` matches at
// a character of inline content (the match tried anchored there, on the content as written), the
// matched characters reach the text unchanged: no backslash escape, entity, emphasis, link or
// line break applies inside them. Code spans, code blocks, HTML and autolinks are read first and
// stay as they are; a stretch that would hold a backtick is not taken, so that a code span
// opening inside it stays one. Only expressions that start with a fixed character markdown gives no
// meaning of its own ("$", not "*" or "`") take part. Throws what matching throws (RegexError).
[[nodiscard]] AttributedString parseMarkdown(std::string_view markdown,
                                             const MarkdownParsingOptions& options,
                                             const std::optional<URL>& baseURL,
                                             std::span<const Regex> verbatim);

// Parses and drops the syntax tree without building any text: the cost of the underlying parser
// alone, which benchmarks compare the whole parse against.
void parseMarkdownSyntaxOnly(std::string_view markdown, const MarkdownParsingOptions& options = {});

// A top-level block of a full-syntax parse, for parsing a changed document again only where it
// changed (see IncrementalMarkdown.hpp).
struct MarkdownTopLevelBlock {
    // The line the block starts on, counted from 0.
    int line = 0;
    // How many block identities the block and all blocks inside it take.
    int identities = 0;
    // Whether a line after a blank line could still belong to it (lists, indented code).
    bool continuesPastBlankLine = false;
    // Tables may take their header row from the last line of a paragraph before them.
    bool table = false;
};

struct MarkdownBlocksParse {
    AttributedString text;
    std::vector<MarkdownTopLevelBlock> blocks;
};

// parseMarkdown with full syntax, recording the top-level blocks, with identities numbered on from
// `identitiesBefore` (0 gives a whole document's numbering). With `closedEnd`, the text must end
// with a line break and nothing may be left open at its end that a further line could join, save
// what continuesPastBlankLine tells: nullopt otherwise. Throws as parseMarkdown does.
[[nodiscard]] std::optional<MarkdownBlocksParse>
parseMarkdownBlocks(std::string_view markdown, const MarkdownParsingOptions& options,
                    const std::optional<URL>& baseURL, std::span<const Regex> verbatim,
                    int identitiesBefore, bool closedEnd);

// `reference` resolved against `base` (RFC 3986, section 5.2), dot segments removed; the
// reference itself when it has a scheme. Exposed for tests.
[[nodiscard]] std::string resolveURLReference(std::string_view base, std::string_view reference);

} // namespace platform

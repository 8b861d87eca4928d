#pragma once

// Markdown parsed again, after a change, only where it changed, as an editor's preview does.
//
// Each parse keeps the markdown, its text and its top-level blocks (where each starts in the
// markdown and in the text, which block identities it takes). The next markdown is compared with
// the kept one; the changed stretch is widened to whole top-level blocks, and to blocks whose
// neighbours cannot reach into them: a re-parse starts only at a block that follows a blank line
// after a block that a blank line closes, and ends only before such a block, once the parse of
// the stretch is seen to leave nothing open. Only that stretch is parsed; its text replaces the
// old blocks' text, with the identities after it renumbered. Anything that could make the result
// differ from a whole parse is parsed whole: link reference definitions anywhere (they reach
// across blocks), carriage returns, a stretch that leaves something open, another configuration.

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Markdown.hpp"
#include "platform/foundation/Regex.hpp"
#include "platform/foundation/URL.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Whether the markdown may hold a link reference definition (or a footnote-like "[^x]:" one): a
// "]:" whose "[" opens a line once container markers and indentation are set aside. Errs towards
// yes.
[[nodiscard]] bool mayDefineLinkReferences(std::string_view markdown);

class IncrementalMarkdown {
public:
    // Applied to every freshly parsed text before it is kept, as a pass that rewrites runs one
    // at a time and keeps each run's presentation intent (so that blocks are still found by it).
    using Finish = std::function<AttributedString(AttributedString)>;

    // What the last parse did.
    struct Statistics {
        bool incremental = false;
        // Bytes of markdown handed to the markdown parser.
        std::size_t parsedBytes = 0;
    };

    // Equal to finish(parseMarkdown(markdown, options, baseURL, verbatim)) in full syntax,
    // provided the options, base URL, expressions and finish are those of the previous call
    // (reset() otherwise). Throws what those throw; a throw forgets the previous parse.
    [[nodiscard]] AttributedString parse(std::string_view markdown,
                                         const MarkdownParsingOptions& options,
                                         const std::optional<URL>& baseURL,
                                         std::span<const Regex> verbatim, const Finish& finish);

    void reset();
    [[nodiscard]] const Statistics& statistics() const noexcept { return statistics_; }

private:
    struct Block {
        std::size_t sourceOffset = 0; // start of its first line
        std::size_t textOffset = 0;   // where its text starts
        int identitiesBefore = 0;     // its first identity is one more
        int identities = 0;
        bool continuesPastBlankLine = false;
        bool table = false;
    };

    AttributedString parseWhole(std::string_view markdown, const MarkdownParsingOptions& options,
                                const std::optional<URL>& baseURL, std::span<const Regex> verbatim,
                                const Finish& finish);
    std::optional<AttributedString> parseChange(std::string_view markdown,
                                                const MarkdownParsingOptions& options,
                                                const std::optional<URL>& baseURL,
                                                std::span<const Regex> verbatim,
                                                const Finish& finish);

    static void findTextOffsets(const AttributedString& text, std::size_t base,
                                std::vector<Block>::iterator first,
                                std::vector<Block>::iterator last);

    bool kept_ = false;
    bool textOffsetsKnown_ = false;
    std::string source_;
    AttributedString text_;
    std::vector<Block> blocks_;
    Statistics statistics_;
};

} // namespace platform

#pragma once

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Markdown.hpp"

#include <memory>
#include <string_view>

namespace vellum {

// Turns markup text into attributed text. The text views hold one and show empty text when it
// throws.
class MarkupParser {
public:
    // What a parser keeps of one parse for the parse of the next version of the same text.
    class Memory {
    public:
        virtual ~Memory() = default;
    };

    virtual ~MarkupParser() = default;
    [[nodiscard]] virtual platform::AttributedString
    attributedString(std::string_view markup) const = 0;
    // The same result as attributedString(markup). A parser that can parse a changed text in part
    // keeps what it needs in `memory` (empty at first) and reuses what a parser configured as it
    // is left there; others leave it empty.
    [[nodiscard]] virtual platform::AttributedString
    attributedStringReusing(std::string_view markup, std::unique_ptr<Memory>& memory) const {
        memory.reset();
        return attributedString(markup);
    }
};

// What a text view shows for `markup`: the parser's result, or empty text when it throws.
[[nodiscard]] platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                                 std::string_view markup);

// The same, reusing `memory` as MarkupParser::attributedStringReusing does (emptied on a throw).
[[nodiscard]] platform::AttributedString
attributedStringOrEmpty(const MarkupParser& parser, std::string_view markup,
                        std::unique_ptr<MarkupParser::Memory>& memory);

// The options the text views parse with: plain attributes, no language, and a failure that
// throws (so that the view shows nothing rather than half a document).
[[nodiscard]] platform::MarkdownParsingOptions
viewParsingOptions(platform::MarkdownParsingOptions::InterpretedSyntax syntax);

} // namespace vellum

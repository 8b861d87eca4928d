#pragma once

#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Markdown.hpp"

#include <string_view>

namespace vellum {

// Turns markup text into attributed text. The text views hold one and show empty text when it
// throws.
class MarkupParser {
public:
    virtual ~MarkupParser() = default;
    [[nodiscard]] virtual platform::AttributedString
    attributedString(std::string_view markup) const = 0;
};

// What a text view shows for `markup`: the parser's result, or empty text when it throws.
[[nodiscard]] platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                                 std::string_view markup);

// The options the text views parse with: plain attributes, no language, and a failure that
// throws (so that the view shows nothing rather than half a document).
[[nodiscard]] platform::MarkdownParsingOptions
viewParsingOptions(platform::MarkdownParsingOptions::InterpretedSyntax syntax);

} // namespace vellum

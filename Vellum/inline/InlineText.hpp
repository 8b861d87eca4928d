#pragma once

// A short piece of inline markdown drawn as one text: parsed with whitespace kept and only inline
// syntax interpreted, images and emoji loaded as attachments, the environment's inline style
// applied, attachments drawn over the text, selectable where the environment allows selection.
// Markup the parser rejects shows as empty text.

#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/markdown/MarkupParser.hpp"
#include "platform/foundation/URL.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellum {

class InlineText {
public:
    explicit InlineText(std::string markup, std::optional<platform::URL> baseURL = std::nullopt,
                        std::vector<AttributedStringMarkdownParser::SyntaxExtension>
                            syntaxExtensions = AttributedStringMarkdownParser::syntaxExtensions(
                                AttributedStringMarkdownParser::defaultPatternOptions()));
    // The parser keeps its own configuration.
    InlineText(std::string markup, std::shared_ptr<const MarkupParser> parser)
        : markup_(std::move(markup))
        , parser_(std::move(parser)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

    // What the view shows for `markup`: the parser's result, or empty text when it throws.
    [[nodiscard]] static platform::AttributedString parse(const MarkupParser& parser,
                                                          std::string_view markup);

private:
    std::string markup_;
    std::shared_ptr<const MarkupParser> parser_;
};

} // namespace vellum

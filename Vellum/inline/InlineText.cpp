#include "Vellum/inline/InlineText.hpp"

#include "Vellum/attachments/WithAttachments.hpp"
#include "Vellum/inline/SelectableText.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/inline/WithInlineStyle.hpp"

namespace vellum {

using platform::AttributedString;
using platform::ui::AnyView;

InlineText::InlineText(
    std::string markup, std::optional<platform::URL> baseURL,
    std::vector<AttributedStringMarkdownParser::SyntaxExtension> syntaxExtensions)
    : markup_(std::move(markup))
    , parser_(std::make_shared<const AttributedStringMarkdownParser>(
          std::move(baseURL),
          viewParsingOptions(
              platform::MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace),
          std::move(syntaxExtensions))) {}

AttributedString InlineText::parse(const MarkupParser& parser, std::string_view markup) {
    return attributedStringOrEmpty(parser, markup);
}

AnyView InlineText::body(platform::ui::ViewContext& context) const {
    const platform::ui::State<AttributedString> attributedString =
        context.state<AttributedString>(AttributedString());
    return AnyView(WithAttachments(*attributedString,
                                   [](const AttributedString& resolved) {
                                       return AnyView(WithInlineStyle(
                                           resolved, [](const AttributedString& styled) {
                                               return selectableText(AnyView(TextFragment(styled)));
                                           }));
                                   }))
        .coordinateSpace(textContainerSpace)
        .onChange<std::string>(
            markup_,
            [attributedString, parser = parser_](const std::string& /*old*/,
                                                 const std::string& markup) {
                attributedString.set(parse(*parser, markup));
            },
            true);
}

} // namespace vellum

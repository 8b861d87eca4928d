#include "Vellum/blocks/StructuredText.hpp"

#include "Vellum/attachments/WithAttachments.hpp"
#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/BlockVStack.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"

namespace vellum {

using platform::AttributedString;
using platform::ui::AnyView;

StructuredText::StructuredText(
    std::string markdown, std::optional<platform::URL> baseURL,
    std::vector<AttributedStringMarkdownParser::SyntaxExtension> syntaxExtensions)
    : markup_(std::move(markdown))
    , parser_(std::make_shared<const AttributedStringMarkdownParser>(
          std::move(baseURL),
          viewParsingOptions(platform::MarkdownParsingOptions::InterpretedSyntax::full),
          std::move(syntaxExtensions))) {}

AttributedString StructuredText::parse(const MarkupParser& parser, std::string_view markup) {
    return attributedStringOrEmpty(parser, markup);
}

namespace {

// The parser's memory of the last parse, so that an edit is parsed again only where it changed.
struct ParseMemory {
    std::unique_ptr<MarkupParser::Memory> memory;
};

} // namespace

AnyView StructuredText::body(platform::ui::ViewContext& context) const {
    const platform::ui::State<AttributedString> attributedString =
        context.state<AttributedString>(AttributedString());
    const std::shared_ptr<ParseMemory> memory =
        context.stateObject<ParseMemory>([] { return std::make_shared<ParseMemory>(); });
    return AnyView(WithAttachments(*attributedString,
                                   [](const AttributedString& resolved) {
                                       return AnyView(
                                                  structured::BlockContent(std::nullopt, resolved))
                                           .modifier(TextSelectionInteraction())
                                           .modifier(TextSelectionCoordination());
                                   }))
        .coordinateSpace(textContainerSpace)
        .onChange<std::string>(
            markup_,
            [attributedString, parser = parser_, memory](const std::string& /*old*/,
                                                         const std::string& markup) {
                attributedString.set(attributedStringOrEmpty(*parser, markup, memory->memory));
            },
            true)
        // A line limit of the host is meant for its own texts, not to cut the blocks short.
        .lineLimit(std::nullopt)
        // The document's blocks are laid out as they come into view.
        .environment<structured::LazyBlockStackKey>(true);
}

} // namespace vellum

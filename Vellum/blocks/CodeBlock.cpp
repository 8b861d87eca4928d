#include "Vellum/blocks/CodeBlock.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/blocks/HighlightedTextFragment.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

namespace {

// The parser ends a code block's text with the line feed that closed its last line; shown, it
// would be an empty last line. Only that one goes: a block ending in a blank line keeps it.
platform::AttributedSubstring withoutClosingLineFeed(const platform::AttributedSubstring& content) {
    const std::string_view text = content.characters();
    if (text.empty() || text.back() != '\n' ||
        (text.size() >= 2 && text[text.size() - 2] == '\r')) {
        return content;
    }
    platform::AttributedString::Range range = content.range();
    range.upperBound.offset -= 1;
    return content[range];
}

} // namespace

CodeBlock::CodeBlock(const platform::AttributedSubstring& content,
                     std::optional<std::string> languageHint)
    : content_(withoutClosingLineFeed(content))
    , languageHint_(std::move(languageHint)) {}

platform::ui::AnyView CodeBlock::body(platform::ui::ViewContext& context) const {
    auto theme = std::make_shared<const HighlighterTheme>(highlighterTheme(context.environment()));
    CodeBlockStyleConfiguration configuration{
        ConfigurationContent(HighlightedTextFragment(content_, languageHint_, theme)),
        sharedIndentationLevel(content_), languageHint_, CodeBlockProxy{content_}, *theme};
    // The style's body stands in the code block's place: one node fewer.
    const std::shared_ptr<const CodeBlockStyle> style = codeBlockStyle(context.environment());
    return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
}

} // namespace vellum::structured

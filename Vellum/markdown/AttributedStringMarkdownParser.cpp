#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include "platform/foundation/Hash.hpp"

namespace vellum {

using platform::AttributedString;
using platform::MarkdownParsingOptions;

std::size_t AttributedStringMarkdownParser::PatternOptions::hash() const noexcept {
    // Order-independent over the set, then the flag.
    std::size_t seed = emoji.size();
    for (const Emoji& item : emoji) {
        seed += platform::hashCombine(0, std::hash<Emoji>()(item));
    }
    return seed * 31 + (mathExpressions ? 1 : 0);
}

std::vector<AttributedStringMarkdownParser::SyntaxExtension>
AttributedStringMarkdownParser::syntaxExtensions(const PatternOptions& options) {
    std::vector<SyntaxExtension> extensions;
    if (!options.emoji.empty()) {
        extensions.push_back(SyntaxExtension::emoji(options.emoji));
    }
    if (options.mathExpressions) {
        extensions.push_back(SyntaxExtension::math());
    }
    return extensions;
}

MarkdownParsingOptions
AttributedStringMarkdownParser::parsingOptions(MarkdownParsingOptions::InterpretedSyntax syntax) {
    MarkdownParsingOptions options;
    options.allowsExtendedAttributes = false;
    options.interpretedSyntax = syntax;
    options.failurePolicy = MarkdownParsingOptions::FailurePolicy::throwError;
    options.languageCode = std::nullopt;
    return options;
}

AttributedStringMarkdownParser::AttributedStringMarkdownParser(
    std::optional<platform::URL> baseURL, MarkdownParsingOptions options,
    std::vector<SyntaxExtension> syntaxExtensions)
    : baseURL_(std::move(baseURL))
    , options_(std::move(options))
    , processor_(std::move(syntaxExtensions)) {}

AttributedStringMarkdownParser::AttributedStringMarkdownParser(std::optional<platform::URL> baseURL,
                                                               MarkdownParsingOptions options,
                                                               const PatternOptions& patternOptions)
    : AttributedStringMarkdownParser(std::move(baseURL), std::move(options),
                                     syntaxExtensions(patternOptions)) {}

AttributedStringMarkdownParser
AttributedStringMarkdownParser::markdown(std::optional<platform::URL> baseURL,
                                         const PatternOptions& patternOptions) {
    return {std::move(baseURL), parsingOptions(MarkdownParsingOptions::InterpretedSyntax::full),
            patternOptions};
}

AttributedStringMarkdownParser
AttributedStringMarkdownParser::markdown(std::optional<platform::URL> baseURL,
                                         std::vector<SyntaxExtension> syntaxExtensions) {
    return {std::move(baseURL), parsingOptions(MarkdownParsingOptions::InterpretedSyntax::full),
            std::move(syntaxExtensions)};
}

AttributedStringMarkdownParser
AttributedStringMarkdownParser::inlineMarkdown(std::optional<platform::URL> baseURL,
                                               const PatternOptions& patternOptions) {
    return {
        std::move(baseURL),
        parsingOptions(MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace),
        patternOptions};
}

AttributedStringMarkdownParser
AttributedStringMarkdownParser::inlineMarkdown(std::optional<platform::URL> baseURL,
                                               std::vector<SyntaxExtension> syntaxExtensions) {
    return {
        std::move(baseURL),
        parsingOptions(MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace),
        std::move(syntaxExtensions)};
}

AttributedString AttributedStringMarkdownParser::attributedString(std::string_view markup) const {
    const AttributedString parsed = platform::parseMarkdown(markup, options_, baseURL_);
    return processor_.processPatterns(parsed);
}

} // namespace vellum

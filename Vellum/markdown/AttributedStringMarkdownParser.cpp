#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include "platform/foundation/Hash.hpp"
#include "platform/foundation/Unicode.hpp"

#include <cstring>

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
    , processor_(std::move(syntaxExtensions)) {
    for (const SyntaxExtension& extension : processor_.syntaxExtensions()) {
        if (extension.verbatim()) {
            for (const PatternTokenizer::Pattern& pattern : extension.patterns()) {
                verbatimPatterns_.push_back(pattern.regex);
            }
        }
    }
}

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

namespace {

// A document is text typed or fetched by people: one stray byte must not cost the reader all of
// it. Malformed sequences and NULs become U+FFFD, so the markdown parser only refuses what is
// truly too large.
std::string readableMarkup(std::string_view markup) {
    std::string repaired = platform::unicode::makeValidUtf8(markup);
    if (std::memchr(repaired.data(), 0, repaired.size()) == nullptr) {
        return repaired;
    }
    std::string out;
    out.reserve(repaired.size() + 16);
    for (const char c : repaired) {
        if (c == '\0') {
            out += "\xEF\xBF\xBD";
        } else {
            out += c;
        }
    }
    return out;
}

bool isReadable(std::string_view markup) {
    return std::memchr(markup.data(), 0, markup.size()) == nullptr &&
           platform::unicode::isValidUtf8(markup);
}

} // namespace

AttributedString AttributedStringMarkdownParser::attributedString(std::string_view markup) const {
    std::string repaired;
    if (!isReadable(markup)) {
        repaired = readableMarkup(markup);
        markup = repaired;
    }
    const AttributedString parsed =
        platform::parseMarkdown(markup, options_, baseURL_, verbatimPatterns_);
    return processor_.processPatterns(parsed);
}

} // namespace vellum

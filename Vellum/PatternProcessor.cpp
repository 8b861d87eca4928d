#include "Vellum/AttributedStringMarkdownParser.hpp"

namespace vellum {

using platform::AttributedString;
using platform::InlinePresentationIntent;
using platform::PresentationIntent;
using Foundation = platform::AttributeScopes::FoundationAttributes;
using PatternProcessor = AttributedStringMarkdownParser::PatternProcessor;

namespace {

std::vector<PatternTokenizer::Pattern>
concatenatedPatterns(const std::vector<AttributedStringMarkdownParser::SyntaxExtension>& list) {
    std::vector<PatternTokenizer::Pattern> patterns;
    for (const auto& extension : list) {
        patterns.insert(patterns.end(), extension.patterns().begin(), extension.patterns().end());
    }
    return patterns;
}

// Code, inline HTML and block HTML keep their characters as written.
constexpr std::uint32_t literalInlineBits = InlinePresentationIntent::codeBit |
                                            InlinePresentationIntent::inlineHTMLBit |
                                            InlinePresentationIntent::blockHTMLBit;

bool isLiteral(const platform::AttributeContainer& attributes) {
    if (const auto* inlineIntent = attributes.get<Foundation::InlinePresentationIntentAttribute>();
        inlineIntent != nullptr && inlineIntent->intersects(literalInlineBits)) {
        return true;
    }
    const auto* intent = attributes.get<Foundation::PresentationIntentAttribute>();
    return intent != nullptr && !intent->components().empty() &&
           intent->components().front().kind() == PresentationIntent::Kind::codeBlock;
}

} // namespace

PatternProcessor::PatternProcessor(std::vector<SyntaxExtension> syntaxExtensions)
    : syntaxExtensions_(std::move(syntaxExtensions))
    , tokenizer_(concatenatedPatterns(syntaxExtensions_)) {}

AttributedString PatternProcessor::processPatterns(const AttributedString& input) const {
    if (syntaxExtensions_.empty()) {
        return input;
    }
    AttributedString output;
    const std::string_view characters = input.characters();
    for (const AttributedString::Run run : input.runs()) {
        if (isLiteral(run.attributes)) {
            output.append(input[run.range]);
            continue;
        }
        const std::string_view text =
            characters.substr(run.range.lowerBound.offset, run.range.length());
        const std::vector<PatternTokenizer::Token> tokens = tokenizer_.tokenize(text);
        if (tokens.size() == 1 && tokens.front().type == PatternTokenizer::TokenType::text()) {
            output.append(input[run.range]);
            continue;
        }
        for (const PatternTokenizer::Token& token : tokens) {
            if (token.type == PatternTokenizer::TokenType::text()) {
                output.append(token.content, run.attributes);
                continue;
            }
            std::optional<AttributedString> replacement;
            for (const SyntaxExtension& extension : syntaxExtensions_) {
                if (extension.owns(token.type)) {
                    // Only the first owner is asked.
                    replacement = extension.replace(token, run.attributes);
                    break;
                }
            }
            if (replacement) {
                output.append(*replacement);
            } else {
                output.append(token.content, run.attributes);
            }
        }
    }
    return output;
}

} // namespace vellum

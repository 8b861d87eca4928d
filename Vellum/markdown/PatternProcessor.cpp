#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include <array>

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
    , tokenizer_(concatenatedPatterns(syntaxExtensions_)) {
    // Token types are compared by name: an extension may own a type another one also matches.
    for (const PatternTokenizer::Pattern& pattern : tokenizer_.patterns()) {
        std::optional<std::size_t> owner;
        for (std::size_t i = 0; i < syntaxExtensions_.size() && !owner; ++i) {
            if (syntaxExtensions_[i].owns(pattern.tokenType)) {
                owner = i;
            }
        }
        owners_.push_back(owner);
    }
}

AttributedString PatternProcessor::processPatterns(const AttributedString& input) const {
    if (syntaxExtensions_.empty()) {
        return input;
    }
    AttributedString output;
    output.reserve(input.characters().size() + 64, input.runs().size() + 64);
    const std::string_view characters = input.characters();
    // Runs left as they are pile up and are copied in one piece.
    AttributedString::Index unchanged = input.startIndex();
    // A built-in replacement depends on its token and its run's attributes alone: a token like
    // one of the last few, in a run of the same attributes, gets the same replacement, whose
    // attributes (a formula's or an emoji's attachment) all its copies then share instead of one
    // each.
    struct Replaced {
        std::size_t pattern = 0;
        std::string text;
        platform::AttributeContainer attributes;
        std::optional<AttributedString> replacement;
    };
    std::array<std::optional<Replaced>, 4> recent;
    std::size_t recentCount = 0;
    const auto known =
        [&recent](std::size_t pattern, std::string_view matched,
                  const platform::AttributeContainer& attributes) -> const Replaced* {
        for (const std::optional<Replaced>& one : recent) {
            if (one && one->pattern == pattern && one->text == matched &&
                one->attributes == attributes) {
                return &*one;
            }
        }
        return nullptr;
    };
    for (const AttributedString::Run run : input.runs()) {
        const std::string_view text =
            characters.substr(run.range.lowerBound.offset, run.range.length());
        if (isLiteral(run.attributes) || !tokenizer_.mayMatch(text)) {
            continue;
        }
        // Attributed text is valid UTF-8 throughout.
        const std::vector<PatternTokenizer::Span> spans = tokenizer_.spans(text);
        if (spans.size() == 1 && !spans.front().pattern) {
            continue;
        }
        const std::size_t base = run.range.lowerBound.offset;
        for (const PatternTokenizer::Span& span : spans) {
            if (!span.pattern) {
                continue;
            }
            std::optional<AttributedString> replacement;
            const std::string_view matched = text.substr(span.begin, span.end - span.begin);
            if (const Replaced* same = known(*span.pattern, matched, run.attributes)) {
                replacement = same->replacement;
            } else if (const std::optional<std::size_t> owner = owners_[*span.pattern]) {
                std::optional<std::string> captured;
                if (span.capture) {
                    captured = std::string(
                        text.substr(span.capture->begin, span.capture->end - span.capture->begin));
                }
                const PatternTokenizer::Token token{tokenizer_.patterns()[*span.pattern].tokenType,
                                                    std::string(matched), std::move(captured)};
                // Only the first owner is asked.
                const SyntaxExtension& extension = syntaxExtensions_[*owner];
                replacement = extension.replace(token, run.attributes);
                if (!extension.builtIn().empty()) {
                    recent[recentCount++ % recent.size()] =
                        Replaced{*span.pattern, token.content, run.attributes, replacement};
                }
            }
            if (replacement) {
                // What comes before the match stays as it was; the match is replaced.
                output.append(input[{unchanged, {base + span.begin}}]);
                output.append(*replacement);
                unchanged = {base + span.end};
            }
        }
    }
    if (unchanged == input.startIndex()) {
        return input;
    }
    output.append(input[{unchanged, input.endIndex()}]);
    return output;
}

} // namespace vellum

#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include <map>

namespace vellum {

using platform::AttributeContainer;
using platform::AttributedString;
using SyntaxExtension = AttributedStringMarkdownParser::SyntaxExtension;

namespace {

// The expressions are compiled once per process; copies share the compiled code.
const std::vector<PatternTokenizer::Pattern>& mathPatterns() {
    static const std::vector<PatternTokenizer::Pattern> patterns = {
        {platform::Regex(R"((?s)\$\$(.+?)\$\$)"), "mathBlock"},
        {platform::Regex(R"(\$(?!\$)((?:\\\$|[^$\n])+)\$)"), "mathInline"},
    };
    return patterns;
}

const PatternTokenizer::Pattern& emojiPattern() {
    static const PatternTokenizer::Pattern pattern = {platform::Regex(R"(:([a-zA-Z0-9_+-]+):)"),
                                                      "emoji"};
    return pattern;
}

} // namespace

bool SyntaxExtension::owns(const PatternTokenizer::TokenType& type) const {
    for (const PatternTokenizer::Pattern& pattern : patterns_) {
        if (pattern.tokenType == type) {
            return true;
        }
    }
    return false;
}

SyntaxExtension SyntaxExtension::math() {
    SyntaxExtension extension(
        mathPatterns(),
        [](const PatternTokenizer::Token& token,
           const AttributeContainer& attributes) -> std::optional<AttributedString> {
            if (!token.capturedContent) {
                return std::nullopt;
            }
            const auto style = token.type == PatternTokenizer::TokenType("mathBlock")
                                   ? MathAttachment::DisplayStyle::block
                                   : MathAttachment::DisplayStyle::inline_;
            AttributeContainer container = attributes;
            setAttachment(container, AnyAttachment(MathAttachment(*token.capturedContent, style)));
            return AttributedString("\xEF\xBF\xBC", container); // U+FFFC
        },
        true);
    extension.builtIn_ = "math";
    return extension;
}

SyntaxExtension SyntaxExtension::emoji(const std::unordered_set<Emoji>& set) {
    if (set.empty()) {
        SyntaxExtension none({}, {});
        none.builtIn_ = "emoji";
        return none;
    }
    auto table = std::make_shared<std::map<std::string, Emoji, std::less<>>>();
    for (const Emoji& item : set) {
        const auto [entry, inserted] = table->emplace(item.shortcode, item);
        if (!inserted && item.url.absoluteString() < entry->second.url.absoluteString()) {
            entry->second = item;
        }
    }
    std::string builtIn = "emoji";
    for (const auto& [shortcode, item] : *table) {
        builtIn.append("\n").append(shortcode).append(" ").append(item.url.absoluteString());
    }
    SyntaxExtension extension(
        {emojiPattern()},
        [table = std::shared_ptr<const std::map<std::string, Emoji, std::less<>>>(std::move(
             table))](const PatternTokenizer::Token& token,
                      const AttributeContainer& attributes) -> std::optional<AttributedString> {
            if (!token.capturedContent || table->empty()) {
                return std::nullopt;
            }
            const auto found = table->find(*token.capturedContent);
            if (found == table->end()) {
                return std::nullopt;
            }
            AttributeContainer container = attributes;
            container.set<VellumAttributes::EmojiURLAttribute>(found->second.url);
            return AttributedString(*token.capturedContent, container);
        });
    extension.builtIn_ = std::move(builtIn);
    return extension;
}

} // namespace vellum

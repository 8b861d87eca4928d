#include "Vellum/highlighting/HighlightedText.hpp"

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"

#include <unordered_map>

namespace vellum {

namespace {

using Intent = platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

// The presentation intent every run of `content` has; nullopt when runs differ or have none.
std::optional<platform::PresentationIntent>
uniformIntent(const platform::AttributedSubstring& content) {
    std::optional<platform::PresentationIntent> intent;
    bool first = true;
    for (const platform::AttributedString::Run& run : content.runs()) {
        const platform::PresentationIntent* const value = run.get<Intent>();
        if (first) {
            if (value == nullptr) {
                return std::nullopt;
            }
            intent = *value;
            first = false;
        } else if (value == nullptr || *value != *intent) {
            return std::nullopt;
        }
    }
    return intent;
}

} // namespace

platform::AttributedString highlightCode(std::span<const CodeToken> tokens,
                                         const platform::AttributedSubstring& content,
                                         const HighlighterTheme& theme,
                                         const TextEnvironmentValues& environment) {
    platform::AttributeContainer base;
    base.set<Intent>(uniformIntent(content));
    base.set<TextAttributeScope::ForegroundColorAttribute>(
        theme.foregroundColor.resolve(environment.colorEnvironment()));

    // Tokens of one type look alike: each type's attributes are made once.
    std::unordered_map<std::string_view, platform::AttributeContainer> attributesByType;
    const auto attributesFor =
        [&](const HighlighterTheme::TokenType& type) -> const platform::AttributeContainer& {
        const auto found = attributesByType.find(type.rawValue());
        if (found != attributesByType.end()) {
            return found->second;
        }
        platform::AttributeContainer attributes = base;
        if (const auto property = theme.tokenProperties.find(type);
            property != theme.tokenProperties.end()) {
            property->second.apply(attributes, environment);
        }
        return attributesByType.emplace(type.rawValue(), std::move(attributes)).first->second;
    };

    platform::AttributedString result;
    std::size_t length = 0;
    for (const CodeToken& token : tokens) {
        length += token.content.size();
    }
    result.reserve(length, tokens.size());
    for (const CodeToken& token : tokens) {
        result.append(token.content, attributesFor(token.type));
    }
    return result;
}

bool isTokenized(const std::optional<std::string>& languageHint, const CodeTokenizer* tokenizer) {
    return tokenizer != nullptr && languageHint && tokenizer->knowsLanguage(*languageHint);
}

platform::Task<std::shared_ptr<const std::vector<CodeToken>>>
tokenizeCodeBlock(std::string code, std::optional<std::string> languageHint,
                  std::shared_ptr<CodeTokenizer> tokenizer) {
    if (!isTokenized(languageHint, tokenizer.get())) {
        co_return nullptr;
    }
    // The call stands apart from the await: g++ 12 can destroy the argument temporaries of a call
    // made inside a co_await expression twice.
    auto tokenizing = tokenizer->tokenizeShared(std::move(code), std::move(*languageHint));
    co_return co_await std::move(tokenizing);
}

} // namespace vellum

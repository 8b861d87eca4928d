#pragma once

// One piece of highlighted code: its text and its kind.

#include "Vellum/highlighting/HighlighterTheme.hpp"
#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vellum {

struct CodeToken {
    // A contiguous piece of the code.
    std::string content;
    // The highlighter's name for it, kept as given.
    HighlighterTheme::TokenType type;

    friend bool operator==(const CodeToken&, const CodeToken&) = default;
};

// The whole of `code` as one "plain" token: what code shows before or without tokenizing.
[[nodiscard]] inline std::vector<CodeToken> plainCodeTokens(std::string code) {
    std::vector<CodeToken> tokens;
    tokens.push_back(CodeToken{std::move(code), HighlighterTheme::TokenType::plain});
    return tokens;
}

} // namespace vellum

template <>
struct std::hash<vellum::CodeToken> {
    std::size_t operator()(const vellum::CodeToken& token) const noexcept {
        std::size_t seed = std::hash<std::string>{}(token.content);
        vellum::detail::hashValue(seed, token.type);
        return seed;
    }
};

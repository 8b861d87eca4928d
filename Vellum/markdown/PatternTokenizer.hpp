#pragma once

// Cuts a string into tokens with an ordered list of patterns. At each position the patterns are
// tried in order as a match anchored there; the first that matches makes a token of its type and
// the position moves past the match. Characters (extended grapheme clusters) that no pattern
// matches gather into "text" tokens; consecutive ones form a single token.
//
// Patterns run with the regular-expression engine's match limits, so tokenizing costs about the
// text's length times the number of patterns. Positions whose first byte no pattern can start
// with are not tried at all, and a text without any such byte is one "text" token at once.

#include "platform/foundation/Regex.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

class PatternTokenizer {
public:
    // A token type name; "text" is reserved for stretches no pattern matched.
    class TokenType {
    public:
        TokenType(const char* rawValue)
            : rawValue_(rawValue) {}
        explicit TokenType(std::string rawValue)
            : rawValue_(std::move(rawValue)) {}
        static TokenType text() { return TokenType("text"); }

        [[nodiscard]] const std::string& rawValue() const noexcept { return rawValue_; }
        friend bool operator==(const TokenType&, const TokenType&) = default;

    private:
        std::string rawValue_;
    };

    struct Pattern {
        // The whole match and one capture group. A match must not be empty: an empty match is
        // taken as no match, so the position always moves on.
        platform::Regex regex;
        TokenType tokenType;
    };

    struct Token {
        TokenType type;
        std::string content;                        // the text the token covers
        std::optional<std::string> capturedContent; // capture 1; none for "text" tokens

        friend bool operator==(const Token&, const Token&) = default;
        [[nodiscard]] std::size_t hash() const noexcept;
    };

    explicit PatternTokenizer(std::vector<Pattern> patterns);

    [[nodiscard]] const std::vector<Pattern>& patterns() const noexcept { return patterns_; }

    // Throws platform::RegexError when a match fails (a limit is hit). Malformed UTF-8 is read as
    // U+FFFD; `text` known to be valid skips that check.
    [[nodiscard]] std::vector<Token> tokenize(std::string_view text, bool validUTF8 = false) const;

    // The tokens as byte ranges of `text`, without copying any text: `pattern` is the index of
    // the matching pattern, none for a "text" stretch.
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::optional<std::size_t> pattern;
        std::optional<platform::Regex::Group> capture;
    };
    // Throws platform::RegexError. `text` must be valid UTF-8 and non-empty, and patterns must
    // exist.
    [[nodiscard]] std::vector<Span> spans(std::string_view text) const;

    // False when no pattern can match anywhere in `text` (it holds none of the bytes a match
    // starts with): tokenizing it would give the one "text" token.
    [[nodiscard]] bool mayMatch(std::string_view text) const noexcept;

private:
    std::vector<Pattern> patterns_;
    // The first byte at or after `from` that a match can start with, or npos.
    [[nodiscard]] std::size_t findCandidate(std::string_view text, std::size_t from) const noexcept;

    // The bytes matches can start with; anyFirstByte_ when some pattern can start with anything.
    std::array<bool, 256> firstBytes_{};
    bool anyFirstByte_ = false;
    // Each pattern's first byte, where it fixes one.
    std::vector<std::optional<unsigned char>> patternFirstBytes_;
};

} // namespace vellum

template <>
struct std::hash<vellum::PatternTokenizer::TokenType> {
    std::size_t operator()(const vellum::PatternTokenizer::TokenType& type) const noexcept {
        return std::hash<std::string>()(type.rawValue());
    }
};
template <>
struct std::hash<vellum::PatternTokenizer::Token> {
    std::size_t operator()(const vellum::PatternTokenizer::Token& token) const noexcept {
        return token.hash();
    }
};

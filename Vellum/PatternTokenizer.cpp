#include "Vellum/PatternTokenizer.hpp"

#include "platform/foundation/Unicode.hpp"

#include <algorithm>

namespace vellum {

namespace {

std::size_t combine(std::size_t seed, std::size_t value) noexcept {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

} // namespace

std::size_t PatternTokenizer::Token::hash() const noexcept {
    std::size_t seed = std::hash<std::string>()(type.rawValue());
    seed = combine(seed, std::hash<std::string>()(content));
    seed = combine(seed, capturedContent ? 1 : 0);
    if (capturedContent) {
        seed = combine(seed, std::hash<std::string>()(*capturedContent));
    }
    return seed;
}

PatternTokenizer::PatternTokenizer(std::vector<Pattern> patterns)
    : patterns_(std::move(patterns)) {
    for (const Pattern& pattern : patterns_) {
        const std::optional<unsigned char> first = pattern.regex.firstByte();
        if (!first) {
            firstBytes_.clear();
            return;
        }
        if (firstBytes_.find(static_cast<char>(*first)) == std::string::npos) {
            firstBytes_ += static_cast<char>(*first);
        }
    }
}

std::vector<PatternTokenizer::Token> PatternTokenizer::tokenize(std::string_view text) const {
    if (patterns_.empty()) {
        return {Token{TokenType::text(), std::string(text), std::nullopt}};
    }
    if (text.empty()) {
        return {};
    }
    // The engine would check the UTF-8 of the rest of the text at every position tried; checking
    // it once keeps tokenizing linear. Malformed text is read as U+FFFD.
    std::string repaired;
    if (!platform::unicode::isValidUtf8(text)) {
        repaired = platform::unicode::makeValidUtf8(text);
        text = repaired;
    }
    if (!firstBytes_.empty() && text.find_first_of(firstBytes_) == std::string_view::npos) {
        return {Token{TokenType::text(), std::string(text), std::nullopt}};
    }

    std::vector<std::size_t> characterStarts;
    {
        const std::vector<std::string_view> clusters = platform::unicode::graphemeClusters(text);
        characterStarts.reserve(clusters.size() + 1);
        for (const std::string_view cluster : clusters) {
            characterStarts.push_back(static_cast<std::size_t>(cluster.data() - text.data()));
        }
        characterStarts.push_back(text.size());
    }

    std::vector<Token> tokens;
    std::size_t textStart = 0; // start of the pending unmatched stretch
    std::size_t position = 0;
    std::size_t nextCharacter = 0; // index into characterStarts of the first start > position
    const auto flushText = [&](std::size_t end) {
        if (end > textStart) {
            tokens.push_back(Token{TokenType::text(),
                                   std::string(text.substr(textStart, end - textStart)),
                                   std::nullopt});
        }
    };
    while (position < text.size()) {
        const bool candidate =
            firstBytes_.empty() || firstBytes_.find(text[position]) != std::string::npos;
        bool matched = false;
        if (candidate) {
            // The remainder alone is the subject: patterns see it as a prefix match would.
            const std::string_view rest = text.substr(position);
            for (const Pattern& pattern : patterns_) {
                const auto match =
                    pattern.regex.matchAt(rest, 0, platform::Regex::Subject::validUTF8);
                if (!match || match->whole().end == 0) {
                    continue;
                }
                flushText(position);
                const std::optional<std::string_view> captured = match->group(1, rest);
                tokens.push_back(
                    Token{pattern.tokenType, std::string(rest.substr(0, match->whole().end)),
                          captured ? std::optional<std::string>(*captured) : std::nullopt});
                position += match->whole().end;
                textStart = position;
                matched = true;
                break;
            }
        }
        // Step to the next character start after `position` (a match may end inside a cluster).
        while (nextCharacter < characterStarts.size() &&
               characterStarts[nextCharacter] <= position) {
            ++nextCharacter;
        }
        if (!matched) {
            position = nextCharacter < characterStarts.size() ? characterStarts[nextCharacter]
                                                              : text.size();
        }
    }
    flushText(text.size());
    return tokens;
}

} // namespace vellum

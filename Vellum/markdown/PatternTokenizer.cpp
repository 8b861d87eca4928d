#include "Vellum/markdown/PatternTokenizer.hpp"

#include "Vellum/markdown/CharacterStarts.hpp"
#include "platform/foundation/Hash.hpp"
#include "platform/foundation/Unicode.hpp"

namespace vellum {

namespace {} // namespace

std::size_t PatternTokenizer::Token::hash() const noexcept {
    std::size_t seed = std::hash<std::string>()(type.rawValue());
    seed = platform::hashCombine(seed, std::hash<std::string>()(content));
    seed = platform::hashCombine(seed, capturedContent ? 1 : 0);
    if (capturedContent) {
        seed = platform::hashCombine(seed, std::hash<std::string>()(*capturedContent));
    }
    return seed;
}

PatternTokenizer::PatternTokenizer(std::vector<Pattern> patterns)
    : patterns_(std::move(patterns)) {
    patternFirstBytes_.reserve(patterns_.size());
    for (const Pattern& pattern : patterns_) {
        const std::optional<unsigned char> first = pattern.regex.firstByte();
        patternFirstBytes_.push_back(first);
        if (!first) {
            anyFirstByte_ = true;
        } else {
            firstBytes_[*first] = true;
        }
    }
}

bool PatternTokenizer::mayMatch(std::string_view text) const noexcept {
    return !patterns_.empty() &&
           (anyFirstByte_ || findCandidate(text, 0) != std::string_view::npos);
}

std::size_t PatternTokenizer::findCandidate(std::string_view text,
                                            std::size_t from) const noexcept {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (firstBytes_[static_cast<unsigned char>(text[i])]) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::vector<PatternTokenizer::Token> PatternTokenizer::tokenize(std::string_view text,
                                                                bool validUTF8) const {
    if (patterns_.empty()) {
        return {Token{TokenType::text(), std::string(text), std::nullopt}};
    }
    if (text.empty()) {
        return {};
    }
    // The engine would check the UTF-8 of the rest of the text at every position tried; checking
    // it once keeps tokenizing linear.
    std::string repaired;
    if (!validUTF8 && !platform::unicode::isValidUtf8(text)) {
        repaired = platform::unicode::makeValidUtf8(text);
        text = repaired;
    }
    std::vector<Token> tokens;
    for (const Span& span : spans(text)) {
        const std::string_view covered = text.substr(span.begin, span.end - span.begin);
        if (!span.pattern) {
            tokens.push_back(Token{TokenType::text(), std::string(covered), std::nullopt});
            continue;
        }
        std::optional<std::string> captured;
        if (span.capture) {
            captured = std::string(
                text.substr(span.capture->begin, span.capture->end - span.capture->begin));
        }
        tokens.push_back(
            Token{patterns_[*span.pattern].tokenType, std::string(covered), std::move(captured)});
    }
    return tokens;
}

std::vector<PatternTokenizer::Span> PatternTokenizer::spans(std::string_view text) const {
    if (!mayMatch(text)) {
        return {Span{0, text.size(), std::nullopt, std::nullopt}};
    }

    // Where characters start. In ASCII text every byte starts one, except a line feed after a
    // carriage return, which no pattern starts with; other text is asked only where a match may
    // be tried.
    const bool ascii = platform::unicode::isAscii(text);
    CharacterStarts characterStarts(text);

    std::vector<Span> spans;
    std::size_t textStart = 0; // start of the pending unmatched stretch
    std::size_t position = 0;
    const auto flushText = [&](std::size_t end) {
        if (end > textStart) {
            spans.push_back(Span{textStart, end, std::nullopt, std::nullopt});
        }
    };
    // The first character start after `from` (a match may end inside a cluster).
    const auto nextStart = [&](std::size_t from) {
        return ascii ? from + 1 : characterStarts.after(from);
    };
    // Whether a character starts at `at`, for the positions a match may be tried at.
    const auto startsCharacter = [&](std::size_t at) {
        return ascii || at == position || characterStarts.startsAt(at);
    };
    // One match serves every attempt, without an allocation each.
    platform::Regex::Match match;
    while (position < text.size()) {
        // Skip to the next byte a match can start with.
        if (!anyFirstByte_) {
            std::size_t candidate = findCandidate(text, position);
            while (candidate != std::string_view::npos && !startsCharacter(candidate)) {
                candidate = findCandidate(text, candidate + 1);
            }
            if (candidate == std::string_view::npos) {
                break;
            }
            position = candidate;
        }
        bool matched = false;
        // The remainder alone is the subject: patterns see it as a prefix match would.
        const std::string_view rest = text.substr(position);
        for (std::size_t index = 0; index < patterns_.size(); ++index) {
            // A pattern that must start with another byte is not asked at all.
            if (const std::optional<unsigned char> first = patternFirstBytes_[index];
                first && static_cast<unsigned char>(text[position]) != *first) {
                continue;
            }
            if (!patterns_[index].regex.matchAt(rest, 0, match,
                                                platform::Regex::Subject::validUTF8) ||
                match.whole().end == 0) {
                continue;
            }
            flushText(position);
            std::optional<platform::Regex::Group> capture;
            if (match.groups.size() > 1 && match.groups[1]) {
                capture = platform::Regex::Group{position + match.groups[1]->begin,
                                                 position + match.groups[1]->end};
            }
            spans.push_back(Span{position, position + match.whole().end, index, capture});
            position += match.whole().end;
            textStart = position;
            matched = true;
            break;
        }
        if (!matched) {
            position = nextStart(position);
        }
    }
    flushText(text.size());
    return spans;
}

} // namespace vellum

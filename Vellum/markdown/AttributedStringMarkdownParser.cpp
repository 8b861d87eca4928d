#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"

#include "Vellum/markdown/NestingLimit.hpp"
#include "platform/foundation/Hash.hpp"
#include "platform/foundation/IncrementalMarkdown.hpp"
#include "platform/foundation/Unicode.hpp"

#include <cstdint>
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

// Valid UTF-8 without NUL. Most markdown is ASCII: eight bytes at a time, and each other
// sequence checked on its own, so that one dash early on does not slow down the rest.
bool isReadable(std::string_view markup) {
    constexpr std::uint64_t highBits = 0x8080808080808080ULL;
    constexpr std::uint64_t lowBits = 0x0101010101010101ULL;
    std::size_t at = 0;
    while (at < markup.size()) {
        if (at + 8 <= markup.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, markup.data() + at, sizeof word);
            if ((word & highBits) == 0 && ((word - lowBits) & ~word & highBits) == 0) {
                at += 8;
                continue;
            }
        }
        const auto lead = static_cast<unsigned char>(markup[at]);
        if (lead == 0) {
            return false;
        }
        if (lead < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (at + length > markup.size() ||
            !platform::unicode::isValidUtf8(markup.substr(at, length))) {
            return false;
        }
        at += length;
    }
    return true;
}

// What a parse of the whole configuration depends on: parses by parsers with equal settings can
// share their memory.
struct Settings {
    std::optional<platform::URL> baseURL;
    MarkdownParsingOptions options;
    std::vector<std::string> extensions;
    friend bool operator==(const Settings&, const Settings&) = default;
};

class IncrementalMemory final : public MarkupParser::Memory {
public:
    explicit IncrementalMemory(Settings settings)
        : settings(std::move(settings)) {}
    Settings settings;
    platform::IncrementalMarkdown markdown;
};

} // namespace

AttributedString AttributedStringMarkdownParser::attributedString(std::string_view markup) const {
    std::string repaired;
    if (!isReadable(markup)) {
        repaired = readableMarkup(markup);
        markup = repaired;
    }
    const AttributedString parsed =
        platform::parseMarkdown(markup, options_, baseURL_, verbatimPatterns_);
    return withNestingLimited(processor_.processPatterns(parsed));
}

AttributedString
AttributedStringMarkdownParser::attributedStringReusing(std::string_view markup,
                                                        std::unique_ptr<Memory>& memory) const {
    Settings settings{baseURL_, options_, {}};
    for (const SyntaxExtension& extension : processor_.syntaxExtensions()) {
        if (extension.builtIn().empty()) {
            memory.reset();
            return attributedString(markup);
        }
        settings.extensions.push_back(extension.builtIn());
    }
    auto* kept = dynamic_cast<IncrementalMemory*>(memory.get());
    if (kept == nullptr || !(kept->settings == settings)) {
        auto made = std::make_unique<IncrementalMemory>(std::move(settings));
        kept = made.get();
        memory = std::move(made);
    }
    std::string repaired;
    if (!isReadable(markup)) {
        repaired = readableMarkup(markup);
        markup = repaired;
    }
    return kept->markdown.parse(markup, options_, baseURL_, verbatimPatterns_,
                                [this](AttributedString parsed) {
                                    return withNestingLimited(processor_.processPatterns(parsed));
                                });
}

} // namespace vellum

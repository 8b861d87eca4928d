#pragma once

// The library's markdown parser: the platform's markdown parser, then a pattern pass that turns
// the library's extra inline syntax (formulas between dollar signs, emoji shortcodes between
// colons) into attachments and marked runs.
//
// A parse of a text: parseMarkdown with the parser's options and base URL, then the pattern
// processor rewrites every run that is not code (inline code, inline or block HTML, code blocks)
// by tokenizing its characters with the syntax extensions' patterns and asking the extension that
// owns each token for its replacement. Runs are tokenized one at a time, so syntax never spans
// two runs. Errors of either pass reach the caller unchanged.
//
// The factories come in two forms, with the built-in extensions chosen by PatternOptions or with
// an explicit list. (The preprocessing-options spelling of the option forms is the same overload:
// PreprocessingOptions names the same type.)

#include "Vellum/attachments/Emoji.hpp"
#include "Vellum/markdown/MarkupParser.hpp"
#include "Vellum/markdown/PatternTokenizer.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/foundation/Markdown.hpp"
#include "platform/foundation/URL.hpp"

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace vellum {

class AttributedStringMarkdownParser final : public MarkupParser {
public:
    // Which built-in syntax extensions a parser uses.
    struct PatternOptions {
        // Custom emoji recognised as :shortcode:; empty means no emoji extension.
        std::unordered_set<Emoji> emoji;
        // Formulas between single or double dollar signs become math attachments.
        bool mathExpressions = false;

        friend bool operator==(const PatternOptions&, const PatternOptions&) = default;
        [[nodiscard]] std::size_t hash() const noexcept;
    };
    using PreprocessingOptions = PatternOptions;

    // Inline syntax the platform's parser does not know: patterns to look for and the
    // replacement of each match.
    class SyntaxExtension {
    public:
        // Given a token of one of the extension's own types and the attributes of the run it came
        // from, the replacement text, or nullopt to keep the matched text as it was written.
        using Replace = std::function<std::optional<platform::AttributedString>(
            const PatternTokenizer::Token&, const platform::AttributeContainer&)>;

        SyntaxExtension(std::vector<PatternTokenizer::Pattern> patterns, Replace replace)
            : patterns_(std::move(patterns))
            , replace_(std::move(replace)) {}
        // An extension whose matches are read from the markup as written: markdown's escapes,
        // entities, emphasis and line breaks do not apply inside them (code still wins). Its
        // patterns must start with a fixed character markdown gives no meaning of its own.
        SyntaxExtension(std::vector<PatternTokenizer::Pattern> patterns, Replace replace,
                        bool verbatim)
            : patterns_(std::move(patterns))
            , replace_(std::move(replace))
            , verbatim_(verbatim) {}

        // $$...$$ (may span lines) becomes a block formula and $...$ an inline one, each one
        // U+FFFC carrying a MathAttachment with the LaTeX exactly as written: backslashes,
        // braces, asterisks and line breaks inside a formula are LaTeX's, not markdown's.
        [[nodiscard]] static SyntaxExtension math();
        // :name: for a name in the set becomes the bare name carrying the emoji's URL; unknown
        // names stay as written. When two emoji of the set share a shortcode, the one whose URL
        // sorts first wins, so the choice does not depend on the set's order.
        [[nodiscard]] static SyntaxExtension emoji(const std::unordered_set<Emoji>& emoji);

        [[nodiscard]] const std::vector<PatternTokenizer::Pattern>& patterns() const noexcept {
            return patterns_;
        }
        [[nodiscard]] std::optional<platform::AttributedString>
        replace(const PatternTokenizer::Token& token,
                const platform::AttributeContainer& attributes) const {
            return replace_ ? replace_(token, attributes) : std::nullopt;
        }
        [[nodiscard]] bool owns(const PatternTokenizer::TokenType& type) const;
        [[nodiscard]] bool verbatim() const noexcept { return verbatim_; }
        // For the built-in extensions, a description of what they replace (equal descriptions,
        // equal replacements); empty for others, whose replacements cannot be compared.
        [[nodiscard]] const std::string& builtIn() const noexcept { return builtIn_; }

    private:
        std::vector<PatternTokenizer::Pattern> patterns_;
        Replace replace_;
        bool verbatim_ = false;
        std::string builtIn_;
    };

    // Runs the extensions over a parsed text.
    class PatternProcessor {
    public:
        explicit PatternProcessor(std::vector<SyntaxExtension> syntaxExtensions);

        [[nodiscard]] const std::vector<SyntaxExtension>& syntaxExtensions() const noexcept {
            return syntaxExtensions_;
        }
        [[nodiscard]] const PatternTokenizer& tokenizer() const noexcept { return tokenizer_; }

        // The input with extension syntax replaced; the input itself when there is no extension.
        // Throws platform::RegexError.
        [[nodiscard]] platform::AttributedString
        processPatterns(const platform::AttributedString& input) const;

    private:
        std::vector<SyntaxExtension> syntaxExtensions_;
        PatternTokenizer tokenizer_;
        // For each pattern of the tokenizer, the first extension owning its token type.
        std::vector<std::optional<std::size_t>> owners_;
    };

    AttributedStringMarkdownParser(std::optional<platform::URL> baseURL,
                                   platform::MarkdownParsingOptions options,
                                   std::vector<SyntaxExtension> syntaxExtensions);
    AttributedStringMarkdownParser(std::optional<platform::URL> baseURL,
                                   platform::MarkdownParsingOptions options,
                                   const PatternOptions& patternOptions);

    // Block-level markdown (full syntax), for documents.
    [[nodiscard]] static AttributedStringMarkdownParser
    markdown(std::optional<platform::URL> baseURL = std::nullopt,
             const PatternOptions& patternOptions = defaultPatternOptions());
    [[nodiscard]] static AttributedStringMarkdownParser
    markdown(std::optional<platform::URL> baseURL, std::vector<SyntaxExtension> syntaxExtensions);
    // Inline markdown that keeps the text's whitespace and line breaks, for inline text.
    [[nodiscard]] static AttributedStringMarkdownParser
    inlineMarkdown(std::optional<platform::URL> baseURL = std::nullopt,
                   const PatternOptions& patternOptions = defaultPatternOptions());
    [[nodiscard]] static AttributedStringMarkdownParser
    inlineMarkdown(std::optional<platform::URL> baseURL,
                   std::vector<SyntaxExtension> syntaxExtensions);

    // Math on and no emoji: the library ships no emoji of its own.
    [[nodiscard]] static PatternOptions defaultPatternOptions() { return PatternOptions{{}, true}; }
    // The extension list of a PatternOptions: emoji first when there are any, then math.
    [[nodiscard]] static std::vector<SyntaxExtension> syntaxExtensions(const PatternOptions& o);

    [[nodiscard]] const std::optional<platform::URL>& baseURL() const noexcept { return baseURL_; }
    [[nodiscard]] const platform::MarkdownParsingOptions& options() const noexcept {
        return options_;
    }
    [[nodiscard]] const PatternProcessor& processor() const noexcept { return processor_; }

    // Throws platform::MarkdownParsingError or platform::RegexError.
    [[nodiscard]] platform::AttributedString
    attributedString(std::string_view markup) const override;
    // Block-level markdown with built-in extensions only is parsed again only in the top-level
    // blocks that changed since the parse kept in `memory` (see platform/IncrementalMarkdown),
    // when that parse was made by a parser with the same base URL, options and extensions.
    [[nodiscard]] platform::AttributedString
    attributedStringReusing(std::string_view markup,
                            std::unique_ptr<Memory>& memory) const override;

    // The options every factory uses: extended attributes off, errors thrown, no language code.
    [[nodiscard]] static platform::MarkdownParsingOptions
    parsingOptions(platform::MarkdownParsingOptions::InterpretedSyntax syntax);

private:
    std::optional<platform::URL> baseURL_;
    platform::MarkdownParsingOptions options_;
    PatternProcessor processor_;
    // The patterns of the verbatim extensions, handed to the markdown parser.
    std::vector<platform::Regex> verbatimPatterns_;
};

} // namespace vellum

template <>
struct std::hash<vellum::AttributedStringMarkdownParser::PatternOptions> {
    std::size_t
    operator()(const vellum::AttributedStringMarkdownParser::PatternOptions& o) const noexcept {
        return o.hash();
    }
};

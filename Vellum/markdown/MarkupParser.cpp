#include "Vellum/markdown/MarkupParser.hpp"

namespace vellum {

platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                   std::string_view markup) {
    // A parser of the caller's may throw anything, not only exceptions of the standard kind:
    // whatever it throws, the view shows empty text and goes on.
    try {
        return parser.attributedString(markup);
    } catch (...) {
        return {};
    }
}

platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                   std::string_view markup,
                                                   std::unique_ptr<MarkupParser::Memory>& memory) {
    try {
        return parser.attributedStringReusing(markup, memory);
    } catch (...) {
        memory.reset();
        return {};
    }
}

platform::MarkdownParsingOptions
viewParsingOptions(platform::MarkdownParsingOptions::InterpretedSyntax syntax) {
    platform::MarkdownParsingOptions options;
    options.allowsExtendedAttributes = false;
    options.interpretedSyntax = syntax;
    options.failurePolicy = platform::MarkdownParsingOptions::FailurePolicy::throwError;
    options.languageCode = std::nullopt;
    return options;
}

} // namespace vellum

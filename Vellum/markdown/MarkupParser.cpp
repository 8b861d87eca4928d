#include "Vellum/markdown/MarkupParser.hpp"

#include <exception>

namespace vellum {

platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                   std::string_view markup) {
    try {
        return parser.attributedString(markup);
    } catch (const std::exception&) {
        return {};
    }
}

platform::AttributedString attributedStringOrEmpty(const MarkupParser& parser,
                                                   std::string_view markup,
                                                   std::unique_ptr<MarkupParser::Memory>& memory) {
    try {
        return parser.attributedStringReusing(markup, memory);
    } catch (const std::exception&) {
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

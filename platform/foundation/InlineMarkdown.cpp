#include "platform/foundation/InlineMarkdown.hpp"

#include "platform/foundation/Markdown.hpp"

namespace platform {

AttributedText::AttributedText(std::string plain) {
    if (!plain.empty()) {
        runs_.push_back({std::move(plain), {}});
    }
}

void AttributedText::append(std::string_view text, const InlineAttributes& attributes) {
    if (text.empty()) {
        return;
    }
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().text.append(text);
    } else {
        runs_.push_back({std::string{text}, attributes});
    }
}

std::string AttributedText::string() const {
    std::string result;
    for (const Run& run : runs_) {
        result += run.text;
    }
    return result;
}

AttributedText InlineMarkdown::parse(std::string_view markdown) {
    if (markdown.size() > maximumLength) {
        throw InlineMarkdownError("The text is too large to parse.");
    }
    MarkdownParsingOptions options;
    options.interpretedSyntax =
        MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace;
    AttributedString parsed;
    try {
        parsed = parseMarkdown(markdown, options);
    } catch (const MarkdownParsingError& error) {
        throw InlineMarkdownError(error.localizedDescription());
    }
    using Foundation = AttributeScopes::FoundationAttributes;
    AttributedText result;
    for (const AttributedString::Run run : parsed.runs()) {
        const std::string_view text =
            parsed.characters().substr(run.range.lowerBound.offset, run.range.length());
        // Images show their alternative text here; one without any has nothing to show (the
        // parser's stand-in character is for views that draw the image).
        if (run.get<Foundation::ImageURLAttribute>() != nullptr && text == "\xEF\xBF\xBC") {
            continue;
        }
        const InlinePresentationIntent intent =
            run.get<Foundation::InlinePresentationIntentAttribute>() != nullptr
                ? *run.get<Foundation::InlinePresentationIntentAttribute>()
                : InlinePresentationIntent{};
        InlineAttributes attributes;
        attributes.emphasis = intent.contains(InlinePresentationIntent::emphasized());
        attributes.strong = intent.contains(InlinePresentationIntent::stronglyEmphasized());
        attributes.code = intent.contains(InlinePresentationIntent::code());
        attributes.strikethrough = intent.contains(InlinePresentationIntent::strikethrough());
        if (const URL* const link = run.get<Foundation::LinkAttribute>()) {
            attributes.link = link->absoluteString();
        }
        result.append(text, attributes);
    }
    return result;
}

} // namespace platform

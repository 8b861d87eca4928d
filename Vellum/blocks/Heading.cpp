#include "Vellum/blocks/Heading.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "platform/foundation/Regex.hpp"
#include "platform/foundation/Unicode.hpp"

namespace vellum::structured {

namespace {

// Whether a character (a grapheme cluster) is a letter or a number, by its first scalar.
bool isLetterOrNumber(std::string_view character) {
    static const platform::Regex letterOrNumber(R"(^[\p{L}\p{N}])");
    return letterOrNumber.firstMatch(character).has_value();
}

} // namespace

std::string Heading::slug(std::string_view text) {
    const std::string lowered = platform::unicode::lowercased(text);
    std::string result;
    bool pendingDash = false;
    for (const std::string_view character : platform::unicode::graphemeClusters(lowered)) {
        const std::u32string scalars = platform::unicode::scalars(character);
        if (!scalars.empty() && platform::unicode::isWhitespaceOrNewline(scalars.front())) {
            pendingDash = true;
        } else if (character == "-") {
            pendingDash = true;
        } else if (isLetterOrNumber(character)) {
            // Dashes only between kept pieces: none leading, none trailing, one for a run.
            if (pendingDash && !result.empty()) {
                result += '-';
            }
            pendingDash = false;
            result += character;
        }
    }
    return result;
}

platform::ui::AnyView Heading::body(platform::ui::ViewContext& context) const {
    HeadingStyleConfiguration configuration;
    configuration.label = ConfigurationContent(inlineLabel(platform::AttributedString(content_)));
    configuration.indentationLevel = sharedIndentationLevel(content_);
    configuration.headingLevel = level_;
    // The style's body stands in the heading's place (one node fewer per heading); what the
    // style reads or keeps belongs to the heading's identity all the same.
    const std::shared_ptr<const HeadingStyle> style = headingStyle(context.environment());
    return (style ? style->makeBody(context, configuration) : platform::ui::AnyView())
        .id(slug(content_.characters()));
}

} // namespace vellum::structured

#include "Vellum/blocks/Paragraph.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

platform::ui::AnyView Paragraph::body(platform::ui::ViewContext& context) const {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(inlineLabel(platform::AttributedString(content_)));
    configuration.indentationLevel = sharedIndentationLevel(content_);
    // The style's body stands in the paragraph's place (one node fewer per paragraph); what the
    // style reads or keeps belongs to the paragraph's identity all the same.
    const std::shared_ptr<const ParagraphStyle> style = paragraphStyle(context.environment());
    return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
}

} // namespace vellum::structured

#include "Vellum/blocks/ThematicBreak.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

platform::ui::AnyView ThematicBreak::body(platform::ui::ViewContext& context) const {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(inlineLabel(platform::AttributedString(content_)));
    configuration.indentationLevel = sharedIndentationLevel(content_);
    // The style's body stands in this view's place: one node fewer.
    const std::shared_ptr<const ThematicBreakStyle> style =
        thematicBreakStyle(context.environment());
    return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
}

} // namespace vellum::structured

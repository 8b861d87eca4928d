#include "Vellum/blocks/ThematicBreak.hpp"

#include "Vellum/blocks/BlockContent.hpp"
#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

platform::ui::AnyView ThematicBreak::body(platform::ui::ViewContext& context) const {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(inlineLabel(platform::AttributedString(content_)));
    configuration.indentationLevel = sharedIndentationLevel(content_);
    return ResolvedThematicBreakStyle(thematicBreakStyle(context.environment()),
                                      std::move(configuration));
}

} // namespace vellum::structured

#include "Vellum/blocks/BlockQuote.hpp"

#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

platform::ui::AnyView BlockQuote::body(platform::ui::ViewContext& context) const {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(BlockContent(intent_, content_));
    configuration.indentationLevel = firstRunIndentationLevel(content_);
    // The style's body stands in this view's place: one node fewer.
    const std::shared_ptr<const BlockQuoteStyle> style = blockQuoteStyle(context.environment());
    return style ? style->makeBody(context, configuration) : platform::ui::AnyView();
}

} // namespace vellum::structured

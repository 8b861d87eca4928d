#include "Vellum/blocks/BlockQuote.hpp"

#include "Vellum/style/ResolvedStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"

namespace vellum::structured {

platform::ui::AnyView BlockQuote::body(platform::ui::ViewContext& context) const {
    BlockStyleConfiguration configuration;
    configuration.label = ConfigurationContent(BlockContent(intent_, content_));
    configuration.indentationLevel = firstRunIndentationLevel(content_);
    return ResolvedBlockQuoteStyle(blockQuoteStyle(context.environment()),
                                   std::move(configuration));
}

} // namespace vellum::structured

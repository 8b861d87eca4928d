#pragma once

// The look of a block quote. A style is a stateless value: the block view hands it a configuration
// and shows the view it builds. It may read the environment and keep per-identity state through the
// context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class BlockQuoteStyle {
public:
    virtual ~BlockQuoteStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    // With its default background and border colours.
    [[nodiscard]] static std::shared_ptr<const BlockQuoteStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const BlockQuoteStyle> gitHub();

protected:
    BlockQuoteStyle() = default;
    BlockQuoteStyle(const BlockQuoteStyle&) = default;
    BlockQuoteStyle(BlockQuoteStyle&&) = default;
    BlockQuoteStyle& operator=(const BlockQuoteStyle&) = default;
    BlockQuoteStyle& operator=(BlockQuoteStyle&&) = default;
};

// Any block quote style, as the environment holds it.
using AnyBlockQuoteStyle = std::shared_ptr<const BlockQuoteStyle>;

} // namespace vellum::structured

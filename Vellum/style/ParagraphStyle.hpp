#pragma once

// The look of a paragraph (and a block of display math). A style is a stateless value: the block
// view hands it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class ParagraphStyle {
public:
    virtual ~ParagraphStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const BlockStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    [[nodiscard]] static std::shared_ptr<const ParagraphStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const ParagraphStyle> gitHub();

protected:
    ParagraphStyle() = default;
    ParagraphStyle(const ParagraphStyle&) = default;
    ParagraphStyle(ParagraphStyle&&) = default;
    ParagraphStyle& operator=(const ParagraphStyle&) = default;
    ParagraphStyle& operator=(ParagraphStyle&&) = default;
};

// Any paragraph style, as the environment holds it.
using AnyParagraphStyle = std::shared_ptr<const ParagraphStyle>;

} // namespace vellum::structured

#pragma once

// The look of a fenced or indented code block. A style is a stateless value: the block view hands
// it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>

namespace vellum::structured {

class CodeBlockStyle {
public:
    virtual ~CodeBlockStyle() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const CodeBlockStyleConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    [[nodiscard]] static std::shared_ptr<const CodeBlockStyle> defaultStyle();
    [[nodiscard]] static std::shared_ptr<const CodeBlockStyle> gitHub();

protected:
    CodeBlockStyle() = default;
    CodeBlockStyle(const CodeBlockStyle&) = default;
    CodeBlockStyle(CodeBlockStyle&&) = default;
    CodeBlockStyle& operator=(const CodeBlockStyle&) = default;
    CodeBlockStyle& operator=(CodeBlockStyle&&) = default;
};

// Any code block style, as the environment holds it.
using AnyCodeBlockStyle = std::shared_ptr<const CodeBlockStyle>;

} // namespace vellum::structured

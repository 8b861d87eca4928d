#pragma once

// Applies the environment's inline style to parsed text and hands the styled text to its content.
// Styling runs once per change of the text, the style or the text environment, not on every
// evaluation of the body; the first result is made with the view itself.

#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/UI.hpp"

#include <functional>
#include <utility>

namespace vellum {

class WithInlineStyle {
public:
    using Content = std::function<platform::ui::AnyView(const platform::AttributedString&)>;

    WithInlineStyle(platform::AttributedString input, Content content)
        : input_(std::move(input))
        , content_(std::move(content)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;

private:
    platform::AttributedString input_;
    Content content_;
};

} // namespace vellum

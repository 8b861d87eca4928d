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

    // `input` styled for the environment of `context`, kept with that view's identity and made
    // again only when the input, the inline style or the text environment changes: for views
    // that style their text in their own body.
    [[nodiscard]] static const platform::AttributedString&
    styled(platform::ui::ViewContext& context, const platform::AttributedString& input);

private:
    platform::AttributedString input_;
    Content content_;
};

// Parsed text in the environment's inline style, drawn as one text fragment: one view where
// WithInlineStyle around a TextFragment would be two, for the thousands of texts of a document.
class StyledTextFragment {
public:
    explicit StyledTextFragment(platform::AttributedString input)
        : input_(std::move(input)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const StyledTextFragment&, const StyledTextFragment&) = default;

private:
    platform::AttributedString input_;
};

} // namespace vellum

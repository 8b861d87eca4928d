#include "Vellum/inline/WithInlineStyle.hpp"

#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <memory>
#include <tuple>

namespace vellum {

namespace {

// The last inputs styled and what came of them, kept with the view's identity.
struct InlineStyleResult {
    std::tuple<platform::AttributedString, InlineStyle, TextEnvironmentValues> inputs;
    platform::AttributedString styled;
};

const platform::AttributedString& inlineStyledWithin(platform::ui::ViewContext& context,
                                                     const platform::AttributedString& input,
                                                     const TextEnvironmentValues& environment) {
    const InlineStyle style = structured::inlineStyle(context.environment());
    // Styled while the body runs, and only when an input differs from the last ones: the first
    // showing already has the text, and a change shows in the pass that brought it rather than in
    // one more (an observer setting state would evaluate the subtree twice).
    const std::shared_ptr<InlineStyleResult> result = context.stateObject<InlineStyleResult>([&] {
        return std::make_shared<InlineStyleResult>(
            InlineStyleResult{{input, style, environment}, style.styled(input, environment)});
    });
    const auto& [lastInput, lastStyle, lastEnvironment] = result->inputs;
    if (!(lastInput == input) || !(lastStyle == style) || !(lastEnvironment == environment)) {
        // Replaced wholesale: a new result never builds on an earlier one.
        result->styled = style.styled(input, environment);
        result->inputs = {input, style, environment};
    }
    return result->styled;
}

} // namespace

const platform::AttributedString& WithInlineStyle::styled(platform::ui::ViewContext& context,
                                                          const platform::AttributedString& input) {
    return inlineStyledWithin(context, input, TextEnvironmentValues(context.environment()));
}

platform::ui::AnyView WithInlineStyle::body(platform::ui::ViewContext& context) const {
    return content_(styled(context, input_));
}

platform::ui::AnyView StyledTextFragment::body(platform::ui::ViewContext& context) const {
    // The fragment's body stands in this one's place; its state follows this view's. The text
    // environment is read once for the styling and the fragment both.
    const TextEnvironmentValues environment(context.environment());
    return TextFragment(inlineStyledWithin(context, input_, environment))
        .body(context, environment);
}

} // namespace vellum

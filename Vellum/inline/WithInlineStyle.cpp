#include "Vellum/inline/WithInlineStyle.hpp"

#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <optional>
#include <tuple>

namespace vellum {

platform::ui::AnyView WithInlineStyle::body(platform::ui::ViewContext& context) const {
    const InlineStyle style = structured::inlineStyle(context.environment());
    const TextEnvironmentValues environment(context.environment());
    const platform::ui::State<std::optional<platform::AttributedString>> output =
        context.state<std::optional<platform::AttributedString>>(std::nullopt);

    using Inputs = std::tuple<platform::AttributedString, InlineStyle, TextEnvironmentValues>;
    const platform::AttributedString shown = output->value_or(platform::AttributedString());
    return content_(shown).onChange<Inputs>(
        Inputs{input_, style, environment},
        [output](const Inputs& /*old*/, const Inputs& inputs) {
            // Replaced wholesale: a new result never builds on an earlier one.
            output.set(std::get<1>(inputs).styled(std::get<0>(inputs), std::get<2>(inputs)));
        },
        true);
}

} // namespace vellum

#include "Vellum/inline/WithInlineStyle.hpp"

#include "Vellum/style/InlineStyle.hpp"
#include "Vellum/style/StyleEnvironment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <memory>
#include <optional>
#include <tuple>

namespace vellum {

platform::ui::AnyView WithInlineStyle::body(platform::ui::ViewContext& context) const {
    const InlineStyle style = structured::inlineStyle(context.environment());
    const TextEnvironmentValues environment(context.environment());
    // The first result is made with the view, so that its first layout already shows the text
    // (an empty first showing would lay the whole subtree out twice); later changes replace it.
    const std::shared_ptr<platform::AttributedString> first =
        context.stateObject<platform::AttributedString>([&] {
            return std::make_shared<platform::AttributedString>(style.styled(input_, environment));
        });
    const platform::ui::State<std::optional<platform::AttributedString>> output =
        context.state<std::optional<platform::AttributedString>>(std::nullopt);

    using Inputs = std::tuple<platform::AttributedString, InlineStyle, TextEnvironmentValues>;
    return content_(output->has_value() ? **output : *first)
        .onChange<Inputs>(Inputs{input_, style, environment}, [output](const Inputs& /*old*/,
                                                                       const Inputs& inputs) {
            // Replaced wholesale: a new result never builds on an earlier one.
            output.set(std::get<1>(inputs).styled(std::get<0>(inputs), std::get<2>(inputs)));
        });
}

} // namespace vellum

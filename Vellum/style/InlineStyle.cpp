#include "Vellum/style/InlineStyle.hpp"

#include <string_view>

namespace vellum {

namespace {

using platform::InlinePresentationIntent;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::InlinePresentationIntentAttribute;
using LinkAttribute = platform::AttributeScopes::FoundationAttributes::LinkAttribute;

DynamicColor srgb(double lr, double lg, double lb, double dr, double dg, double db) {
    return DynamicColor(platform::Color(lr, lg, lb), platform::Color(dr, dg, db));
}

} // namespace

InlineStyle InlineStyle::defaultStyle() {
    return InlineStyle()
        .withCode(MonospacedProperty(), FontScaleProperty{0.94})
        .withStrong(FontWeightProperty{platform::Font::Weight::semibold()})
        .withLink(ForegroundColorProperty{srgb(0.2, 0.4, 1.0, 0.0, 0.6, 1.0)});
}

InlineStyle InlineStyle::gitHub() {
    return InlineStyle()
        .withCode(MonospacedProperty(), FontScaleProperty{0.85},
                  BackgroundColorProperty{srgb(247 / 255.0, 247 / 255.0, 249 / 255.0, 37 / 255.0,
                                               38 / 255.0, 42 / 255.0)})
        .withStrong(FontWeightProperty{platform::Font::Weight::semibold()})
        .withLink(ForegroundColorProperty{
            srgb(44 / 255.0, 101 / 255.0, 207 / 255.0, 76 / 255.0, 142 / 255.0, 248 / 255.0)});
}

void InlineStyle::apply(platform::AttributedString& text,
                        const TextEnvironmentValues& environment) const {
    // One pass that rebuilds the string run by run: editing runs in place re-cuts and re-joins
    // the run list at every edit, which costs a long document time quadratic in its runs.
    const platform::AttributedString::Runs runs = text.runs();
    platform::AttributedString result;
    result.reserve(text.characters().size(), runs.size());
    bool changed = false;
    for (const platform::AttributedString::Run& run : runs) {
        platform::AttributeContainer container;
        if (const InlinePresentationIntent* intent = run.get<IntentAttribute>()) {
            if (intent->contains(InlinePresentationIntent::code())) {
                code.apply(container, environment);
            }
            if (intent->contains(InlinePresentationIntent::emphasized())) {
                emphasis.apply(container, environment);
            }
            if (intent->contains(InlinePresentationIntent::stronglyEmphasized())) {
                strong.apply(container, environment);
            }
            if (intent->contains(InlinePresentationIntent::strikethrough())) {
                strikethrough.apply(container, environment);
            }
        }
        if (run.get<LinkAttribute>() != nullptr) {
            link.apply(container, environment);
        }
        const std::string_view characters =
            text.characters().substr(run.range.lowerBound.offset, run.range.length());
        if (container.empty()) {
            result.append(characters, run.attributes);
        } else {
            // The style's values win over the run's own.
            platform::AttributeContainer attributes = run.attributes;
            attributes.merge(container);
            result.append(characters, attributes);
            changed = true;
        }
    }
    if (changed) {
        text = std::move(result);
    }
}

std::size_t InlineStyle::hash() const noexcept {
    std::size_t seed = 0;
    for (const AnyTextProperty* field : {&code, &emphasis, &link, &strong, &strikethrough}) {
        detail::hashCombine(seed, field->hash());
    }
    return seed;
}

} // namespace vellum

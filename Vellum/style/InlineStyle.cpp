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
    // Most texts hold no run the style changes: the new string is begun only at the first run
    // that changes, with the runs before it copied then.
    const platform::AttributedString::Runs runs = text.runs();
    platform::AttributedString result;
    bool changed = false;
    const auto charactersOf = [&text, &runs](std::size_t i) {
        const platform::AttributedString::Range range = runs.range(i);
        return text.characters().substr(range.lowerBound.offset, range.length());
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const platform::AttributeContainer& own = runs.attributes(i);
        platform::AttributeContainer container;
        if (const InlinePresentationIntent* intent = own.get<IntentAttribute>()) {
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
        if (own.get<LinkAttribute>() != nullptr) {
            link.apply(container, environment);
        }
        if (container.empty()) {
            if (changed) {
                result.append(charactersOf(i), own);
            }
            continue;
        }
        if (!changed) {
            changed = true;
            result.reserve(text.characters().size(), runs.size());
            for (std::size_t j = 0; j < i; ++j) {
                result.append(charactersOf(j), runs.attributes(j));
            }
        }
        // The style's values win over the run's own.
        platform::AttributeContainer attributes = own;
        attributes.merge(container);
        result.append(charactersOf(i), attributes);
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

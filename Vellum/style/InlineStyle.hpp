#pragma once

// How the five kinds of inline markup look: inline code, emphasis, links, strong emphasis and
// strikethrough. Each kind holds one text property that edits the attributes of the runs marked
// with it; the inline text views apply the environment's style to every run before drawing.

#include "Vellum/text/AnyTextProperty.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "Vellum/text/TextProperty.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/ui/Environment.hpp"

#include <cstddef>
#include <utility>
#include <vector>

namespace vellum {

struct InlineStyle {
    AnyTextProperty code{MonospacedProperty()};
    AnyTextProperty emphasis{ItalicProperty()};
    AnyTextProperty link{ForegroundColorProperty{DynamicColor(platform::Color::accentColor())}};
    AnyTextProperty strong{BoldProperty()};
    AnyTextProperty strikethrough{StrikethroughStyleProperty{platform::TextLineStyle{}}};

    // Builders: a copy whose one field holds exactly the given properties, applied in order. What
    // the field held before is dropped, not extended. (Named apart from the fields they set.)
    template <TextProperty... Ps>
    [[nodiscard]] InlineStyle withCode(Ps... properties) const {
        return replacing(&InlineStyle::code, tuple(std::move(properties)...));
    }
    template <TextProperty... Ps>
    [[nodiscard]] InlineStyle withEmphasis(Ps... properties) const {
        return replacing(&InlineStyle::emphasis, tuple(std::move(properties)...));
    }
    template <TextProperty... Ps>
    [[nodiscard]] InlineStyle withLink(Ps... properties) const {
        return replacing(&InlineStyle::link, tuple(std::move(properties)...));
    }
    template <TextProperty... Ps>
    [[nodiscard]] InlineStyle withStrong(Ps... properties) const {
        return replacing(&InlineStyle::strong, tuple(std::move(properties)...));
    }
    template <TextProperty... Ps>
    [[nodiscard]] InlineStyle withStrikethrough(Ps... properties) const {
        return replacing(&InlineStyle::strikethrough, tuple(std::move(properties)...));
    }

    // The look of the default style set, and the environment's unless written.
    [[nodiscard]] static InlineStyle defaultStyle();
    // The look of the GitHub style set.
    [[nodiscard]] static InlineStyle gitHub();

    // Styles every run of `text`: code, emphasis, strong and strikethrough as the run's inline
    // intent holds them, then link for a run with a link, each seeing what the earlier ones wrote;
    // the result overrides what the run already had under the same keys.
    void apply(platform::AttributedString& text, const TextEnvironmentValues& environment) const;
    [[nodiscard]] platform::AttributedString
    styled(platform::AttributedString text, const TextEnvironmentValues& environment) const {
        apply(text, environment);
        return text;
    }

    [[nodiscard]] std::size_t hash() const noexcept;
    friend bool operator==(const InlineStyle&, const InlineStyle&) = default;

private:
    template <class... Ps>
    static AnyTextProperty tuple(Ps... properties) {
        // Even one property goes into a tuple, so that a builder's result is always of one type.
        return AnyTextProperty(TupleTextProperty(
            std::vector<AnyTextProperty>{AnyTextProperty(std::move(properties))...}));
    }
    [[nodiscard]] InlineStyle replacing(AnyTextProperty InlineStyle::*field,
                                        AnyTextProperty property) const {
        InlineStyle copy = *this;
        copy.*field = std::move(property);
        return copy;
    }
};

} // namespace vellum

template <>
struct std::hash<vellum::InlineStyle> {
    std::size_t operator()(const vellum::InlineStyle& style) const noexcept { return style.hash(); }
};

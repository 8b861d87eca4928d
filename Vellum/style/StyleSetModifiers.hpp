#pragma once

// The modifier vocabulary the built-in style sets are written in, as plain functions so that a
// chain reads from the innermost modifier outwards: the vellum modifiers for lengths in em and
// block spacing, and the font weight and design of a subtree.

#include "Vellum/style/BlockSpacing.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "Vellum/text/FontScaled.hpp"
#include "platform/ui/View.hpp"

#include <optional>
#include <utility>
#include <variant>

namespace vellum::structured::styleset {

using platform::ui::AnyView;

[[nodiscard]] inline AnyView lineSpacing(AnyView view, double em) {
    return vellum(std::move(view)).lineSpacing(FontScaled<double>(em));
}

[[nodiscard]] inline AnyView padding(AnyView view, platform::ui::Edges edges, double em) {
    return vellum(std::move(view)).padding(edges, FontScaled<double>(em));
}

// An absent width or height leaves that axis to the content.
[[nodiscard]] inline AnyView frame(AnyView view, std::optional<double> widthEm,
                                   std::optional<double> heightEm,
                                   platform::ui::Alignment alignment) {
    const auto em = [](std::optional<double> length) -> std::optional<FontScaled<double>> {
        if (length) {
            return FontScaled<double>(*length);
        }
        return std::nullopt;
    };
    return vellum(std::move(view)).frame(em(widthEm), em(heightEm), alignment);
}

[[nodiscard]] inline AnyView fontScale(AnyView view, double scale) {
    return vellum(std::move(view)).fontScale(scale);
}

// The subtree's font (the body font when none is set) in `weight`.
[[nodiscard]] inline AnyView fontWeight(const AnyView& view, platform::Font::Weight weight) {
    return view.transformEnvironment<platform::ui::FontKey>(
        [weight](std::optional<platform::Font>& font) {
            font = font.value_or(platform::Font::body()).weight(weight);
        });
}

// The subtree's font in `weight` where the table around the cell made every cell's font regular
// (TableCellStyle::makeCells): that last regular weight is taken off again first, so that the
// cell's font is the very font it would be had the cell set its weight alone. A font that does not
// end in a regular weight is simply made `weight`.
[[nodiscard]] inline AnyView fontWeightOverTableCells(const AnyView& view,
                                                      platform::Font::Weight weight) {
    return view.transformEnvironment<platform::ui::FontKey>(
        [weight](std::optional<platform::Font>& font) {
            platform::Font base = font.value_or(platform::Font::body());
            if (const auto* modified =
                    std::get_if<platform::Font::ModifierProvider>(&base.provider())) {
                const auto* last = std::get_if<platform::Font::WeightModifier>(&modified->modifier);
                if (last != nullptr && last->weight == platform::Font::Weight::regular()) {
                    const platform::Font unweighted = modified->base;
                    base = unweighted;
                }
            }
            font = base.weight(weight);
        });
}

// The subtree's font (the body font when none is set) in `weight`, and its line spacing in
// points: one write of the environment where `fontWeight` and `lineSpacing` would be two views.
[[nodiscard]] inline AnyView fontWeightAndLineSpacing(AnyView view, platform::Font::Weight weight,
                                                      double spacing) {
    return platform::ui::detail::transformEnvironment(
        std::move(view), [weight, spacing](platform::ui::EnvironmentValues& environment) {
            environment.set<platform::ui::FontKey>(environment.get<platform::ui::FontKey>()
                                                       .value_or(platform::Font::body())
                                                       .weight(weight));
            environment.set<platform::ui::LineSpacingKey>(spacing);
        });
}

// The subtree's font and its line spacing in points, in one write of the environment.
[[nodiscard]] inline AnyView fontAndLineSpacing(AnyView view, platform::Font font, double spacing) {
    return platform::ui::detail::transformEnvironment(
        std::move(view),
        [font = std::move(font), spacing](platform::ui::EnvironmentValues& environment) {
            environment.set<platform::ui::FontKey>(font);
            environment.set<platform::ui::LineSpacingKey>(spacing);
        });
}

// The subtree's font in its monospaced design.
[[nodiscard]] inline AnyView monospaced(const AnyView& view) {
    return view.transformEnvironment<platform::ui::FontKey>(
        [](std::optional<platform::Font>& font) {
            font = font.value_or(platform::Font::body()).monospaced();
        });
}

// The spacing the block asks for, in points.
[[nodiscard]] inline AnyView blockSpacing(AnyView view, BlockSpacing spacing) {
    return vellum(std::move(view)).blockSpacing(spacing);
}

// The spacing the block asks for, in em.
[[nodiscard]] inline AnyView blockSpacingEm(AnyView view, std::optional<double> top,
                                            std::optional<double> bottom) {
    return vellum(std::move(view)).blockSpacing(fontScaled(top, bottom));
}

} // namespace vellum::structured::styleset

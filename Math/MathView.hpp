#pragma once

// The declarative face of the typesetter: a view that shows one formula, a measuring entry for
// callers that lay formulas out themselves (text attachments), and the environment values that
// choose font, style and colouring for a whole subtree.
//
//     MathView("\\sum_{i=1}^n i^2")
//         .modifier(mathFont(Font(Font::Name::termes, 24)))
//         .modifier(mathTypesettingStyle(TypesettingStyle::text))
//         .modifier(mathRenderingMode(RenderingMode::multicolor(platform::Color(0.8, 0, 0))));
//
// Measuring and drawing go through DisplayProvider's cache, so a formula measured at a width and
// then drawn at the width it answered is parsed and typeset once.

#include "Math/MathFont.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"
#include "platform/ui/Environment.hpp"
#include "platform/ui/Layout.hpp"
#include "platform/ui/View.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace Math {

/// The style level a whole formula is set in: display (large operators with limits above and
/// below, full-size fractions) or text (compact, to sit in a line of prose).
enum class TypesettingStyle : std::uint8_t { display = 0, text = 1 };

/// How a formula is coloured.
class RenderingMode {
public:
    /// In `color`; colours the formula sets itself still show.
    static RenderingMode multicolor(platform::Color color) { return RenderingMode(color); }
    /// The whole formula in the view's foreground style; the formula's own colours do not show.
    static RenderingMode monochrome() { return RenderingMode(std::nullopt); }

    bool isMonochrome() const { return !color_; }
    /// The base colour of `multicolor`; none for `monochrome`.
    const std::optional<platform::Color>& color() const { return color_; }
    friend bool operator==(const RenderingMode&, const RenderingMode&) = default;

private:
    explicit RenderingMode(std::optional<platform::Color> color)
        : color_(std::move(color)) {}
    std::optional<platform::Color> color_;
};

/// The extent of a typeset formula in its own coordinates: y grows upward and the first baseline
/// is at y = 0, so the formula spans from -descent to ascent.
struct TypographicBounds {
    platform::Point origin;
    double width = 0;
    double ascent = 0;
    double descent = 0;

    platform::Size size() const { return {width, ascent + descent}; }
    friend bool operator==(const TypographicBounds&, const TypographicBounds&) = default;
};

// ---- Environment ----

struct MathFontKey {
    using Value = Font;
    static Value defaultValue() { return Font(Font::Name::latinModern, 20); }
};
struct MathTypesettingStyleKey {
    using Value = TypesettingStyle;
    static Value defaultValue() { return TypesettingStyle::display; }
};
struct MathRenderingModeKey {
    using Value = RenderingMode;
    static Value defaultValue() { return RenderingMode::monochrome(); }
};

/// A view modifier that writes one environment value for the subtree it is applied to (with
/// `view.modifier(...)`).
template <class K>
struct EnvironmentWriter {
    typename K::Value value;
    platform::ui::AnyView body(platform::ui::AnyView content) const {
        return content.environment<K>(value);
    }
    friend bool operator==(const EnvironmentWriter&, const EnvironmentWriter&) = default;
};

inline EnvironmentWriter<MathFontKey> mathFont(Font font) {
    return {std::move(font)};
}
inline EnvironmentWriter<MathTypesettingStyleKey> mathTypesettingStyle(TypesettingStyle style) {
    return {style};
}
inline EnvironmentWriter<MathRenderingModeKey> mathRenderingMode(RenderingMode mode) {
    return {std::move(mode)};
}

// ---- Measuring ----

/// The bounds of `latex` typeset in `font` and `style`, its lines broken at the proposal's width
/// (the height is not used; no width means no line breaking). Zero bounds for a proposed width of
/// zero or less, for LaTeX that does not parse and for a font that cannot be loaded. Safe to call
/// from any thread.
TypographicBounds mathTypographicBounds(std::string_view latex,
                                        platform::ui::ProposedViewSize proposal, const Font& font,
                                        TypesettingStyle style);

// ---- The view ----

/// One formula. Its size is the formula's (ascent + descent high, lines broken at the proposed
/// width); font, style and rendering mode come from the environment. A formula that does not
/// parse takes no space and draws nothing.
class MathView : public platform::ui::ViewModifiers<MathView> {
public:
    explicit MathView(std::string latex)
        : latex_(std::move(latex)) {}

    const std::string& latex() const { return latex_; }
    platform::ui::AnyView body(platform::ui::ViewContext& context) const;

    friend bool operator==(const MathView& a, const MathView& b) { return a.latex_ == b.latex_; }

private:
    class Layout;
    std::string latex_;
};

} // namespace Math

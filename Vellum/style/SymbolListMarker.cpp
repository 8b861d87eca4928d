#include "Vellum/style/SymbolListMarker.hpp"

#include "Vellum/style/ListMarkerFrame.hpp"
#include "Vellum/text/FontScaleModifier.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/Shapes.hpp"

#include <algorithm>

namespace vellum::structured {

namespace {

// A circle or square symbol glyph spans about 0.86 em, so a bullet at scale 0.33 comes out near
// 0.28 em: a dot that reads as a bullet beside body text, not a stray full stop.
constexpr double symbolExtent = 0.86;
// The ring's stroke, relative to its diameter; never thinner than a hairline that still shows.
constexpr double ringStroke = 0.12;
constexpr double thinnestRing = 0.5;
// Filled squares keep a slight softening of their corners, like the symbol they stand for.
constexpr double squareRounding = 0.12;
// Used only when the font cannot be measured: the body size.
constexpr double fallbackPointSize = 13;

} // namespace

platform::ui::AnyView ListSymbol::body(platform::ui::ViewContext& context) const {
    const TextEnvironmentValues environment(context.environment());
    const double side = resolvedPointSize(environment).value_or(fallbackPointSize) * symbolExtent;
    platform::ui::AnyView shape;
    if (name == "circle.fill") {
        shape = platform::ui::Circle().fill();
    } else if (name == "circle") {
        const double lineWidth = std::max(side * ringStroke, thinnestRing);
        // Inset by half the line so the whole ring lies inside its box.
        shape = platform::ui::Shape([lineWidth](platform::Rect rect) {
                    return platform::Path::ellipse(rect.insetBy(lineWidth / 2, lineWidth / 2));
                }).stroke(std::nullopt, lineWidth);
    } else if (name == "square.fill") {
        shape = platform::ui::RoundedRectangle(side * squareRounding).fill();
    }
    return shape.frame(side, side);
}

platform::ui::AnyView
SymbolListMarker::makeBody(platform::ui::ViewContext& context,
                           const UnorderedListMarkerConfiguration& /*configuration*/) const {
    const platform::ui::AnyView symbol =
        platform::ui::AnyView(ListSymbol{symbolName}).modifier(FontScaleModifier{scale});
    return listMarkerFrame(symbol, minWidth, TextEnvironmentValues(context.environment()));
}

std::shared_ptr<const UnorderedListMarker> UnorderedListMarker::disc() {
    return std::make_shared<const SymbolListMarker>("circle.fill", 0.33, FontScaled<double>(1.5));
}

std::shared_ptr<const UnorderedListMarker> UnorderedListMarker::circle() {
    return std::make_shared<const SymbolListMarker>("circle", 0.33, FontScaled<double>(1.5));
}

std::shared_ptr<const UnorderedListMarker> UnorderedListMarker::square() {
    return std::make_shared<const SymbolListMarker>("square.fill", 0.33, FontScaled<double>(1.5));
}

} // namespace vellum::structured

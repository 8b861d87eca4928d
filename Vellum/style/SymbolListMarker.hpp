#pragma once

// Bullets drawn as small shapes: "circle.fill" (a disc), "circle" (a ring) and "square.fill" (a
// square). The shape is sized like a symbol glyph of the text around it times `scale`, so bullets
// follow the font size. A name outside these three draws nothing but keeps the marker's box.

#include "Vellum/style/UnorderedListMarker.hpp"
#include "Vellum/text/FontScaled.hpp"

#include <string>

namespace vellum::structured {

class SymbolListMarker final : public UnorderedListMarker {
public:
    SymbolListMarker(std::string symbolName_, double scale_, FontScaled<double> minWidth_)
        : symbolName(std::move(symbolName_))
        , scale(scale_)
        , minWidth(minWidth_) {}

    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const UnorderedListMarkerConfiguration& configuration) const override;

    friend bool operator==(const SymbolListMarker& a, const SymbolListMarker& b) {
        return a.symbolName == b.symbolName && a.scale == b.scale && a.minWidth == b.minWidth;
    }

    std::string symbolName;
    double scale;
    FontScaled<double> minWidth;
};

// The symbol alone, at the size of the environment's font; what the marker puts in its box.
struct ListSymbol {
    std::string name;

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const ListSymbol&, const ListSymbol&) = default;
};

} // namespace vellum::structured

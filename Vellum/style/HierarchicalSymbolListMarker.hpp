#pragma once

// Bullets that change with nesting depth: level L shows marker (L - 1) modulo their number, so
// the shapes repeat cyclically the deeper a list goes.

#include "Vellum/style/SymbolListMarker.hpp"
#include "Vellum/style/UnorderedListMarker.hpp"

#include <vector>

namespace vellum::structured {

class HierarchicalSymbolListMarker final : public UnorderedListMarker {
public:
    explicit HierarchicalSymbolListMarker(std::vector<SymbolListMarker> markers_)
        : markers(std::move(markers_)) {}

    // With no markers: an empty view. A level below 1 continues the cycle backwards (level 0
    // shows the last marker) rather than failing.
    [[nodiscard]] platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const UnorderedListMarkerConfiguration& configuration) const override;

    // The marker shown at `indentationLevel`; nothing when there are none.
    [[nodiscard]] const SymbolListMarker* marker(int indentationLevel) const;

    std::vector<SymbolListMarker> markers;
};

} // namespace vellum::structured

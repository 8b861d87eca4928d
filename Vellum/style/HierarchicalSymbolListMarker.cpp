#include "Vellum/style/HierarchicalSymbolListMarker.hpp"

#include <cstdint>

namespace vellum::structured {

const SymbolListMarker* HierarchicalSymbolListMarker::marker(int indentationLevel) const {
    if (markers.empty()) {
        return nullptr;
    }
    // Widened first: level INT_MIN minus one must not overflow.
    const auto count = static_cast<std::int64_t>(markers.size());
    const std::int64_t index = ((std::int64_t{indentationLevel} - 1) % count + count) % count;
    return &markers[static_cast<std::size_t>(index)];
}

platform::ui::AnyView HierarchicalSymbolListMarker::makeBody(
    platform::ui::ViewContext& context,
    const UnorderedListMarkerConfiguration& configuration) const {
    if (const SymbolListMarker* chosen = marker(configuration.indentationLevel)) {
        return chosen->makeBody(context, configuration);
    }
    return {};
}

std::shared_ptr<const UnorderedListMarker>
UnorderedListMarker::hierarchical(std::vector<SymbolListMarker> markers) {
    return std::make_shared<const HierarchicalSymbolListMarker>(std::move(markers));
}

} // namespace vellum::structured

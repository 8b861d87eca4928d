#pragma once

// The look of the bullet of an unordered list item. A style is a stateless value: the block view
// hands it a configuration and shows the view it builds. It may read the environment and keep
// per-identity state through the context, as if it were the showing view's own body.

#include "Vellum/style/StyleConfiguration.hpp"
#include "platform/ui/View.hpp"

#include <memory>
#include <vector>

namespace vellum::structured {

class SymbolListMarker;

class UnorderedListMarker {
public:
    virtual ~UnorderedListMarker() = default;

    [[nodiscard]] virtual platform::ui::AnyView
    makeBody(platform::ui::ViewContext& context,
             const UnorderedListMarkerConfiguration& configuration) const = 0;

    // The built-in styles, by the names call sites use.
    // Filled circle, scale 0.33, at least 1.5 em wide.
    [[nodiscard]] static std::shared_ptr<const UnorderedListMarker> disc();
    // Outlined circle, scale 0.33, at least 1.5 em wide.
    [[nodiscard]] static std::shared_ptr<const UnorderedListMarker> circle();
    // Filled square, scale 0.33, at least 1.5 em wide.
    [[nodiscard]] static std::shared_ptr<const UnorderedListMarker> square();
    // A dash at least 1.5 em wide.
    [[nodiscard]] static std::shared_ptr<const UnorderedListMarker> dash();
    // One symbol per nesting level, in order.
    [[nodiscard]] static std::shared_ptr<const UnorderedListMarker>
    hierarchical(std::vector<SymbolListMarker> markers);

protected:
    UnorderedListMarker() = default;
    UnorderedListMarker(const UnorderedListMarker&) = default;
    UnorderedListMarker(UnorderedListMarker&&) = default;
    UnorderedListMarker& operator=(const UnorderedListMarker&) = default;
    UnorderedListMarker& operator=(UnorderedListMarker&&) = default;
};

// Any unordered-list marker style, as the environment holds it.
using AnyUnorderedListMarker = std::shared_ptr<const UnorderedListMarker>;

} // namespace vellum::structured

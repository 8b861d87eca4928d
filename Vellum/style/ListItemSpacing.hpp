#pragma once

// The spacing between the blocks inside a list. A host writes it in ems; each list resolves it
// against its own font and hands the points down, with a flag that makes every block stack below
// use it in place of the blocks' own wishes.

#include "Vellum/style/BlockSpacing.hpp"
#include "Vellum/text/FontScaled.hpp"
#include "platform/ui/Environment.hpp"

namespace vellum::structured {

// In ems; a quarter em above each block by default, nothing stated below.
struct ListItemSpacingKey {
    using Value = FontScaled<BlockSpacing>;
    static Value defaultValue() { return fontScaled(0.25, std::nullopt); }
};

// True in the whole subtree of a list.
struct ListItemSpacingEnabledKey {
    using Value = bool;
    static Value defaultValue() { return false; }
};

// The list item spacing in points, as the nearest enclosing list resolved it.
struct ResolvedListItemSpacingKey {
    using Value = BlockSpacing;
    static Value defaultValue() { return {}; }
};

} // namespace vellum::structured

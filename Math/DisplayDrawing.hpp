#pragma once

// Drawing of typeset formulas: a tree of display nodes into a graphics context whose y axis grows
// upward (the typesetter's coordinates), or a whole formula into a canvas of the usual y-down
// kind. Colour flows down the tree; a node's own colour wins over the one it inherits.

#include "Math/DisplayNode.hpp"
#include "platform/graphics/Color.hpp"
#include "platform/graphics/Geometry.hpp"

namespace platform {
class GraphicsContext;
}

namespace Math {

/// Draws `node` and its subtree in `inherited` unless a node carries a colour of its own. The
/// context's state is left as it was found. Glyphs whose font cannot be loaded are skipped.
void drawDisplayNode(const DisplayNode& node, const platform::Color& inherited,
                     platform::GraphicsContext& context);

/// Draws a typeset root into a canvas `size` points large (y down): the formula's lowest point
/// on the canvas's bottom edge, its baseline `descent` above it, nothing clipped or centred.
void drawInGraphicsContext(const DisplayNode& root, const platform::Color& color,
                           platform::GraphicsContext& context, platform::Size size);
/// The same, in black.
void drawInGraphicsContext(const DisplayNode& root, platform::GraphicsContext& context,
                           platform::Size size);

} // namespace Math

#pragma once

// The toolkit's GL renderer draws through programs that the GL driver turns into machine code the
// first time each is drawn with a given state, in each window's context: with a software driver
// that takes 15 ms and more. A document window's first frame draws only its strips (textures);
// the first scroll is the first frame that draws anything else, the overlay scroll bar fading in
// (rounded fills and borders under an opacity, drawn offscreen and blended back), and so it
// would pay for all of it at once, while scrolling. The host has the window's own renderer draw
// those kinds of nodes into a small offscreen texture between frames, once, after its first
// frame: the driver's code then exists before the first scroll needs it.
//
// Main thread only; included by the GTK host alone.

#include <gtk/gtk.h>

namespace platform::renderer_warm_up {

// Whether `renderer` compiles what it draws on first use and so is worth warming: the GL
// renderers, not the Cairo one (or none).
[[nodiscard]] bool worthWarming(GskRenderer* renderer);

// Draws, with `renderer`, the node kinds an overlay scroll bar draws with into a small texture,
// and lets the texture go.
void warm(GskRenderer* renderer);

} // namespace platform::renderer_warm_up

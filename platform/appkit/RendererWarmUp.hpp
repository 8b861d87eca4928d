#pragma once

// The toolkit's GL renderer draws through programs that the GL driver turns into machine code the
// first time each is drawn with a given state, in each window's context: with a software driver
// that takes 15 ms and more. A document window's first frame draws only its strips (textures);
// the first scroll is the first frame that draws anything else, the overlay scroll bar fading in
// (a rounded fill with a rounded border, blended at the bar's opacity), and so it would pay for
// all of it at once, while scrolling. The host has the window's own renderer draw the same nodes
// into a small offscreen texture between frames, once, after its first frame: the driver's code
// then exists before the first scroll needs it (measured: the first scroll's longest dispatch
// went from 18-26 ms to 9-13 ms; a group under the opacity, which the renderer draws offscreen,
// warmed other code and left the stall as it was).
//
// Main thread only; included by the GTK host alone.

#include <gtk/gtk.h>

namespace platform::renderer_warm_up {

// Whether `renderer` compiles what it draws on first use and so is worth warming: the GL
// renderers, not the Cairo one (or none).
[[nodiscard]] bool worthWarming(GskRenderer* renderer);

// Draws with `renderer`, into a small texture it then lets go, the nodes an overlay scroll bar is
// drawn with while it fades in.
void warm(GskRenderer* renderer);

} // namespace platform::renderer_warm_up

#pragma once

// The toolkit's GL renderer draws through programs that the GL driver turns into machine code the
// first time each is drawn with a given state, in each window's context: with a software driver
// that takes 5 to 10 ms a program. A document window's first frame draws only its strips
// (textures), none of them cut by the window's edge (see SurfaceTiles: until the window's
// renderer is warmed, a strip the edge would cut goes to the toolkit as a texture of its part on
// screen). The first scroll is the first frame that draws anything else: strips cut by the edges,
// and the overlay scroll bar fading in (a rounded fill with a rounded border, blended at the bar's
// opacity); it would pay for all of it at once, while scrolling. The host has the window's own
// renderer draw the same nodes into a small offscreen texture between frames after its first
// frame, one program a dispatch: the driver's code then exists before the first scroll needs it,
// and no dispatch between frames holds the loop for all of them (measured: the first scroll's
// longest dispatch went from 18-26 ms to 9-13 ms with one warm-up; the warm-up itself took 20 ms
// in one dispatch before it was cut into steps).
//
// Main thread only; included by the GTK host alone.

#include <gtk/gtk.h>

namespace platform::renderer_warm_up {

// Whether `renderer` compiles what it draws on first use and so is worth warming: the GL
// renderers, not the Cairo one (or none).
[[nodiscard]] bool worthWarming(GskRenderer* renderer);

// How many steps warming takes, one program each: the scroll bar's first (a scroll may come at
// once, and shows it), then a texture a clip cuts (not needed until the host draws its strips
// cut at the edges by a clip).
inline constexpr int steps = 4;
// The step that draws a texture cut by a rectangular clip, as a scroll draws the strips at the
// window's edges.
inline constexpr int cutTextureStep = 3;

// Draws with `renderer`, into a small texture it then lets go, the nodes of step `step` (from 0
// to `steps` - 1).
void warm(GskRenderer* renderer, int step);

} // namespace platform::renderer_warm_up

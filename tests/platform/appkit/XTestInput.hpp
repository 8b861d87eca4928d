#pragma once

// Input as the X server gets it from a real pointer and keyboard (its test extension), and what
// the screen shows. Kept apart from the tests because the X headers' macros clash with theirs.

#include <cairo.h>
#include <gtk/gtk.h>
#include <utility>
#include <vector>

namespace xtest {

// Whether the display has the test extension.
bool available(GdkDisplay* display);

// The screen pixel of point (x, y) of `widget`, which `window` holds.
std::pair<int, int> onScreen(GtkWindow* window, GtkWidget* widget, double x, double y);

void moveTo(GdkDisplay* display, int x, int y);
void button(GdkDisplay* display, unsigned int number, bool down);
// Presses `modifiers` (key names such as "Shift_L"), types `key` ("a", "Left"), lets go.
void key(GdkDisplay* display, const char* key, const std::vector<const char*>& modifiers = {});
// Presses or lets go of one key (a modifier held over other input, say).
void hold(GdkDisplay* display, const char* key, bool down);
// Gives `window` the keyboard focus (there is no window manager to do it).
void focus(GtkWindow* window);

// The screen's pixels under `widget`, in device pixels; the caller owns the surface.
cairo_surface_t* screenshot(GtkWindow* window, GtkWidget* widget);

} // namespace xtest

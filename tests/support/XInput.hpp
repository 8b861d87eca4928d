#pragma once

// Input as the X server gets it from a real pointer and keyboard (its test extension), and what
// the screen shows, for tests that drive real windows on a virtual display. The X headers stay in
// XInput.cpp: their macros clash with the tests' names.

#include "platform/graphics/Geometry.hpp"

#include <cairo.h>
#include <functional>
#include <gtk/gtk.h>
#include <string>
#include <utility>
#include <vector>

namespace moss_test {

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

// Gives `window` a new size in device pixels, as a window manager does when the user drags the
// window's edge.
void resize(GtkWindow* window, int width, int height);

} // namespace xtest

// Starts the toolkit on the X display, drawing through Cairo (there is no GL on the virtual
// display). Null when the test can run; otherwise why it cannot, for it to skip with.
const char* startToolkitWithXTest();

// For a case run in a process of its own (the display's scale is fixed when the toolkit starts):
// starts the toolkit at twice the scale, runs `check`, and ends the process with 0 when it found
// nothing wrong (or could not run), 1 when it did, 2 when the toolkit had started already.
[[noreturn]] void runAtTwiceTheScale(void (*check)());

// Saves `surface` as the PNG `name` in the temporary folder, for a person to look at.
void keepScreenshot(cairo_surface_t* surface, const std::string& name);

// A toplevel window of its own, and input aimed at one widget in it as a real pointer and
// keyboard give it, at points in the widget's own coordinates. A test that lets the loop run
// after each piece of input overrides moveTo, button and key; click goes through them.
class InputWindow {
public:
    explicit InputWindow(GtkWidget* target);
    virtual ~InputWindow();
    InputWindow(const InputWindow&) = delete;
    InputWindow& operator=(const InputWindow&) = delete;

    // Shows `content` (the target, or a container holding it) and waits until the target is
    // mapped and `ready` holds; false only when the wait ran into the hang deadline.
    bool show(GtkWidget* content, const std::function<bool()>& ready);

    [[nodiscard]] GtkWindow* window() const { return window_; }
    [[nodiscard]] GtkWidget* widget() const { return target_; }
    [[nodiscard]] GdkDisplay* display() const { return gtk_widget_get_display(target_); }
    [[nodiscard]] int scale() const { return gtk_widget_get_scale_factor(target_); }

    // A point of the widget in the screen's pixels.
    [[nodiscard]] std::pair<int, int> onScreen(platform::Point point) const;

    virtual void moveTo(platform::Point point) const;
    virtual void button(unsigned int number, bool down) const;
    virtual void key(const char* name, const std::vector<const char*>& modifiers = {}) const;
    void click(platform::Point point, unsigned int number = 1) const;
    // Gives the window the keyboard focus (there is no window manager to do it).
    void focus() const;

    // What the screen shows of the widget, in device pixels; the caller owns the surface.
    [[nodiscard]] cairo_surface_t* screenshot() const;

private:
    GtkWidget* target_;
    GtkWindow* window_;
};

} // namespace moss_test

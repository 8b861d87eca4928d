// gtest goes ahead of the X headers (which XInput.hpp brings in too): their macros break its
// templates.
#include <gtest/gtest.h>
// clang-format off
#include "tests/support/XInput.hpp"
// clang-format on

#include "tests/support/MainLoopWait.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gdk/x11/gdkx.h>
#include <gtest/gtest.h>

namespace moss_test {

namespace xtest {

namespace {

Display* xdisplay(GdkDisplay* display) {
    return gdk_x11_display_get_xdisplay(display);
}

Window windowOf(GtkWindow* window) {
    return gdk_x11_surface_get_xid(gtk_native_get_surface(GTK_NATIVE(window)));
}

} // namespace

bool available(GdkDisplay* display) {
    if (!GDK_IS_X11_DISPLAY(display)) {
        return false;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(xdisplay(display), &event, &error, &major, &minor) != 0;
}

std::pair<int, int> onScreen(GtkWindow* window, GtkWidget* widget, double x, double y) {
    graphene_point_t inWindow{};
    graphene_point_t local;
    graphene_point_init(&local, float(x), float(y));
    if (!gtk_widget_compute_point(widget, GTK_WIDGET(window), &local, &inWindow)) {
        return {0, 0};
    }
    double surfaceX = 0;
    double surfaceY = 0;
    gtk_native_get_surface_transform(GTK_NATIVE(window), &surfaceX, &surfaceY);
    const int scale = gtk_widget_get_scale_factor(widget);
    Display* const display = xdisplay(gtk_widget_get_display(widget));
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, windowOf(window), DefaultRootWindow(display),
                          int((inWindow.x + surfaceX) * scale),
                          int((inWindow.y + surfaceY) * scale), &rootX, &rootY, &child);
    return {rootX, rootY};
}

void moveTo(GdkDisplay* display, int x, int y) {
    XTestFakeMotionEvent(xdisplay(display), -1, x, y, CurrentTime);
    XFlush(xdisplay(display));
}

void button(GdkDisplay* display, unsigned int number, bool down) {
    XTestFakeButtonEvent(xdisplay(display), number, down ? True : False, CurrentTime);
    XFlush(xdisplay(display));
}

void key(GdkDisplay* display, const char* key, const std::vector<const char*>& modifiers) {
    Display* const x = xdisplay(display);
    const auto code = [&](const char* name) { return XKeysymToKeycode(x, XStringToKeysym(name)); };
    for (const char* modifier : modifiers) {
        XTestFakeKeyEvent(x, code(modifier), True, CurrentTime);
    }
    XTestFakeKeyEvent(x, code(key), True, CurrentTime);
    XTestFakeKeyEvent(x, code(key), False, CurrentTime);
    for (const char* modifier : modifiers) {
        XTestFakeKeyEvent(x, code(modifier), False, CurrentTime);
    }
    XFlush(x);
}

void hold(GdkDisplay* display, const char* key, bool down) {
    Display* const x = xdisplay(display);
    XTestFakeKeyEvent(x, XKeysymToKeycode(x, XStringToKeysym(key)), down ? True : False,
                      CurrentTime);
    XFlush(x);
}

void focus(GtkWindow* window) {
    Display* const display = xdisplay(gtk_widget_get_display(GTK_WIDGET(window)));
    XSetInputFocus(display, windowOf(window), RevertToParent, CurrentTime);
    XFlush(display);
}

cairo_surface_t* screenshot(GtkWindow* window, GtkWidget* widget) {
    const int scale = gtk_widget_get_scale_factor(widget);
    const int width = gtk_widget_get_width(widget) * scale;
    const int height = gtk_widget_get_height(widget) * scale;
    const auto [left, top] = onScreen(window, widget, 0, 0);
    Display* const display = xdisplay(gtk_widget_get_display(widget));
    XImage* const image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
                                    unsigned(height), AllPlanes, ZPixmap);
    cairo_surface_t* const surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (image == nullptr) {
        return surface;
    }
    unsigned char* const data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < height; ++row) {
        auto* const line = reinterpret_cast<std::uint32_t*>(data + row * stride);
        for (int column = 0; column < width; ++column) {
            line[column] = std::uint32_t(XGetPixel(image, column, row)) & 0xffffffu;
        }
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
    return surface;
}

void resize(GtkWindow* window, int width, int height) {
    Display* const display = xdisplay(gtk_widget_get_display(GTK_WIDGET(window)));
    XResizeWindow(display, windowOf(window), unsigned(width), unsigned(height));
    XFlush(display);
}

} // namespace xtest

const char* startToolkitWithXTest() {
    g_setenv("GSK_RENDERER", "cairo", FALSE);
    // A window that asks for the GL renderer draws on Mesa's softpipe: llvmpipe compiles its
    // shaders at run time, and registering the compiled code deadlocks with the sanitizer's
    // slow unwinder (fast_unwind_on_malloc=0).
    g_setenv("GALLIUM_DRIVER", "softpipe", FALSE);
    g_setenv("GDK_BACKEND", "x11", TRUE);
    if (!gtk_init_check()) {
        return "no display";
    }
    if (!xtest::available(gdk_display_get_default())) {
        return "the display has no XTest";
    }
    return nullptr;
}

void runAtTwiceTheScale(void (*check)()) {
    if (gtk_is_initialized()) {
        std::fputs("the toolkit started before the scale was set\n", stderr);
        std::exit(2);
    }
    g_setenv("GDK_SCALE", "2", TRUE);
    if (const char* why = startToolkitWithXTest()) {
        std::fprintf(stderr, "not checked: %s\n", why);
        std::exit(0);
    }
    check();
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

void keepScreenshot(cairo_surface_t* surface, const std::string& name) {
    cairo_surface_write_to_png(surface, (std::filesystem::temp_directory_path() / name).c_str());
}

InputWindow::InputWindow(GtkWidget* target)
    : target_(target)
    , window_(GTK_WINDOW(gtk_window_new())) {}

InputWindow::~InputWindow() {
    gtk_window_destroy(window_);
}

bool InputWindow::show(GtkWidget* content, const std::function<bool()>& ready) {
    gtk_window_set_child(window_, content);
    gtk_window_present(window_);
    return waitUntil([&] { return gtk_widget_get_mapped(target_) && ready(); });
}

std::pair<int, int> InputWindow::onScreen(platform::Point point) const {
    return xtest::onScreen(window_, target_, point.x, point.y);
}

void InputWindow::moveTo(platform::Point point) const {
    const auto [x, y] = onScreen(point);
    xtest::moveTo(display(), x, y);
}

void InputWindow::button(unsigned int number, bool down) const {
    xtest::button(display(), number, down);
}

void InputWindow::key(const char* name, const std::vector<const char*>& modifiers) const {
    xtest::key(display(), name, modifiers);
}

void InputWindow::click(platform::Point point, unsigned int number) const {
    moveTo(point);
    button(number, true);
    button(number, false);
}

void InputWindow::focus() const {
    xtest::focus(window_);
}

cairo_surface_t* InputWindow::screenshot() const {
    return xtest::screenshot(window_, target_);
}

} // namespace moss_test

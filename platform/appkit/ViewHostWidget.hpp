#pragma once

#include "platform/graphics/Color.hpp"
#include "platform/ui/ViewGraph.hpp"

#include <chrono>
#include <cstdint>

namespace platform {

// A GTK widget showing a view tree: it lays the tree out at the size the window gives it (height
// for width, so text wraps when the window narrows), draws it at the display's scale, and passes
// the pointer, keys, scrolling and context-menu requests to it. The views see the desktop's light
// or dark scheme and contrast as they change, the display scale, and an open-URL action that
// hands web links to the desktop's browser.
//
// In a scrolled window the widget is scrollable: the tree is laid out at its own height, the
// window's scroll bar covers that extent, and the widget draws only the part on screen (the
// tree's retained drawing skips the rest), at any length of the tree. The tree is told the part
// on screen: its lazy stacks lay out what is shown first, and the rest in idle time, a few
// milliseconds at a time, while the extent converges to the exact one; the strips of pixels just
// beyond the part shown are drawn in idle time too, before that. The widget scrolls the
// least that shows a rectangle the tree asks to see (ui::ScrollRectToVisibleKey: the end of a
// selection moved by the keyboard), the tree's own horizontal scroll views at the rectangle's
// height first, and repeats a drag held outside it twenty times a second, so
// that what is dragged can ask to scroll towards the pointer while the pointer stands still.
//
// The widget draws only when the tree reports a change (or the size, scale or appearance
// changes); its updates run before the toolkit paints. It keeps pixels only of what is on
// screen: in a container that scrolls it whole (a viewport), of the part the container shows,
// and none while it is not mapped.
//
// Key modifiers: Ctrl is reported as both control and command (Ctrl takes the place of Command on
// this desktop), Alt as option. Main thread only, with the toolkit initialised.
class ViewHostWidget {
public:
    explicit ViewHostWidget(ui::AnyView root, ui::EnvironmentValues environment = {});
    // Drops this handle's reference: the widget lives on while a window still holds it.
    ~ViewHostWidget();
    ViewHostWidget(const ViewHostWidget&) = delete;
    ViewHostWidget& operator=(const ViewHostWidget&) = delete;

    // The GtkWidget*, to put into a window or a container.
    [[nodiscard]] void* gtkWidget() const noexcept { return widget_; }

    [[nodiscard]] ui::ViewGraph& graph();
    void setRootView(ui::AnyView root);
    // The environment the tree starts from. The desktop's scheme and contrast are added unless it
    // sets them itself, as is the open-URL action; the display scale always.
    void setEnvironment(ui::EnvironmentValues environment);

    // The appearance the tree is drawn in.
    [[nodiscard]] Appearance appearance() const;
    // How many times the widget has drawn the tree.
    [[nodiscard]] std::uint64_t framesDrawn() const;

    // What the widget's drawing has cost so far, for tests and benchmarks.
    struct Statistics {
        // Strips of pixels drawn for frames (missing, or showing what changed), drawn ahead of
        // the view between frames, and shown by frames as they were.
        std::uint64_t stripsDrawn = 0;
        std::uint64_t stripsDrawnAhead = 0;
        std::uint64_t stripsReused = 0;
        // Strips kept now: those of the part on screen and the margin ahead of it; none while
        // the widget is not mapped (hidden, or in a window that is).
        std::uint64_t stripsKept = 0;
        // The time spent working ahead in idle time, between frames: strips drawn ahead and rows
        // laid out ahead.
        std::chrono::steady_clock::duration idleWork{};
        // How often the widget had the window's renderer draw, between frames and once per
        // renderer after the first frame it drew, what a scroll would first draw (the overlay
        // scroll bar), so that the renderer's one-time costs are paid outside a scroll. Never for
        // the Cairo renderer, which has none.
        std::uint64_t rendererWarmUps = 0;
    };
    [[nodiscard]] Statistics statistics() const;

    struct State;

private:
    void* widget_; // GtkWidget*, one reference
};

} // namespace platform

#include "platform/appkit/ViewHostWidget.hpp"

#include "platform/appkit/DesktopAppearance.hpp"
#include "platform/appkit/RendererWarmUp.hpp"
#include "platform/appkit/ShareAction.hpp"
#include "platform/appkit/ShareMenuInternal.hpp"
#include "platform/appkit/SurfaceTiles.hpp"
#include "platform/appkit/URLOpener.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <gtk/gtk.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Wheel steps come as whole notches; the tree scrolls by points.
constexpr double pointsPerWheelStep = 40;
constexpr const char* menuGroup = "viewhost";
constexpr const char* shareGroup = "share";

const char* cursorName(ui::CursorShape shape) {
    switch (shape) {
    case ui::CursorShape::iBeam:
        return "text";
    case ui::CursorShape::pointingHand:
        return "pointer";
    case ui::CursorShape::arrow:
        break;
    }
    return "default";
}

ui::EventModifiers modifiersOf(GdkModifierType state) {
    ui::EventModifiers modifiers;
    modifiers.shift = (state & GDK_SHIFT_MASK) != 0;
    modifiers.control = (state & GDK_CONTROL_MASK) != 0;
    modifiers.command = modifiers.control;
    modifiers.option = (state & GDK_ALT_MASK) != 0;
    return modifiers;
}

// The key names the tree knows, for keys that type no character.
const char* namedKey(guint keyval) {
    switch (keyval) {
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return "Left";
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return "Right";
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        return "Up";
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        return "Down";
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        return "Home";
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        return "End";
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
        return "PageUp";
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
        return "PageDown";
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return "Return";
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
        return "Tab";
    case GDK_KEY_Escape:
        return "Escape";
    case GDK_KEY_BackSpace:
        return "BackSpace";
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
        return "Delete";
    default:
        return nullptr;
    }
}

// The tree's key event for a key of the keyboard; empty `key` for keys it has no name for
// (modifiers alone, function keys).
ui::KeyEvent keyEventOf(ui::KeyEvent::Kind kind, guint keyval, GdkModifierType state) {
    ui::KeyEvent event;
    event.kind = kind;
    event.modifiers = modifiersOf(state);
    if (const char* const name = namedKey(keyval)) {
        event.key = name;
        return event;
    }
    const gunichar character = gdk_keyval_to_unicode(keyval);
    if (character == 0 || g_unichar_iscntrl(character)) {
        return event;
    }
    std::array<char, 8> utf8{};
    const int length = g_unichar_to_utf8(character, utf8.data());
    event.key.assign(utf8.data(), static_cast<std::size_t>(length));
    // A shortcut types nothing.
    if (!event.modifiers.control && !event.modifiers.option) {
        event.text = event.key;
    }
    return event;
}

} // namespace

struct ViewHostWidget::State {
    explicit State(GtkWidget* owner)
        : widget(owner)
        , openURL([](const URL& url) {
            return URLOpener::open(url.absoluteString()).ok()
                       ? ui::OpenURLAction::Result::handled
                       : ui::OpenURLAction::Result::discarded;
        })
        , share([self = this, alive = std::weak_ptr<int>(alive)](const SharedText& text,
                                                                 Rect anchor) {
            if (alive.lock()) {
                self->requestShareMenu(text, anchor);
            }
        })
        , scrollRectToVisible([self = this, alive = std::weak_ptr<int>(alive)](Rect rect) {
            if (alive.lock()) {
                self->scrollToVisible(rect);
            }
        }) {}

    ~State() { g_weak_ref_clear(&scrolledWindow); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    GtkWidget* widget; // the widget that owns this state
    ui::ViewGraph graph;
    ui::EnvironmentValues base;
    Appearance appearance;
    double scale = 1;
    std::shared_ptr<const DesktopAppearance::Observer> appearanceObservation;
    ui::ProposedViewSize proposal;
    bool hasProposal = false;
    Size lastSize;
    // What the widget shows, drawn into pixels of its own.
    SurfaceTiles tiles;
    std::uint64_t framesDrawn = 0;
    bool updateScheduled = false;
    guint tickCallback = 0;
    // The idle source drawing strips ahead of the view and laying out what the tree's lazy stacks
    // still estimate, or 0; and how long it has worked.
    guint workAheadSource = 0;
    std::chrono::steady_clock::duration idleWork{};
    // The idle source that has the window's renderer draw, once, what a first scroll would draw
    // for the first time (see RendererWarmUp.hpp), or 0; and how often it did.
    guint warmUpSource = 0;
    std::uint64_t rendererWarmUps = 0;

    // Pointer state.
    Point pointer;
    bool pointerInside = false;
    bool primaryDown = false;
    // While a drag is held outside the widget: the source repeating it, or 0.
    guint autoscrollSource = 0;
    ui::EventModifiers dragModifiers;
    Point dragStart;
    int clickCount = 0;
    guint32 lastPressTime = 0;
    Point lastPressLocation;
    std::string cursor = "default";

    // Set by a scrolled window holding the widget: the tree is laid out at its own height and the
    // widget shows the part of it the adjustment selects, drawing only that.
    GtkAdjustment* hadjustment = nullptr; // one reference, or none
    GtkAdjustment* vadjustment = nullptr; // one reference, or none
    GtkScrollablePolicy hscrollPolicy = GTK_SCROLL_MINIMUM;
    GtkScrollablePolicy vscrollPolicy = GTK_SCROLL_MINIMUM;

    GtkWidget* menu = nullptr; // the popover shown (context or share menu), a child of `widget`
    bool disposed = false;
    // Actions handed to the tree may be kept beyond the widget's life; they check this first.
    std::shared_ptr<int> alive = std::make_shared<int>(0);
    // Made once: a new action in every environment would make the whole tree look changed.
    ui::OpenURLAction openURL;
    ShareAction share;
    ui::ScrollRectToVisibleAction scrollRectToVisible;

    void applyEnvironment() {
        ui::EnvironmentValues environment = base;
        if (!environment.contains<ui::ColorSchemeKey>()) {
            environment.set<ui::ColorSchemeKey>(appearance.colorScheme);
        }
        if (!environment.contains<ui::ColorSchemeContrastKey>()) {
            environment.set<ui::ColorSchemeContrastKey>(appearance.contrast);
        }
        environment.set<ui::DisplayScaleKey>(scale);
        if (!environment.contains<ui::OpenURLKey>()) {
            environment.set<ui::OpenURLKey>(openURL);
        }
        if (!environment.contains<ShareActionKey>()) {
            environment.set<ShareActionKey>(share);
        }
        if (!environment.contains<ui::ScrollRectToVisibleKey>()) {
            environment.set<ui::ScrollRectToVisibleKey>(scrollRectToVisible);
        }
        graph.setEnvironment(std::move(environment));
    }

    // The scheme and contrast the tree is drawn in: what its environment says.
    Appearance drawnAppearance() const {
        return {graph.environment().colorScheme(), graph.environment().colorSchemeContrast()};
    }

    // How far the tree is scrolled: the widget's point (x, y) shows the tree's (x, y + offset).
    [[nodiscard]] double scrollOffset() const {
        return vadjustment != nullptr ? gtk_adjustment_get_value(vadjustment) : 0;
    }
    [[nodiscard]] Point inTree(Point widgetPoint) const {
        return {widgetPoint.x, widgetPoint.y + scrollOffset()};
    }
    // Tells the tree which part of it the widget shows.
    void syncVisibleRect();
    // In idle time and a few milliseconds at a time: draws the strips just beyond the part shown,
    // so that a scroll frame finds them drawn, and lays out the rows the tree first only
    // estimated, so that the extent becomes exact.
    void scheduleWorkAhead();
    // After a frame drawn by a renderer not warmed yet: warms it between frames.
    void scheduleWarmUp();
    // Whether the strips the widget's edges cut go to the toolkit cut to what is shown: while the
    // window's renderer has not yet drawn a texture a clip cuts (see RendererWarmUp.hpp).
    [[nodiscard]] bool cutsStripsAtEdges() const;
    // One slice of that work, until `deadline`; whether some is left.
    bool workAhead(std::chrono::steady_clock::time_point deadline);
    // After an update: a new size reaches the window and the adjustments.
    void sizeMayHaveChanged();
    // Rows above the ones shown changed their size (estimates replaced, stale rows brought up
    // to date): the widget scrolls as far, so that the rows shown stay where they are.
    void applyScrollCorrection();
    // A correction the tree made while the toolkit measured it, applied with the next update.
    double heldCorrection = 0;
    void setAdjustment(bool vertical, GtkAdjustment* adjustment);
    // Scrolls the least that shows `rect` (tree coordinates) whole, or its top when it is taller
    // than the widget.
    void scrollToVisible(Rect rect);
    // The part of the widget on screen, in its points: all of it when it scrolls the tree
    // itself, else what its ancestors leave of it (a viewport scrolling it whole, a window
    // smaller than it).
    [[nodiscard]] Rect shownPart() const;
    // Containers that scroll the widget whole, whose scrolling shows another part of it: the
    // widget draws again when they scroll. Followed while it is mapped.
    std::vector<GtkAdjustment*> scrolledBy; // one reference each
    void followScrollingAncestors();
    void stopFollowingScrollingAncestors();
    // A drag held outside the widget is sent again every few frames, at the pointer, so that what
    // it drags can scroll the tree towards it (autoscroll) while the pointer does not move.
    void autoscrollIfOutside();
    void stopAutoscroll();
    // The adjustments cover the tree's extent, a page the widget's size.
    // They take the scroll correction not applied yet.
    void configureAdjustments();
    // A keyboard scroll to the end (End in the scrolled window) animates towards the end the
    // extent had when it started; the rows the view reaches replace their estimates and move the
    // end. The view follows it until it rests at the end with the rows there laid out, or the
    // reader scrolls elsewhere; and no animation leaves the view past the end.
    bool followingEnd = false;
    GWeakRef scrolledWindow{}; // the scrolled window whose keyboard scrolls are watched
    void watchScrolledWindow();
    void followEnd();
    void keepWithinExtent();

    void scheduleUpdate();
    void runUpdate();
    void needsDisplay();
    void updateCursor();
    void syncAnimation();
    void showContextMenu(Point location);
    void requestShareMenu(const SharedText& text, Rect anchor);
    void showShareMenu(const SharedText& text, Rect anchor);
    void present(GMenuModel* model, const GdkRectangle& at, GtkPositionType side);
    void dismissMenu();
};

} // namespace platform

// ---- The GObject type -------------------------------------------------------------------------

G_DECLARE_FINAL_TYPE(MossViewHost, moss_view_host, MOSS, VIEW_HOST, GtkWidget)

struct _MossViewHost {
    GtkWidget parent_instance;
    platform::ViewHostWidget::State* state; // owned; released in finalize
};

G_DEFINE_TYPE_WITH_CODE(MossViewHost, moss_view_host, GTK_TYPE_WIDGET,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_SCROLLABLE, nullptr))

namespace {
enum ScrollableProperty : guint {
    propHAdjustment = 1,
    propVAdjustment,
    propHScrollPolicy,
    propVScrollPolicy,
};
} // namespace

namespace platform {

namespace {

ViewHostWidget::State& stateOf(gpointer widget) {
    return *MOSS_VIEW_HOST(widget)->state;
}

void onPressed(GtkGestureDrag* gesture, double x, double y, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    const guint button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
    const Point location{x, y};
    state.pointer = location;
    state.followingEnd = false;
    if (gtk_widget_get_focusable(state.widget)) {
        gtk_widget_grab_focus(state.widget);
    }
    if (button == GDK_BUTTON_SECONDARY) {
        gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
        state.showContextMenu(location);
        return;
    }
    if (button != GDK_BUTTON_PRIMARY) {
        return;
    }
    // Presses close together in time and place count up, as the desktop's double-click
    // settings say.
    const guint32 time = gtk_event_controller_get_current_event_time(GTK_EVENT_CONTROLLER(gesture));
    int doubleClickTime = 400;
    int doubleClickDistance = 5;
    g_object_get(gtk_widget_get_settings(state.widget), "gtk-double-click-time", &doubleClickTime,
                 "gtk-double-click-distance", &doubleClickDistance, nullptr);
    const bool continues = state.clickCount > 0 &&
                           time - state.lastPressTime <= static_cast<guint32>(doubleClickTime) &&
                           std::abs(x - state.lastPressLocation.x) <= doubleClickDistance &&
                           std::abs(y - state.lastPressLocation.y) <= doubleClickDistance;
    state.clickCount = continues ? state.clickCount + 1 : 1;
    state.lastPressTime = time;
    state.lastPressLocation = location;
    state.primaryDown = true;
    state.dragStart = location;
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
    ui::PointerEvent event;
    event.kind = ui::PointerEvent::Kind::down;
    event.location = state.inTree(location);
    event.button = 1;
    event.clickCount = state.clickCount;
    event.modifiers =
        modifiersOf(gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(gesture)));
    state.graph.pointerEvent(event);
}

void sendDrag(GtkGestureDrag* gesture, double dx, double dy, ui::PointerEvent::Kind kind,
              ViewHostWidget::State& state) {
    const Point location{state.dragStart.x + dx, state.dragStart.y + dy};
    state.pointer = location;
    ui::PointerEvent event;
    event.kind = kind;
    event.location = state.inTree(location);
    event.button = 1;
    event.clickCount = state.clickCount;
    event.modifiers =
        modifiersOf(gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(gesture)));
    state.dragModifiers = event.modifiers;
    state.graph.pointerEvent(event);
}

void onDragged(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    if (state.primaryDown) {
        sendDrag(gesture, dx, dy, ui::PointerEvent::Kind::dragged, state);
        state.updateCursor();
        state.autoscrollIfOutside();
    }
}

void onReleased(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    if (state.primaryDown) {
        state.primaryDown = false;
        state.stopAutoscroll();
        sendDrag(gesture, dx, dy, ui::PointerEvent::Kind::up, state);
        state.updateCursor();
        if (!state.pointerInside) {
            // The drag ended outside: the leave was held back until now.
            ui::PointerEvent exited;
            exited.kind = ui::PointerEvent::Kind::exited;
            exited.location = state.inTree(state.pointer);
            exited.clickCount = 0;
            state.graph.pointerEvent(exited);
        }
    }
}

void onMotion(GtkEventControllerMotion* controller, double x, double y, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    state.pointerInside = true;
    if (state.primaryDown) {
        return; // the drag gesture reports it
    }
    state.pointer = {x, y};
    ui::PointerEvent event;
    event.kind = ui::PointerEvent::Kind::moved;
    event.location = state.inTree(state.pointer);
    event.clickCount = 0;
    event.modifiers =
        modifiersOf(gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(controller)));
    state.graph.pointerEvent(event);
    state.updateCursor();
}

void onLeave(GtkEventControllerMotion*, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    state.pointerInside = false;
    if (state.primaryDown) {
        return; // a drag goes on outside the widget
    }
    ui::PointerEvent event;
    event.kind = ui::PointerEvent::Kind::exited;
    event.location = state.inTree(state.pointer);
    event.clickCount = 0;
    state.graph.pointerEvent(event);
}

gboolean onScroll(GtkEventControllerScroll* controller, double dx, double dy, gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    state.followingEnd = false;
    const double factor = gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_WHEEL
                              ? pointsPerWheelStep
                              : 1.0;
    // Shift turns a vertical wheel sideways, as the desktop's scrolling views do.
    const auto modifiers =
        gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(controller));
    if ((modifiers & GDK_SHIFT_MASK) != 0 && dx == 0) {
        std::swap(dx, dy);
    }
    ui::ScrollEvent event;
    event.location = state.inTree(state.pointer);
    event.deltaX = dx * factor;
    event.deltaY = dy * factor;
    // What the tree leaves alone scrolls whatever holds the widget.
    return state.graph.scrollEvent(event) ? TRUE : FALSE;
}

gboolean onKeyPressed(GtkEventControllerKey*, guint keyval, guint, GdkModifierType modifiers,
                      gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    // The reader goes elsewhere; End, left to the scrolled window, goes to the end again.
    state.followingEnd = false;
    const ui::KeyEvent event = keyEventOf(ui::KeyEvent::Kind::down, keyval, modifiers);
    if (event.key.empty()) {
        return FALSE;
    }
    // Keys the tree leaves alone go on to the window: its shortcuts, focus movement.
    return state.graph.keyEvent(event) ? TRUE : FALSE;
}

void onKeyReleased(GtkEventControllerKey*, guint keyval, guint, GdkModifierType modifiers,
                   gpointer data) {
    auto& state = *static_cast<ViewHostWidget::State*>(data);
    const ui::KeyEvent event = keyEventOf(ui::KeyEvent::Kind::up, keyval, modifiers);
    if (!event.key.empty()) {
        state.graph.keyEvent(event);
    }
}

void onWindowActiveChanged(GObject* window, GParamSpec*, gpointer widget) {
    // Only while the widget is still in that window.
    if (gtk_widget_get_root(GTK_WIDGET(widget)) == GTK_ROOT(window)) {
        stateOf(widget).graph.setWindowActive(gtk_window_is_active(GTK_WINDOW(window)) != FALSE);
    }
}

void onRooted(GObject* widget, GParamSpec*, gpointer) {
    GtkRoot* const root = gtk_widget_get_root(GTK_WIDGET(widget));
    if (GTK_IS_WINDOW(root)) {
        onWindowActiveChanged(G_OBJECT(root), nullptr, widget);
        g_signal_connect_object(root, "notify::is-active", G_CALLBACK(onWindowActiveChanged),
                                widget, GConnectFlags{});
    }
}

} // namespace

void ViewHostWidget::State::scheduleUpdate() {
    if (updateScheduled) {
        return;
    }
    updateScheduled = true;
    // Before the toolkit lays out and paints (GDK_PRIORITY_REDRAW), so a change shows in the
    // next frame. The source keeps the widget alive until it ran.
    g_idle_add_full(
        GDK_PRIORITY_REDRAW - 10,
        +[](gpointer widget) -> gboolean {
            State& state = stateOf(widget);
            state.updateScheduled = false;
            state.runUpdate();
            return G_SOURCE_REMOVE;
        },
        g_object_ref(widget), g_object_unref);
}

void ViewHostWidget::State::runUpdate() {
    graph.update();
    sizeMayHaveChanged();
    applyScrollCorrection();
    followEnd();
    syncAnimation();
    scheduleWorkAhead();
}

void ViewHostWidget::State::sizeMayHaveChanged() {
    const Size size = graph.size();
    if (size.width != lastSize.width || size.height != lastSize.height) {
        lastSize = size;
        // The tree's size changed: the window may give it another, a scrolled window another
        // extent.
        configureAdjustments();
        gtk_widget_queue_resize(widget);
    }
}

void ViewHostWidget::State::syncVisibleRect() {
    const double width = gtk_widget_get_width(widget);
    const double height = gtk_widget_get_height(widget);
    if (width > 0 && height > 0) {
        graph.setVisibleRect(Rect(0, scrollOffset(), width, height));
    }
}

void ViewHostWidget::State::scheduleWorkAhead() {
    if (workAheadSource != 0 || disposed) {
        return;
    }
    // Below drawing and input: a slice never holds a frame back by more than its budget.
    workAheadSource = g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        +[](gpointer widget) -> gboolean {
            State& state = stateOf(widget);
            constexpr auto budget = std::chrono::milliseconds(4);
            const auto start = std::chrono::steady_clock::now();
            const bool more = state.workAhead(start + budget);
            state.idleWork += std::chrono::steady_clock::now() - start;
            if (!more) {
                state.workAheadSource = 0;
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        g_object_ref(widget), g_object_unref);
}

namespace {

// Set on a renderer: how many steps of its warm-up are done (the hosts of one window warm it once
// between them).
constexpr const char* warmedKey = "moss-viewhost-warmed";

GskRenderer* rendererOf(GtkWidget* widget) {
    GtkNative* const native = gtk_widget_get_native(widget);
    return native != nullptr ? gtk_native_get_renderer(native) : nullptr;
}

int stepsWarmed(GskRenderer* renderer) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(renderer), warmedKey));
}

bool needsWarmUp(GskRenderer* renderer) {
    return renderer_warm_up::worthWarming(renderer) &&
           stepsWarmed(renderer) < renderer_warm_up::steps;
}

} // namespace

bool ViewHostWidget::State::cutsStripsAtEdges() const {
    GskRenderer* const renderer = rendererOf(widget);
    return renderer != nullptr && renderer_warm_up::worthWarming(renderer) &&
           stepsWarmed(renderer) <= renderer_warm_up::cutTextureStep;
}

void ViewHostWidget::State::scheduleWarmUp() {
    if (warmUpSource != 0 || disposed || !needsWarmUp(rendererOf(widget))) {
        return;
    }
    // Below drawing and input, after the frame just drawn was presented, a step a dispatch: the
    // compiling holds up a few short dispatches between frames rather than the first scroll.
    // Before the work ahead (same-priority sources are dispatched together, one long stretch):
    // the first scroll needs the code sooner than the strips beyond it.
    warmUpSource = g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE - 10,
        +[](gpointer widget) -> gboolean {
            State& state = stateOf(widget);
            GskRenderer* const renderer = rendererOf(state.widget);
            if (state.disposed || !needsWarmUp(renderer)) {
                state.warmUpSource = 0;
                return G_SOURCE_REMOVE;
            }
            const int step = stepsWarmed(renderer);
            renderer_warm_up::warm(renderer, step);
            g_object_set_data(G_OBJECT(renderer), warmedKey, GINT_TO_POINTER(step + 1));
            if (step + 1 < renderer_warm_up::steps) {
                return G_SOURCE_CONTINUE;
            }
            ++state.rendererWarmUps;
            state.warmUpSource = 0;
            return G_SOURCE_REMOVE;
        },
        g_object_ref(widget), g_object_unref);
}

bool ViewHostWidget::State::workAhead(std::chrono::steady_clock::time_point deadline) {
    // Only once something was shown, and from a tree that is up to date (else the next frame
    // draws what changed first). The rows around the part shown are placed first, then the
    // strips there are drawn: the next scroll shows them.
    if (!graph.needsUpdate() && framesDrawn > 0) {
        if (graph.placeAhead()) {
            sizeMayHaveChanged();
            applyScrollCorrection();
            followEnd();
            return true;
        }
        if (tiles.drawAhead(graph, deadline)) {
            return true;
        }
    }
    if (!graph.hasDeferredLayout()) {
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    const bool more = graph.layOutDeferred(std::max(left, std::chrono::microseconds(500)));
    sizeMayHaveChanged();
    applyScrollCorrection();
    followEnd();
    return more;
}

void ViewHostWidget::State::applyScrollCorrection() {
    const double correction = std::exchange(heldCorrection, 0) + graph.takeScrollCorrection();
    if (correction != 0 && vadjustment != nullptr) {
        gtk_adjustment_set_value(vadjustment, gtk_adjustment_get_value(vadjustment) + correction);
    }
}

void ViewHostWidget::State::setAdjustment(bool vertical, GtkAdjustment* adjustment) {
    GtkAdjustment*& slot = vertical ? vadjustment : hadjustment;
    if (slot == adjustment) {
        return;
    }
    if (slot != nullptr) {
        g_signal_handlers_disconnect_by_data(slot, this);
        g_object_unref(slot);
    }
    slot = adjustment != nullptr ? GTK_ADJUSTMENT(g_object_ref_sink(adjustment)) : nullptr;
    if (slot != nullptr) {
        g_signal_connect_swapped(slot, "value-changed", G_CALLBACK(+[](State* state) {
                                     state->keepWithinExtent();
                                     // An animated scroll may come to rest short of an end that
                                     // moved after it set out: looked at again once it moved.
                                     if (state->followingEnd) {
                                         state->scheduleUpdate();
                                     }
                                     // The tree stays where it is; the widget shows another
                                     // part, whose rows the tree lays out if it has not yet.
                                     state->syncVisibleRect();
                                     gtk_widget_queue_draw(state->widget);
                                     if (state->pointerInside) {
                                         state->updateCursor();
                                     }
                                 }),
                                 this);
    }
    // Scrolled, the tree takes its own height; not, the widget's.
    hasProposal = false;
    if (!disposed) {
        gtk_widget_queue_resize(widget);
    }
}

Rect ViewHostWidget::State::shownPart() const {
    Rect part(0, 0, gtk_widget_get_width(widget), gtk_widget_get_height(widget));
    if (vadjustment != nullptr) {
        return part;
    }
    for (GtkWidget* above = gtk_widget_get_parent(widget); above != nullptr;
         above = gtk_widget_get_parent(above)) {
        graphene_rect_t inAbove;
        if (!gtk_widget_compute_bounds(widget, above, &inAbove)) {
            break;
        }
        // What `above` shows of the widget, moved back into the widget's points.
        const Rect shown = Rect(0, 0, gtk_widget_get_width(above), gtk_widget_get_height(above))
                               .offsetBy(-inAbove.origin.x, -inAbove.origin.y);
        part = part.intersection(shown);
        if (part.isNull()) {
            break;
        }
    }
    return part;
}

void ViewHostWidget::State::followScrollingAncestors() {
    stopFollowingScrollingAncestors();
    for (GtkWidget* above = gtk_widget_get_parent(widget); above != nullptr;
         above = gtk_widget_get_parent(above)) {
        if (!GTK_IS_SCROLLABLE(above)) {
            continue;
        }
        for (GtkAdjustment* adjustment : {gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(above)),
                                          gtk_scrollable_get_hadjustment(GTK_SCROLLABLE(above))}) {
            if (adjustment != nullptr) {
                scrolledBy.push_back(GTK_ADJUSTMENT(g_object_ref(adjustment)));
                g_signal_connect_swapped(adjustment, "value-changed",
                                         G_CALLBACK(gtk_widget_queue_draw), widget);
            }
        }
    }
}

void ViewHostWidget::State::stopFollowingScrollingAncestors() {
    for (GtkAdjustment* adjustment : scrolledBy) {
        g_signal_handlers_disconnect_by_data(adjustment, widget);
        g_object_unref(adjustment);
    }
    scrolledBy.clear();
}

void ViewHostWidget::State::watchScrolledWindow() {
    GtkWidget* const scrolled = gtk_widget_get_ancestor(widget, GTK_TYPE_SCROLLED_WINDOW);
    GObject* const watched = static_cast<GObject*>(g_weak_ref_get(&scrolledWindow));
    if (watched != nullptr) {
        g_object_unref(watched);
    }
    if (scrolled == nullptr || G_OBJECT(scrolled) == watched) {
        return;
    }
    g_weak_ref_set(&scrolledWindow, scrolled);
    g_signal_connect_object(
        scrolled, "scroll-child",
        G_CALLBACK(+[](GtkWidget* scrolled, GtkScrollType type, gboolean horizontal,
                       gpointer widget) -> gboolean {
            // Before the scrolled window's own handler, which scrolls.
            if (!horizontal &&
                gtk_widget_get_ancestor(GTK_WIDGET(widget), GTK_TYPE_SCROLLED_WINDOW) == scrolled) {
                stateOf(widget).followingEnd = type == GTK_SCROLL_END;
            }
            return FALSE;
        }),
        widget, GConnectFlags{});
}

void ViewHostWidget::State::followEnd() {
    if (!followingEnd || vadjustment == nullptr || disposed) {
        return;
    }
    const double end =
        gtk_adjustment_get_upper(vadjustment) - gtk_adjustment_get_page_size(vadjustment);
    if (gtk_adjustment_get_value(vadjustment) != end) {
        // Towards the end as it is now, as the key itself scrolls.
        GObject* const scrolled = static_cast<GObject*>(g_weak_ref_get(&scrolledWindow));
        if (scrolled != nullptr) {
            gboolean handled = FALSE;
            g_signal_emit_by_name(scrolled, "scroll-child", GTK_SCROLL_END, FALSE, &handled);
            g_object_unref(scrolled);
        }
        return;
    }
    // At the end, and the tree laid out there and everywhere else: the extent is exact. Until
    // then a row laid out late (one measured while the view scrolled towards it, one that moves
    // the rows below the one at the top) may still move the end.
    const std::optional<Rect> shown = graph.visibleRect();
    if (!graph.needsUpdate() && !graph.hasDeferredLayout() && heldCorrection == 0 && shown &&
        shown->minY() == end) {
        followingEnd = false;
    }
}

void ViewHostWidget::State::keepWithinExtent() {
    // An animated scroll goes on towards where it set out for; the extent may have shrunk since.
    const double end =
        std::max(gtk_adjustment_get_upper(vadjustment) - gtk_adjustment_get_page_size(vadjustment),
                 gtk_adjustment_get_lower(vadjustment));
    if (gtk_adjustment_get_value(vadjustment) > end) {
        // Ends the animation there.
        gtk_adjustment_set_value(vadjustment, end);
    }
}

void ViewHostWidget::State::scrollToVisible(Rect rect) {
    if (disposed) {
        return;
    }
    // Sideways the scroll views inside the tree (a wide table, a long line of code) scroll.
    rect = graph.scrollToShow(rect);
    if (vadjustment == nullptr) {
        return;
    }
    followingEnd = false;
    const double height = gtk_widget_get_height(widget);
    const double top = scrollOffset();
    double value = top;
    if (rect.maxY() > top + height) {
        value = rect.maxY() - height;
    }
    if (rect.minY() < value) {
        value = rect.minY();
    }
    if (value != top) {
        // The adjustment keeps the value within the extent.
        gtk_adjustment_set_value(vadjustment, value);
    }
}

void ViewHostWidget::State::autoscrollIfOutside() {
    const double width = gtk_widget_get_width(widget);
    const double height = gtk_widget_get_height(widget);
    const bool outside =
        pointer.x < 0 || pointer.y < 0 || pointer.x >= width || pointer.y >= height;
    if (!outside || !primaryDown || disposed) {
        stopAutoscroll();
        return;
    }
    if (autoscrollSource != 0) {
        return;
    }
    // Twenty times a second: the tree scrolls as far as the pointer is outside each time, so the
    // farther out the pointer, the faster the text goes by.
    constexpr guint interval = 50;
    autoscrollSource = g_timeout_add_full(
        G_PRIORITY_DEFAULT, interval,
        +[](gpointer widget) -> gboolean {
            State& state = stateOf(widget);
            if (!state.primaryDown || state.disposed) {
                state.autoscrollSource = 0;
                return G_SOURCE_REMOVE;
            }
            ui::PointerEvent event;
            event.kind = ui::PointerEvent::Kind::dragged;
            event.location = state.inTree(state.pointer);
            event.button = 1;
            event.clickCount = state.clickCount;
            event.modifiers = state.dragModifiers;
            state.graph.pointerEvent(event);
            return G_SOURCE_CONTINUE;
        },
        g_object_ref(widget), g_object_unref);
}

void ViewHostWidget::State::stopAutoscroll() {
    if (autoscrollSource != 0) {
        g_source_remove(autoscrollSource);
        autoscrollSource = 0;
    }
}

void ViewHostWidget::State::configureAdjustments() {
    const double width = gtk_widget_get_width(widget);
    const double height = gtk_widget_get_height(widget);
    // A correction not taken yet is applied with the new extent, not after it: the value clamped
    // first to an extent that shrank would lose part of the correction.
    const double correction = std::exchange(heldCorrection, 0) + graph.takeScrollCorrection();
    if (vadjustment != nullptr) {
        const double extent = std::max(graph.size().height, height);
        gtk_adjustment_configure(vadjustment,
                                 std::clamp(gtk_adjustment_get_value(vadjustment) + correction, 0.0,
                                            std::max(extent - height, 0.0)),
                                 0, extent, pointsPerWheelStep, height * 0.9, height);
    }
    if (hadjustment != nullptr) {
        gtk_adjustment_configure(hadjustment, 0, 0, width, pointsPerWheelStep, width * 0.9, width);
    }
}

void ViewHostWidget::State::needsDisplay() {
    gtk_widget_queue_draw(widget);
    syncAnimation();
}

void ViewHostWidget::State::updateCursor() {
    const std::string name = cursorName(graph.cursor(inTree(pointer)));
    if (name != cursor) {
        cursor = name;
        gtk_widget_set_cursor_from_name(widget, name.c_str());
    }
}

void ViewHostWidget::State::syncAnimation() {
    if (tickCallback != 0 || !graph.wantsAnimationFrames()) {
        return;
    }
    tickCallback = gtk_widget_add_tick_callback(
        widget,
        +[](GtkWidget* self, GdkFrameClock*, gpointer) -> gboolean {
            State& state = stateOf(self);
            if (!state.graph.wantsAnimationFrames()) {
                state.tickCallback = 0;
                return G_SOURCE_REMOVE;
            }
            state.graph.advanceFrame(std::chrono::steady_clock::now());
            return G_SOURCE_CONTINUE;
        },
        nullptr, nullptr);
}

void ViewHostWidget::State::dismissMenu() {
    if (menu != nullptr) {
        gtk_widget_unparent(menu);
        menu = nullptr;
    }
}

void ViewHostWidget::State::showContextMenu(Point location) {
    std::vector<ui::MenuItem> items = graph.contextMenu(inTree(location));
    dismissMenu();
    if (items.empty()) {
        return;
    }
    // One section per run of items between separators; each item activates its own action.
    GMenu* const model = g_menu_new();
    GMenu* section = g_menu_new();
    GSimpleActionGroup* const actions = g_simple_action_group_new();
    int index = 0;
    for (ui::MenuItem& item : items) {
        if (item.isSeparator) {
            if (g_menu_model_get_n_items(G_MENU_MODEL(section)) > 0) {
                g_menu_append_section(model, nullptr, G_MENU_MODEL(section));
            }
            g_object_unref(section);
            section = g_menu_new();
            continue;
        }
        const std::string name = "item-" + std::to_string(index++);
        GSimpleAction* const action = g_simple_action_new(name.c_str(), nullptr);
        g_simple_action_set_enabled(action, item.enabled && item.action ? TRUE : FALSE);
        using Perform = std::function<void()>;
        g_signal_connect_data(
            action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer perform) {
                (*static_cast<Perform*>(perform))();
            }),
            std::make_unique<Perform>(std::move(item.action)).release(),
            +[](gpointer perform, GClosure*) {
                const std::unique_ptr<Perform> owned{static_cast<Perform*>(perform)};
            },
            GConnectFlags{});
        g_action_map_add_action(G_ACTION_MAP(actions), G_ACTION(action));
        g_object_unref(action);
        const std::string detailed = std::string{menuGroup} + "." + name;
        g_menu_append(section, item.title.c_str(), detailed.c_str());
    }
    if (g_menu_model_get_n_items(G_MENU_MODEL(section)) > 0) {
        g_menu_append_section(model, nullptr, G_MENU_MODEL(section));
    }
    g_object_unref(section);
    gtk_widget_insert_action_group(widget, menuGroup, G_ACTION_GROUP(actions));
    g_object_unref(actions);
    const GdkRectangle at{static_cast<int>(std::floor(location.x)),
                          static_cast<int>(std::floor(location.y)), 1, 1};
    present(G_MENU_MODEL(model), at, GTK_POS_BOTTOM);
    g_object_unref(model);
}

void ViewHostWidget::State::requestShareMenu(const SharedText& text, Rect anchor) {
    if (disposed) {
        return;
    }
    // Usually asked for from an item of the context menu, while that menu is still busy
    // activating it: shown once it is done.
    struct Pending {
        Pending(GtkWidget* owner, SharedText shared, Rect at)
            : widget(GTK_WIDGET(g_object_ref(owner)))
            , text(std::move(shared))
            , anchor(at) {}
        ~Pending() { g_object_unref(widget); }
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;

        GtkWidget* widget; // one reference
        SharedText text;
        Rect anchor;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        +[](gpointer data) -> gboolean {
            const auto& pending = *static_cast<Pending*>(data);
            State& state = stateOf(pending.widget);
            if (!state.disposed) {
                state.showShareMenu(pending.text, pending.anchor);
            }
            return G_SOURCE_REMOVE;
        },
        std::make_unique<Pending>(widget, text, anchor).release(),
        +[](gpointer data) { const std::unique_ptr<Pending> owned{static_cast<Pending*>(data)}; });
}

void ViewHostWidget::State::showShareMenu(const SharedText& text, Rect anchor) {
    auto share = std::make_shared<const ShareMenu>(text);
    if (share->items().empty()) {
        dismissMenu();
        return;
    }
    GMenuModel* const model = share_menu_internal::makeMenuModel(*share, shareGroup);
    GActionGroup* const actions = share_menu_internal::makeActionGroup(std::move(share));
    gtk_widget_insert_action_group(widget, shareGroup, actions);
    g_object_unref(actions);
    // The anchor made integral, below it (the end of a selection, the picker under it), where
    // the widget shows it.
    anchor = anchor.offsetBy(0, -scrollOffset());
    const int left = static_cast<int>(std::floor(anchor.origin.x));
    const int top = static_cast<int>(std::floor(anchor.origin.y));
    const GdkRectangle at{
        left, top,
        std::max(1, static_cast<int>(std::ceil(anchor.origin.x + anchor.size.width)) - left),
        std::max(1, static_cast<int>(std::ceil(anchor.origin.y + anchor.size.height)) - top)};
    present(model, at, GTK_POS_BOTTOM);
    g_object_unref(model);
}

void ViewHostWidget::State::present(GMenuModel* model, const GdkRectangle& at,
                                    GtkPositionType side) {
    dismissMenu();
    menu = gtk_popover_menu_new_from_model(model);
    gtk_widget_set_parent(menu, widget);
    gtk_popover_set_has_arrow(GTK_POPOVER(menu), FALSE);
    gtk_widget_set_halign(menu, GTK_ALIGN_START);
    gtk_popover_set_position(GTK_POPOVER(menu), side);
    gtk_popover_set_pointing_to(GTK_POPOVER(menu), &at);
    gtk_popover_popup(GTK_POPOVER(menu));
}

} // namespace platform

// ---- Widget class ------------------------------------------------------------------------------

using platform::ViewHostWidget;

static void moss_view_host_init(MossViewHost* self) {
    GtkWidget* const widget = GTK_WIDGET(self);
    self->state = std::make_unique<ViewHostWidget::State>(widget).release();
    auto& state = *self->state;
    gtk_widget_set_focusable(widget, TRUE);
    gtk_widget_set_focus_on_click(widget, TRUE);
    gtk_widget_set_overflow(widget, GTK_OVERFLOW_HIDDEN);

    GtkGesture* const drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), 0); // every button
    g_signal_connect(drag, "drag-begin", G_CALLBACK(platform::onPressed), &state);
    g_signal_connect(drag, "drag-update", G_CALLBACK(platform::onDragged), &state);
    g_signal_connect(drag, "drag-end", G_CALLBACK(platform::onReleased), &state);
    // A drag taken away (another grab) repeats no more.
    g_signal_connect_swapped(
        drag, "cancel", G_CALLBACK(+[](ViewHostWidget::State* host) { host->stopAutoscroll(); }),
        &state);
    gtk_widget_add_controller(widget, GTK_EVENT_CONTROLLER(drag));

    GtkEventController* const motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "enter", G_CALLBACK(platform::onMotion), &state);
    g_signal_connect(motion, "motion", G_CALLBACK(platform::onMotion), &state);
    g_signal_connect(motion, "leave", G_CALLBACK(platform::onLeave), &state);
    gtk_widget_add_controller(widget, motion);

    GtkEventController* const scroll =
        gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_BOTH_AXES);
    g_signal_connect(scroll, "scroll", G_CALLBACK(platform::onScroll), &state);
    gtk_widget_add_controller(widget, scroll);

    GtkEventController* const keys = gtk_event_controller_key_new();
    g_signal_connect(keys, "key-pressed", G_CALLBACK(platform::onKeyPressed), &state);
    g_signal_connect(keys, "key-released", G_CALLBACK(platform::onKeyReleased), &state);
    gtk_widget_add_controller(widget, keys);

    // The tree's focus leaves with the window and comes back with it.
    g_signal_connect(widget, "notify::root", G_CALLBACK(platform::onRooted), nullptr);

    // Nothing is shown until the widget has a size: lazy stacks lay out next to nothing to
    // answer the first measures, and the rows on screen once the widget is allocated.
    state.graph.setVisibleRect(platform::Rect(0, 0, 0, 0));
    state.graph.setUpdateScheduler([&state] { state.scheduleUpdate(); });
    state.graph.setNeedsDisplayHandler([&state] { state.needsDisplay(); });
    state.appearance = platform::DesktopAppearance::shared().current();
    state.scale = gtk_widget_get_scale_factor(widget);
    state.appearanceObservation =
        platform::DesktopAppearance::shared().observe([&state](const platform::Appearance& now) {
            state.appearance = now;
            state.applyEnvironment();
            gtk_widget_queue_draw(state.widget);
        });
    g_signal_connect(widget, "notify::scale-factor",
                     G_CALLBACK(+[](GObject* object, GParamSpec*, gpointer) {
                         auto& host = platform::stateOf(object);
                         host.scale = gtk_widget_get_scale_factor(GTK_WIDGET(object));
                         host.applyEnvironment();
                         gtk_widget_queue_draw(GTK_WIDGET(object));
                     }),
                     nullptr);
    state.applyEnvironment();
}

static void moss_view_host_dispose(GObject* object) {
    auto& state = platform::stateOf(object);
    state.disposed = true;
    state.dismissMenu();
    state.appearanceObservation.reset();
    state.tiles.clear();
    state.stopFollowingScrollingAncestors();
    if (state.tickCallback != 0) {
        gtk_widget_remove_tick_callback(GTK_WIDGET(object), state.tickCallback);
        state.tickCallback = 0;
    }
    if (state.workAheadSource != 0) {
        g_source_remove(state.workAheadSource);
        state.workAheadSource = 0;
    }
    if (state.warmUpSource != 0) {
        g_source_remove(state.warmUpSource);
        state.warmUpSource = 0;
    }
    state.stopAutoscroll();
    state.setAdjustment(false, nullptr);
    state.setAdjustment(true, nullptr);
    // Nothing the tree does from now on may reach the widget.
    state.graph.setUpdateScheduler([] {});
    state.graph.setNeedsDisplayHandler([] {});
    G_OBJECT_CLASS(moss_view_host_parent_class)->dispose(object);
}

static void moss_view_host_finalize(GObject* object) {
    const std::unique_ptr<ViewHostWidget::State> state{MOSS_VIEW_HOST(object)->state};
    MOSS_VIEW_HOST(object)->state = nullptr;
    G_OBJECT_CLASS(moss_view_host_parent_class)->finalize(object);
}

static GtkSizeRequestMode moss_view_host_get_request_mode(GtkWidget*) {
    return GTK_SIZE_REQUEST_HEIGHT_FOR_WIDTH;
}

static void moss_view_host_measure(GtkWidget* widget, GtkOrientation orientation, int forSize,
                                   int* minimum, int* natural, int* minimumBaseline,
                                   int* naturalBaseline) {
    auto& state = platform::stateOf(widget);
    const std::optional<double> given =
        forSize >= 0 ? std::optional<double>(forSize) : std::nullopt;
    if (orientation == GTK_ORIENTATION_HORIZONTAL) {
        // Any width down to nothing: the tree wraps or clips, and the window stays resizable.
        const platform::Size ideal = state.graph.sizeThatFits({std::nullopt, given});
        *minimum = 0;
        *natural = static_cast<int>(std::ceil(ideal.width));
    } else {
        const platform::Size fitted = state.graph.sizeThatFits({given, std::nullopt});
        *minimum = *natural = static_cast<int>(std::ceil(fitted.height));
    }
    // Measuring may lay out rows above the ones shown anew (a picture fitted to the width): the
    // widget scrolls as far, though not while the toolkit measures.
    if (const double correction = state.graph.takeScrollCorrection(); correction != 0) {
        state.heldCorrection += correction;
        state.scheduleUpdate();
    }
    *minimumBaseline = *naturalBaseline = -1;
}

static void moss_view_host_size_allocate(GtkWidget* widget, int width, int height, int) {
    auto& state = platform::stateOf(widget);
    // A correction made while the toolkit measured the tree (rows above the ones shown changed
    // their size) is taken first: the visible part the tree is told next starts from it.
    state.applyScrollCorrection();
    const platform::ui::ProposedViewSize proposal{
        double(width), state.vadjustment != nullptr ? std::nullopt : std::optional(double(height))};
    state.syncVisibleRect();
    if (!state.hasProposal || !(proposal == state.proposal)) {
        state.hasProposal = true;
        state.proposal = proposal;
        state.graph.setProposal(proposal);
        state.graph.update();
        state.lastSize = state.graph.size();
        state.syncAnimation();
        state.scheduleWorkAhead();
    }
    state.configureAdjustments();
    state.applyScrollCorrection();
    state.watchScrolledWindow();
    state.followEnd();
    if (state.menu != nullptr) {
        gtk_popover_present(GTK_POPOVER(state.menu));
    }
}

static void moss_view_host_snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
    auto& state = platform::stateOf(widget);
    if (state.graph.needsUpdate()) {
        state.graph.update();
    }
    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    if (width <= 0 || height <= 0) {
        return;
    }
    // Only the part the widget shows is drawn, into strips of pixels at the display's scale that
    // are drawn again only where the tree changed.
    GskRenderer* const renderer = gtk_native_get_renderer(gtk_widget_get_native(widget));
    state.tiles.snapshot(snapshot, state.graph, platform::Size(width, height), state.scrollOffset(),
                         gtk_widget_get_scale_factor(widget), state.drawnAppearance(),
                         renderer == nullptr || !GSK_IS_CAIRO_RENDERER(renderer), state.shownPart(),
                         state.cutsStripsAtEdges());
    ++state.framesDrawn;
    // The strips beyond the ones shown, drawn while the toolkit waits for the next frame.
    state.scheduleWorkAhead();
    state.scheduleWarmUp();
}

static void moss_view_host_map(GtkWidget* widget) {
    GTK_WIDGET_CLASS(moss_view_host_parent_class)->map(widget);
    platform::stateOf(widget).followScrollingAncestors();
}

static void moss_view_host_unmap(GtkWidget* widget) {
    auto& state = platform::stateOf(widget);
    // Nothing is shown: no pixels are kept (they are drawn again when it is).
    state.stopFollowingScrollingAncestors();
    state.tiles.clear();
    GTK_WIDGET_CLASS(moss_view_host_parent_class)->unmap(widget);
}

static void moss_view_host_set_property(GObject* object, guint id, const GValue* value,
                                        GParamSpec* spec) {
    auto& state = platform::stateOf(object);
    switch (id) {
    case propHAdjustment:
    case propVAdjustment:
        state.setAdjustment(id == propVAdjustment, GTK_ADJUSTMENT(g_value_get_object(value)));
        break;
    case propHScrollPolicy:
        state.hscrollPolicy = static_cast<GtkScrollablePolicy>(g_value_get_enum(value));
        break;
    case propVScrollPolicy:
        state.vscrollPolicy = static_cast<GtkScrollablePolicy>(g_value_get_enum(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

static void moss_view_host_get_property(GObject* object, guint id, GValue* value,
                                        GParamSpec* spec) {
    auto& state = platform::stateOf(object);
    switch (id) {
    case propHAdjustment:
        g_value_set_object(value, state.hadjustment);
        break;
    case propVAdjustment:
        g_value_set_object(value, state.vadjustment);
        break;
    case propHScrollPolicy:
        g_value_set_enum(value, state.hscrollPolicy);
        break;
    case propVScrollPolicy:
        g_value_set_enum(value, state.vscrollPolicy);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

static void moss_view_host_class_init(MossViewHostClass* klass) {
    GObjectClass* const objectClass = G_OBJECT_CLASS(klass);
    objectClass->dispose = moss_view_host_dispose;
    objectClass->finalize = moss_view_host_finalize;
    objectClass->set_property = moss_view_host_set_property;
    objectClass->get_property = moss_view_host_get_property;
    g_object_class_override_property(objectClass, propHAdjustment, "hadjustment");
    g_object_class_override_property(objectClass, propVAdjustment, "vadjustment");
    g_object_class_override_property(objectClass, propHScrollPolicy, "hscroll-policy");
    g_object_class_override_property(objectClass, propVScrollPolicy, "vscroll-policy");
    GtkWidgetClass* const widgetClass = GTK_WIDGET_CLASS(klass);
    widgetClass->get_request_mode = moss_view_host_get_request_mode;
    widgetClass->measure = moss_view_host_measure;
    widgetClass->size_allocate = moss_view_host_size_allocate;
    widgetClass->snapshot = moss_view_host_snapshot;
    widgetClass->map = moss_view_host_map;
    widgetClass->unmap = moss_view_host_unmap;
}

namespace platform {

ViewHostWidget::ViewHostWidget(ui::AnyView root, ui::EnvironmentValues environment)
    : widget_(g_object_ref_sink(g_object_new(moss_view_host_get_type(), nullptr))) {
    State& state = stateOf(widget_);
    state.base = std::move(environment);
    state.applyEnvironment();
    state.graph.setRootView(std::move(root));
}

ViewHostWidget::~ViewHostWidget() {
    g_object_unref(widget_);
}

ui::ViewGraph& ViewHostWidget::graph() {
    return stateOf(widget_).graph;
}

void ViewHostWidget::setRootView(ui::AnyView root) {
    stateOf(widget_).graph.setRootView(std::move(root));
}

void ViewHostWidget::setEnvironment(ui::EnvironmentValues environment) {
    State& state = stateOf(widget_);
    state.base = std::move(environment);
    state.applyEnvironment();
    gtk_widget_queue_draw(GTK_WIDGET(widget_));
}

Appearance ViewHostWidget::appearance() const {
    return stateOf(widget_).drawnAppearance();
}

std::uint64_t ViewHostWidget::framesDrawn() const {
    return stateOf(widget_).framesDrawn;
}

ViewHostWidget::Statistics ViewHostWidget::statistics() const {
    const State& state = stateOf(widget_);
    Statistics statistics;
    statistics.stripsDrawn = state.tiles.statistics().stripsDrawn;
    statistics.stripsDrawnAhead = state.tiles.statistics().stripsDrawnAhead;
    statistics.stripsReused = state.tiles.statistics().stripsReused;
    statistics.stripsKept = state.tiles.stripsKept();
    statistics.idleWork = state.idleWork;
    statistics.rendererWarmUps = state.rendererWarmUps;
    return statistics;
}

} // namespace platform

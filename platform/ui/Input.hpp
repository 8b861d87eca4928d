#pragma once

// Input events as hosts deliver them, cursor shapes, the bridge through which a view hosts its
// own interaction object (pointer, drag, keys, focus and context menu over a rectangle), and the
// request to scroll a rectangle into view that such an object makes of the host.

#include "platform/graphics/Geometry.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::ui {

enum class CursorShape : std::uint8_t { arrow, iBeam, pointingHand };

/// Modifier keys held during an event.
struct EventModifiers {
    bool shift = false;
    bool control = false;
    bool option = false;
    bool command = false;
    friend constexpr bool operator==(const EventModifiers&, const EventModifiers&) = default;
};

struct PointerEvent {
    enum class Kind : std::uint8_t { down, dragged, up, moved, exited };
    Kind kind = Kind::moved;
    /// In the root view's coordinates (for interaction objects: their own, see below).
    platform::Point location;
    /// 1 primary, 2 middle, 3 secondary.
    int button = 1;
    /// 1 for a single click, 2 for the second click of a double click, and so on.
    int clickCount = 1;
    EventModifiers modifiers;
};

struct KeyEvent {
    enum class Kind : std::uint8_t { down, up };
    Kind kind = Kind::down;
    /// A key name: a printable character as UTF-8, or one of "Left", "Right", "Up", "Down",
    /// "Home", "End", "PageUp", "PageDown", "Return", "Tab", "Escape", "BackSpace", "Delete".
    std::string key;
    /// The text the key types, if any.
    std::string text;
    EventModifiers modifiers;
};

struct ScrollEvent {
    platform::Point location;
    platform::CGFloat deltaX = 0;
    platform::CGFloat deltaY = 0;
};

struct MenuItem {
    std::string title;
    bool enabled = true;
    std::function<void()> action;
    /// A separator line instead of an item.
    bool isSeparator = false;
};

/// An object that takes the pointer, keyboard, focus and context-menu events over the rectangle
/// of the view that hosts it (`interaction(...)`). Locations are in the hosting view's own
/// coordinates. Methods return whether they handled the event.
class InteractionObject {
public:
    virtual ~InteractionObject() = default;
    /// Whether the point belongs to the object; points it declines go to the views below.
    virtual bool hitTest(platform::Point) const { return true; }
    virtual bool pointerDown(const PointerEvent&) { return false; }
    virtual bool pointerDragged(const PointerEvent&) { return false; }
    virtual bool pointerUp(const PointerEvent&) { return false; }
    virtual bool pointerMoved(const PointerEvent&) { return false; }
    virtual bool keyDown(const KeyEvent&) { return false; }
    virtual bool keyUp(const KeyEvent&) { return false; }
    virtual bool acceptsFocus() const { return true; }
    virtual void focusChanged(bool /*focused*/) {}
    virtual std::vector<MenuItem> contextMenu(platform::Point) { return {}; }
    virtual std::optional<CursorShape> cursor(platform::Point) const { return std::nullopt; }
    /// The hosting view's frame in root coordinates, updated at every layout.
    virtual void frameChanged(platform::Rect) {}
};

/// Asks whatever shows the tree to scroll by the least distance that brings a rectangle (in root
/// coordinates) into view: the moving end of a selection extended from the keyboard, the pointer
/// of a drag held outside the part shown (autoscroll), sideways too inside a horizontal scroll
/// view (`ViewGraph::scrollToShow`). A host that scrolls puts one in the environment
/// (`ScrollRectToVisibleKey`); the default does nothing.
class ScrollRectToVisibleAction {
public:
    ScrollRectToVisibleAction() = default;
    explicit ScrollRectToVisibleAction(std::function<void(platform::Rect)> handler)
        : handler_(
              std::make_shared<const std::function<void(platform::Rect)>>(std::move(handler))) {}
    void operator()(platform::Rect rect) const {
        if (handler_) {
            (*handler_)(rect);
        }
    }
    /// Identity: copies of one action are equal.
    friend bool operator==(const ScrollRectToVisibleAction& a, const ScrollRectToVisibleAction& b) {
        return a.handler_ == b.handler_;
    }

private:
    std::shared_ptr<const std::function<void(platform::Rect)>> handler_;
};
struct ScrollRectToVisibleKey {
    using Value = ScrollRectToVisibleAction;
    static Value defaultValue() { return {}; }
};

enum class HoverPhaseKind : std::uint8_t { active, ended };
struct HoverPhase {
    HoverPhaseKind kind = HoverPhaseKind::ended;
    /// In the view's own coordinates while active.
    platform::Point location;
};

} // namespace platform::ui

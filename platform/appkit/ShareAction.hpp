#pragma once

#include "platform/appkit/ShareMenu.hpp"
#include "platform/graphics/Geometry.hpp"

#include <functional>
#include <memory>

namespace platform {

// Offers a piece of text to the desktop's applications, as a share menu shown next to `anchor`
// (a rectangle in the root view's coordinates, usually the end of the selection).
//
// Views find it in their environment under ShareActionKey. The window host installs one that
// shows the menu over its view tree; elsewhere (offscreen, in tests) the default does nothing.
class ShareAction {
public:
    using Handler = std::function<void(const SharedText& text, Rect anchor)>;

    // An action that shows nothing.
    ShareAction();
    explicit ShareAction(Handler handler);

    void operator()(const SharedText& text, Rect anchor) const { (*handler_)(text, anchor); }

    // Identity: copies of one action are equal.
    friend bool operator==(const ShareAction& a, const ShareAction& b) {
        return a.handler_ == b.handler_;
    }

private:
    std::shared_ptr<const Handler> handler_;
};

// The environment key of the share action.
struct ShareActionKey {
    using Value = ShareAction;
    static Value defaultValue() { return ShareAction(); }
};

} // namespace platform

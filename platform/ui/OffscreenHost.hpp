#pragma once

// A host without a window: renders a view at a proposed size into an image, injects pointer and
// key events, and runs the main loop until the view is idle. Tests and tools use it.

#include "platform/graphics/Image.hpp"
#include "platform/ui/ViewGraph.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::ui {

class OffscreenHost {
public:
    explicit OffscreenHost(AnyView root, ProposedViewSize proposal = {},
                           EnvironmentValues environment = {});
    ViewGraph& graph() { return graph_; }
    void setRootView(AnyView root);
    void setProposal(ProposedViewSize proposal);
    /// Shows only `rect` of the root (none: all of it), as a scrolled window does: lazy stacks
    /// lay out what lies in it, and `render` draws just that part.
    void setVisibleRect(std::optional<Rect> rect);

    /// Runs main-executor jobs (updates, tasks) until none is ready, at most `timeout`.
    void runUntilIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    /// Runs the main loop until `predicate` holds or `timeout` passes.
    bool runUntil(const std::function<bool()>& predicate,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    Size size();
    /// Renders the current layout into an image of the root's size (rounded up) at `scale`,
    /// on `background` (transparent by default); of the visible rectangle's size, showing that
    /// part, when one is set.
    platform::Image render(double scale = 1.0, std::optional<Color> background = std::nullopt);
    /// PNG bytes of `render(scale, background)`.
    std::vector<std::uint8_t> renderPNG(double scale = 1.0,
                                        std::optional<Color> background = std::nullopt);

    // Input, in root coordinates; each runs the resulting update.
    void click(Point location, int clickCount = 1);
    void pointer(const PointerEvent& event);
    void key(const std::string& key, const std::string& text = {}, EventModifiers modifiers = {});
    void scroll(Point location, CGFloat dx, CGFloat dy);

private:
    ViewGraph graph_;
};

} // namespace platform::ui

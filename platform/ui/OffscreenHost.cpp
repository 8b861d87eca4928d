#include "platform/ui/OffscreenHost.hpp"

#include "platform/graphics/ImageSource.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "platform/runtime/MainExecutor.hpp"

namespace platform::ui {

OffscreenHost::OffscreenHost(AnyView root, ProposedViewSize proposal, EnvironmentValues environment)
    : graph_(std::move(root), std::move(environment)) {
    graph_.setProposal(proposal);
}

void OffscreenHost::setRootView(AnyView root) {
    graph_.setRootView(std::move(root));
}

void OffscreenHost::setProposal(ProposedViewSize proposal) {
    graph_.setProposal(proposal);
}

void OffscreenHost::setVisibleRect(std::optional<Rect> rect) {
    graph_.setVisibleRect(rect);
}

void OffscreenHost::runUntilIdle(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::size_t ran = platform::MainExecutor::shared().drain();
        if (graph_.needsUpdate()) {
            graph_.update();
            continue;
        }
        if (ran == 0) {
            break;
        }
    }
}

bool OffscreenHost::runUntil(const std::function<bool()>& predicate,
                             std::chrono::milliseconds timeout) {
    const bool result = platform::MainExecutor::shared().runUntil(
        [&] {
            if (graph_.needsUpdate()) {
                graph_.update();
            }
            return predicate();
        },
        timeout);
    runUntilIdle();
    return result;
}

Size OffscreenHost::size() {
    runUntilIdle();
    return graph_.size();
}

platform::Image OffscreenHost::render(double scale, std::optional<Color> background) {
    runUntilIdle();
    const std::optional<Rect> visible = graph_.visibleRect();
    const Rect region = visible ? *visible : Rect({0, 0}, graph_.size());
    platform::ImageSurface surface = platform::ImageSurface::ofSize(region.size, scale);
    platform::GraphicsContext context(surface);
    if (background) {
        context.fill(Rect({0, 0}, region.size), *background);
    }
    if (visible) {
        context.clip(Rect({0, 0}, region.size));
        context.translateBy(-region.origin.x, -region.origin.y);
    }
    graph_.draw(context);
    return surface.makeImage();
}

std::vector<std::uint8_t> OffscreenHost::renderPNG(double scale, std::optional<Color> background) {
    return platform::encodePNG(render(scale, background)).value_or(std::vector<std::uint8_t>{});
}

void OffscreenHost::click(Point location, int clickCount) {
    runUntilIdle();
    PointerEvent e;
    e.location = location;
    e.clickCount = clickCount;
    e.kind = PointerEvent::Kind::down;
    graph_.pointerEvent(e);
    e.kind = PointerEvent::Kind::up;
    graph_.pointerEvent(e);
    runUntilIdle();
}

void OffscreenHost::pointer(const PointerEvent& event) {
    runUntilIdle();
    graph_.pointerEvent(event);
    runUntilIdle();
}

void OffscreenHost::key(const std::string& key, const std::string& text, EventModifiers modifiers) {
    KeyEvent e;
    e.key = key;
    e.text = text;
    e.modifiers = modifiers;
    graph_.keyEvent(e);
    e.kind = KeyEvent::Kind::up;
    graph_.keyEvent(e);
    runUntilIdle();
}

void OffscreenHost::scroll(Point location, CGFloat dx, CGFloat dy) {
    runUntilIdle();
    graph_.scrollEvent({location, dx, dy});
    runUntilIdle();
}

} // namespace platform::ui

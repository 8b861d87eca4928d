#include "Mossbarrow/Views/ObservedRender.hpp"

namespace mossbarrow {

ObservedRender::ObservedRender(std::function<void()> render)
    : render_(std::move(render)) {}

ObservedRender::~ObservedRender() {
    scheduled_.disconnect();
    tracking_.cancel();
}

void ObservedRender::renderNow() {
    scheduled_.disconnect();
    tracking_ = platform::trackObservation([this] { render_(); }, [this] { setNeedsRender(); });
}

void ObservedRender::setNeedsRender() {
    if (scheduled_.connected()) {
        return;
    }
    scheduled_ = Glib::signal_timeout().connect(
        [this] {
            renderNow();
            return false;
        },
        0);
}

} // namespace mossbarrow

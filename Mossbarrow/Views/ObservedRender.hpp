#pragma once

#include "platform/observation/ObservationTracking.hpp"

#include <functional>
#include <gtkmm.h>

namespace mossbarrow {

// Keeps a view's widgets in step with the observable models it reads.
//
// The render function runs inside observation tracking; when anything it read is about to
// change, one re-render is scheduled for the next turn of the main loop (the change notification
// comes before the new value is stored, so rendering at once would read the old one). Several
// changes in one turn cost one render.
class ObservedRender {
public:
    explicit ObservedRender(std::function<void()> render);
    ~ObservedRender();
    ObservedRender(const ObservedRender&) = delete;
    ObservedRender& operator=(const ObservedRender&) = delete;

    // Renders now (cancelling a scheduled render) and tracks what was read.
    void renderNow();
    // Schedules a render for the next turn of the main loop, e.g. after a local state change.
    void setNeedsRender();

private:
    std::function<void()> render_;
    platform::ObservationTracking tracking_;
    sigc::connection scheduled_;
};

} // namespace mossbarrow

#pragma once

#include <chrono>
#include <functional>
#include <gtkmm.h>
#include <gtkmm/init.h>

namespace mossbarrow::uitest {

// Opens the display and readies gtkmm's wrappers; false without a display.
// Drawing goes through Cairo: the GL renderer on a virtual display is slow and can stall.
inline bool initGtk() {
    g_setenv("GSK_RENDERER", "cairo", FALSE);
    if (!gtk_init_check()) {
        return false;
    }
    Gtk::init_gtkmm_internals();
    return true;
}

// Runs the default main context until `done` holds or `timeout` passes; returns `done()`.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds{5000}) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE)) {
            g_usleep(1000);
        }
    }
    return done();
}

// What a pointer click on the button does, without waiting for its press animation.
inline void click(Gtk::Button& button) {
    g_signal_emit_by_name(button.gobj(), "clicked");
}

inline void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

} // namespace mossbarrow::uitest

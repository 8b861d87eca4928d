#pragma once

// Waiting on the GLib main loop in tests that drive a toolkit (GTK windows, the clipboard, the
// desktop portal). A test waits for what it expects to happen, never for a fixed time: a slow or
// busy machine only makes the wait longer. The deadline is there to end a test that hangs, so it
// is far beyond any honest wait.

#include <chrono>
#include <functional>
#include <glib.h>

namespace moss_test {

// How long a wait may take before the test calls it a hang. Honest waits of the window tests took
// up to a minute and a half in a sanitized build on a machine running four times as many jobs as
// it has cores; this leaves them room on a slower one.
inline constexpr std::chrono::milliseconds hangDeadline{std::chrono::minutes{5}};

// Iterates the default main context until `done()` holds; returns `done()` (false only when the
// deadline passed). `done` may depend on other threads (a loopback server, a task on the pool):
// it is asked again at least every millisecond even when the main context has nothing to do.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = hangDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return done();
        }
        if (!g_main_context_iteration(nullptr, FALSE)) {
            g_usleep(1000);
        }
    }
    return true;
}

} // namespace moss_test

#pragma once

#include "tests/support/MainLoopWait.hpp"

#include <chrono>
#include <functional>
#include <gtkmm.h>
#include <gtkmm/init.h>
#include <string>
#include <vector>

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

// Runs the default main context until `done` holds; returns `done()`. The deadline only ends a
// test that hangs (see tests/support/MainLoopWait.hpp): tests wait for events, never for time.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = moss_test::hangDeadline) {
    return moss_test::waitUntil(done, deadline);
}

// Waits until the widget's window has laid out and drawn two frames that began after this call:
// whatever the test changed before is then measured, allocated (a list binds the rows it shows
// while it is allocated) and painted. A layout that asks for another one (a label that wraps
// anew at its final width) gets it in the second frame.
inline bool waitForFrames(Gtk::Widget& widget) {
    GdkFrameClock* const clock = gtk_widget_get_frame_clock(widget.gobj());
    if (clock == nullptr) {
        return false; // not shown: nothing will be drawn
    }
    int painted = 0;
    const gulong handler = g_signal_connect_swapped(
        clock, "after-paint", G_CALLBACK(+[](int* count) { ++*count; }), &painted);
    const bool done = pumpUntil([&] {
        if (painted < 2) {
            gtk_widget_queue_draw(widget.gobj()); // a frame that has nothing new still comes
        }
        return painted >= 2;
    });
    g_signal_handler_disconnect(clock, handler);
    return done;
}

// What a pointer click on the button does, without waiting for its press animation.
inline void click(Gtk::Button& button) {
    g_signal_emit_by_name(button.gobj(), "clicked");
}

} // namespace mossbarrow::uitest

namespace mossbarrow::uitest {

// How many glyphs of the label's text its fonts lack (each drawn as a box).
inline int unknownGlyphs(Gtk::Label& label) {
    return pango_layout_get_unknown_glyphs_count(label.get_layout()->gobj());
}

// The label's text laid out at the label's current width (the label's own layout can be one
// made afresh since, not yet wrapped). The caller unreferences it.
inline PangoLayout* layoutAtWidth(Gtk::Label& label) {
    PangoLayout* const layout = pango_layout_copy(label.get_layout()->gobj());
    pango_layout_set_width(layout, label.get_width() * PANGO_SCALE);
    return layout;
}

// The label's text as laid out at its width, one element per line.
inline std::vector<std::string> laidOutLines(Gtk::Label& label) {
    PangoLayout* const layout = layoutAtWidth(label);
    const char* const text = pango_layout_get_text(layout);
    std::vector<std::string> lines;
    for (GSList* line = pango_layout_get_lines_readonly(layout); line != nullptr;
         line = line->next) {
        const auto* const laid = static_cast<PangoLayoutLine*>(line->data);
        lines.emplace_back(text + laid->start_index, static_cast<std::size_t>(laid->length));
    }
    g_object_unref(layout);
    return lines;
}

// Whether a line of the label ends in a hyphen that its text does not have: such a line is wider
// than its own text laid out alone.
inline bool showsAddedHyphens(Gtk::Label& label) {
    PangoLayout* const layout = layoutAtWidth(label);
    const auto widthOf = [&](const std::string& text) {
        PangoLayout* const alone = pango_layout_copy(layout);
        pango_layout_set_width(alone, -1);
        pango_layout_set_text(alone, text.c_str(), static_cast<int>(text.size()));
        int width = 0;
        pango_layout_get_pixel_size(alone, &width, nullptr);
        g_object_unref(alone);
        return width;
    };
    const int hyphen = widthOf("-");
    const std::vector<std::string> lines = laidOutLines(label);
    bool added = false;
    std::size_t index = 0;
    for (GSList* line = pango_layout_get_lines_readonly(layout); line != nullptr && !added;
         line = line->next, ++index) {
        const std::string& text = lines.at(index);
        if (line->next == nullptr || text.empty() || text.back() == ' ') {
            continue; // the last line, or one broken at a space, gets no hyphen
        }
        PangoRectangle logical{};
        pango_layout_line_get_pixel_extents(static_cast<PangoLayoutLine*>(line->data), nullptr,
                                            &logical);
        added = logical.width - widthOf(text) > hyphen / 2;
    }
    g_object_unref(layout);
    return added;
}

} // namespace mossbarrow::uitest

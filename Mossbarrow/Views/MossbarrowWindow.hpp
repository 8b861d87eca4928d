#pragma once

#include "Mossbarrow/Views/ContentView.hpp"

#include <gtkmm.h>

namespace mossbarrow {

// One window of the application: 1000 × 700 at first, titled after the section it shows, its
// content a ContentView with its own state.
class MossbarrowWindow : public Gtk::ApplicationWindow {
public:
    MossbarrowWindow(platform::ModelContext& context, ContentView::Clients clients);

    [[nodiscard]] ContentView& content() noexcept { return content_; }

private:
    ContentView content_;
};

} // namespace mossbarrow

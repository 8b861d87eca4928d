#pragma once

#include <gtkmm.h>

namespace mossbarrow {

// A spinner above a dimmed message, centred in all the space it is given.
class LoadingView : public Gtk::Box {
public:
    explicit LoadingView(const Glib::ustring& message);

    [[nodiscard]] Glib::ustring message() const { return message_.get_text(); }

private:
    Gtk::Spinner spinner_;
    Gtk::Label message_;
};

} // namespace mossbarrow

#pragma once

#include <gtkmm.h>

namespace mossbarrow {

// A headline title above a dimmed message, centred in all the space it is given.
class EmptyStateView : public Gtk::Box {
public:
    EmptyStateView(const Glib::ustring& title, const Glib::ustring& message);

    [[nodiscard]] Glib::ustring title() const { return title_.get_text(); }
    [[nodiscard]] Glib::ustring message() const { return message_.get_text(); }

private:
    Gtk::Label title_;
    Gtk::Label message_;
};

} // namespace mossbarrow

#include "Mossbarrow/Views/LoadingView.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

LoadingView::LoadingView(const Glib::ustring& message)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 12)
    , message_(message) {
    set_hexpand(true);
    set_vexpand(true);
    set_halign(Gtk::Align::FILL);
    set_valign(Gtk::Align::CENTER);
    spinner_.set_spinning(true);
    spinner_.set_halign(Gtk::Align::CENTER);
    message_.add_css_class(style::secondary);
    message_.set_halign(Gtk::Align::CENTER);
    wrapAnywhere(message_);
    message_.set_xalign(0.5F);
    append(spinner_);
    append(message_);
}

} // namespace mossbarrow

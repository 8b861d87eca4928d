#include "Mossbarrow/Views/EmptyStateView.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

EmptyStateView::EmptyStateView(const Glib::ustring& title, const Glib::ustring& message)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 8)
    , title_(title)
    , message_(message) {
    set_hexpand(true);
    set_vexpand(true);
    set_valign(Gtk::Align::CENTER);
    set_margin(12);
    title_.add_css_class(style::headline);
    wrapAnywhere(title_);
    title_.set_xalign(0.5F);
    message_.add_css_class(style::secondary);
    message_.set_justify(Gtk::Justification::CENTER);
    wrapAnywhere(message_);
    message_.set_xalign(0.5F);
    append(title_);
    append(message_);
}

} // namespace mossbarrow

#include "Mossbarrow/Views/ErrorView.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

ErrorView::ErrorView(const Glib::ustring& message, const Glib::ustring& retryTitle,
                     std::function<void()> onRetry)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 12)
    , onRetry_(std::move(onRetry))
    , message_(message) {
    set_hexpand(true);
    set_vexpand(true);
    set_valign(Gtk::Align::CENTER);
    set_margin(12);
    icon_.set_from_icon_name(iconNameForSymbol("exclamationmark.triangle"));
    icon_.set_pixel_size(32);
    icon_.add_css_class(style::secondary);
    message_.add_css_class(style::secondary);
    message_.set_justify(Gtk::Justification::CENTER);
    wrapAnywhere(message_);
    message_.set_xalign(0.5F);
    append(icon_);
    append(message_);
    if (onRetry_) {
        retry_ = std::make_unique<Gtk::Button>(retryTitle);
        retry_->set_halign(Gtk::Align::CENTER);
        retry_->signal_clicked().connect([this] {
            const auto action = onRetry_; // the action may rebuild the view holding this one
            action();
        });
        append(*retry_);
    }
}

} // namespace mossbarrow

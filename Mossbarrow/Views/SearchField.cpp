#include "Mossbarrow/Views/SearchField.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

SearchField::SearchField(const Glib::ustring& placeholder,
                         std::function<void(const std::string&)> onEdit)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 8)
    , onEdit_(std::move(onEdit)) {
    add_css_class(style::searchField);
    icon_.set_from_icon_name(iconNameForSymbol("magnifyingglass"));
    icon_.add_css_class(style::secondary);
    entry_.set_has_frame(false);
    entry_.set_placeholder_text(placeholder);
    entry_.set_hexpand(true);
    append(icon_);
    append(entry_);
    entry_.signal_changed().connect([this] {
        if (!updating_ && onEdit_) {
            onEdit_(entry_.get_text());
        }
    });
}

void SearchField::setText(const std::string& text) {
    if (entry_.get_text().raw() == text) {
        return;
    }
    updating_ = true;
    entry_.set_text(text);
    updating_ = false;
}

} // namespace mossbarrow

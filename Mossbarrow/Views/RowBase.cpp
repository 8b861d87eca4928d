#include "Mossbarrow/Views/RowBase.hpp"

#include "Mossbarrow/Views/Styles.hpp"

#include <algorithm>

namespace mossbarrow {

RowBase::RowBase()
    : Gtk::Box(Gtk::Orientation::VERTICAL, 6) {
    add_css_class(style::row);
    set_hexpand(true);
}

void RowBase::setSelected(bool isSelected) {
    isSelected_ = isSelected;
    if (isSelected) {
        add_css_class(style::selectedRow);
    } else {
        remove_css_class(style::selectedRow);
    }
}

void RowBase::limitToTwoLines(Gtk::Label& label) {
    wrapAnywhere(label);
    label.set_lines(2);
    label.set_ellipsize(Pango::EllipsizeMode::END);
    label.set_max_width_chars(40);
}

void RowBase::wrapWhole(Gtk::Label& label) {
    wrapAnywhere(label);
}

void RowBase::showBeside(Gtk::Label& label, const Glib::ustring& text) {
    label.set_text(text);
    label.set_ellipsize(Pango::EllipsizeMode::END);
    label.set_width_chars(static_cast<int>(std::min<Glib::ustring::size_type>(text.size(), 16)));
}

std::string capitalized(const std::string& text) {
    const Glib::ustring source{text};
    Glib::ustring result;
    bool wordStart = true;
    for (const gunichar c : source) {
        if (g_unichar_isalnum(c)) {
            result += wordStart ? g_unichar_totitle(c) : g_unichar_tolower(c);
            wordStart = false;
        } else {
            result += c;
            // An apostrophe inside a word does not start a new one ("it's" → "It's").
            wordStart = c != '\'' && c != 0x2019;
        }
    }
    return result.raw();
}

} // namespace mossbarrow

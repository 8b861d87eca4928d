#include "Mossbarrow/Views/SegmentedPicker.hpp"

#include "Mossbarrow/Views/WrapBox.hpp"

namespace mossbarrow {

SegmentedPicker::SegmentedPicker(const Glib::ustring& title,
                                 const std::vector<Glib::ustring>& segments,
                                 std::function<void(std::size_t)> onChoose, Layout layout)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 0)
    , title_(title)
    , onChoose_(std::move(onChoose)) {
    WrapBox* wrap = nullptr;
    if (layout == Layout::wrapping) {
        wrap = Gtk::make_managed<WrapBox>(6, 6, WrapBox::Justify::center);
        wrap->set_hexpand(true);
        append(*wrap);
    } else {
        add_css_class("linked");
        set_halign(Gtk::Align::CENTER);
    }
    set_tooltip_text(title);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        auto* const button = Gtk::make_managed<Gtk::ToggleButton>(segments[i]);
        if (!buttons_.empty()) {
            button->set_group(*buttons_.front());
        }
        button->signal_toggled().connect([this, i, button] {
            if (!updating_ && button->get_active()) {
                choose(i);
            }
        });
        buttons_.push_back(button);
        if (wrap != nullptr) {
            wrap->append(*button);
        } else {
            append(*button);
        }
    }
    setSelectedIndex(0);
}

void SegmentedPicker::setSelectedIndex(std::size_t index) {
    if (index >= buttons_.size()) {
        return;
    }
    selected_ = index;
    updating_ = true;
    buttons_[index]->set_active(true);
    updating_ = false;
}

void SegmentedPicker::choose(std::size_t index) {
    if (index >= buttons_.size()) {
        return;
    }
    setSelectedIndex(index);
    if (onChoose_) {
        onChoose_(index);
    }
}

} // namespace mossbarrow

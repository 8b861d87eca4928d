#pragma once

#include <gtkmm.h>
#include <string>

namespace mossbarrow {

// A bordered button that puts one text on the clipboard (clearing it first) and from then on
// shows a green check mark after its label. The mark never goes away by itself; a new button, or
// reset(), starts without it.
class CopyButton : public Gtk::Button {
public:
    CopyButton(Glib::ustring label, std::string textToCopy);

    void setTextToCopy(std::string textToCopy) { textToCopy_ = std::move(textToCopy); }
    [[nodiscard]] const std::string& textToCopy() const noexcept { return textToCopy_; }
    [[nodiscard]] bool isCopied() const noexcept { return isCopied_; }
    // Forgets an earlier copy, as a newly created button would.
    void reset();

private:
    void copy();

    std::string textToCopy_;
    bool isCopied_ = false;
    Gtk::Box box_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Box label_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Image labelIcon_;
    Gtk::Label labelText_;
    Gtk::Image checkmark_;
};

} // namespace mossbarrow

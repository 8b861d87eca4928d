#pragma once

#include <gtkmm.h>
#include <string>

namespace mossbarrow {

// What the three list rows share: 6 points above and below, 4 at the sides, and a faint accent
// tint with rounded corners while selected.
class RowBase : public Gtk::Box {
public:
    RowBase();

    void setSelected(bool isSelected);
    [[nodiscard]] bool isSelected() const noexcept { return isSelected_; }

protected:
    // A label cut after two lines.
    static void limitToTwoLines(Gtk::Label& label);
    // A label shown whole, on as many lines as it needs.
    static void wrapWhole(Gtk::Label& label);
    // A short value beside a wrapping one (a version, a count, a category): kept on one line and
    // whole up to 16 characters, so that the long neighbour cannot squeeze it; beyond that it
    // ends in an ellipsis rather than widening the row.
    static void showBeside(Gtk::Label& label, const Glib::ustring& text);

private:
    bool isSelected_ = false;
};

// Each word's first letter in upper case and the rest in lower case.
std::string capitalized(const std::string& text);

} // namespace mossbarrow

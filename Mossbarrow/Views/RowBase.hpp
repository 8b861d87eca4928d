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

private:
    bool isSelected_ = false;
};

// Each word's first letter in upper case and the rest in lower case.
std::string capitalized(const std::string& text);

} // namespace mossbarrow

#pragma once

#include <functional>
#include <gtkmm.h>
#include <string>
#include <vector>

namespace mossbarrow {

// A row of linked toggle buttons of which exactly one is active: the segmented picker of the
// skills list. Choosing a segment reports its index; setting the selection reports nothing.
class SegmentedPicker : public Gtk::Box {
public:
    // How the segments share the width.
    enum class Layout {
        linked,  // one row of buttons joined together, as wide as they need
        wrapping // separate buttons, centred, going on in another line where the row is full
    };

    SegmentedPicker(const Glib::ustring& title, const std::vector<Glib::ustring>& segments,
                    std::function<void(std::size_t)> onChoose, Layout layout = Layout::linked);

    void setSelectedIndex(std::size_t index);
    [[nodiscard]] std::size_t selectedIndex() const noexcept { return selected_; }
    [[nodiscard]] Glib::ustring title() const { return title_; }
    // What a click on segment `index` does.
    void choose(std::size_t index);
    [[nodiscard]] Gtk::ToggleButton& segment(std::size_t index) { return *buttons_.at(index); }

private:
    Glib::ustring title_;
    std::function<void(std::size_t)> onChoose_;
    std::vector<Gtk::ToggleButton*> buttons_;
    std::size_t selected_ = 0;
    bool updating_ = false;
};

} // namespace mossbarrow

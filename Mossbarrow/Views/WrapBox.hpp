#pragma once

#include <gtkmm.h>
#include <vector>

namespace mossbarrow {

// Lays its children out left to right, each at its natural width, and starts a new line where
// the next one would not fit: a row of short items that keeps every item whole in a narrow
// column instead of squeezing one of them. Items on a line are centred vertically; an item wider
// than the whole line gets the line's width.
class WrapBox : public Gtk::Widget {
public:
    // Where the items of a line sit when the line is shorter than the box.
    enum class Justify { start, center };

    WrapBox(int spacing, int lineSpacing, Justify justify = Justify::start);
    ~WrapBox() override;
    WrapBox(const WrapBox&) = delete;
    WrapBox& operator=(const WrapBox&) = delete;

    // Adds `child` after the others; the box owns a managed child.
    void append(Gtk::Widget& child);

protected:
    Gtk::SizeRequestMode get_request_mode_vfunc() const override;
    void measure_vfunc(Gtk::Orientation orientation, int forSize, int& minimum, int& natural,
                       int& minimumBaseline, int& naturalBaseline) const override;
    void size_allocate_vfunc(int width, int height, int baseline) override;

private:
    struct Item {
        Gtk::Widget* widget;
        int width;
        int height;
    };
    struct Line {
        std::vector<Item> items;
        int width = 0;
        int height = 0;
    };
    void removeChildren();
    [[nodiscard]] std::vector<Gtk::Widget*> shownChildren() const;
    // The lines the visible children fall into at `width`.
    [[nodiscard]] std::vector<Line> lines(int width) const;

    int spacing_;
    int lineSpacing_;
    Justify justify_;
};

} // namespace mossbarrow

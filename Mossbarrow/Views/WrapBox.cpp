#include "Mossbarrow/Views/WrapBox.hpp"

#include <algorithm>

namespace mossbarrow {

WrapBox::WrapBox(int spacing, int lineSpacing, Justify justify)
    // A type of its own, so that GTK calls the layout below.
    : Glib::ObjectBase("MossbarrowWrapBox")
    , spacing_(spacing)
    , lineSpacing_(lineSpacing)
    , justify_(justify) {
    // A box held by its parent ends when GTK disposes of it, before this object is deleted:
    // the children must be let go of then.
    signal_destroy().connect([this] { removeChildren(); });
}

WrapBox::~WrapBox() {
    if (gobj() != nullptr) {
        removeChildren();
    }
}

void WrapBox::removeChildren() {
    while (Gtk::Widget* const child = get_first_child()) {
        child->unparent();
    }
}

void WrapBox::append(Gtk::Widget& child) {
    child.insert_at_end(*this);
}

Gtk::SizeRequestMode WrapBox::get_request_mode_vfunc() const {
    return Gtk::SizeRequestMode::HEIGHT_FOR_WIDTH;
}

std::vector<Gtk::Widget*> WrapBox::shownChildren() const {
    std::vector<Gtk::Widget*> children;
    // Measuring is const, but what is measured is allocated later: the children are the box's.
    for (Gtk::Widget* child = const_cast<WrapBox*>(this)->get_first_child(); child != nullptr;
         child = child->get_next_sibling()) {
        if (child->get_visible()) {
            children.push_back(child);
        }
    }
    return children;
}

std::vector<WrapBox::Line> WrapBox::lines(int width) const {
    std::vector<Line> result;
    for (Gtk::Widget* const child : shownChildren()) {
        int minimum = 0;
        int natural = 0;
        int ignored = 0;
        child->measure(Gtk::Orientation::HORIZONTAL, -1, minimum, natural, ignored, ignored);
        const int itemWidth = std::max(minimum, std::min(natural, width));
        if (result.empty() ||
            (!result.back().items.empty() && result.back().width + spacing_ + itemWidth > width)) {
            result.emplace_back();
        }
        Line& line = result.back();
        int height = 0;
        int naturalHeight = 0;
        child->measure(Gtk::Orientation::VERTICAL, itemWidth, height, naturalHeight, ignored,
                       ignored);
        line.width += (line.items.empty() ? 0 : spacing_) + itemWidth;
        line.height = std::max(line.height, naturalHeight);
        line.items.push_back({child, itemWidth, naturalHeight});
    }
    return result;
}

void WrapBox::measure_vfunc(Gtk::Orientation orientation, int forSize, int& minimum, int& natural,
                            int& minimumBaseline, int& naturalBaseline) const {
    minimumBaseline = -1;
    naturalBaseline = -1;
    minimum = 0;
    natural = 0;
    if (orientation == Gtk::Orientation::HORIZONTAL) {
        // As narrow as the widest item, as wide as all of them on one line.
        bool first = true;
        for (const Gtk::Widget* const child : shownChildren()) {
            int childMinimum = 0;
            int childNatural = 0;
            int ignored = 0;
            child->measure(orientation, -1, childMinimum, childNatural, ignored, ignored);
            minimum = std::max(minimum, childMinimum);
            natural += (first ? 0 : spacing_) + childNatural;
            first = false;
        }
        return;
    }
    int width = forSize;
    if (width < 0) {
        int ignored = 0;
        measure_vfunc(Gtk::Orientation::HORIZONTAL, -1, ignored, width, ignored, ignored);
    }
    const auto laidOut = lines(width);
    for (std::size_t i = 0; i < laidOut.size(); ++i) {
        minimum += (i == 0 ? 0 : lineSpacing_) + laidOut[i].height;
    }
    natural = minimum;
}

void WrapBox::size_allocate_vfunc(int width, int /*height*/, int /*baseline*/) {
    int y = 0;
    for (const Line& line : lines(width)) {
        int x = justify_ == Justify::center ? std::max(0, (width - line.width) / 2) : 0;
        for (const Item& item : line.items) {
            item.widget->size_allocate(
                Gtk::Allocation(x, y + (line.height - item.height) / 2, item.width, item.height),
                -1);
            x += item.width + spacing_;
        }
        y += line.height + lineSpacing_;
    }
}

} // namespace mossbarrow

#pragma once

#include <functional>
#include <gtkmm.h>

namespace mossbarrow {

// A bordered button that shows whether the item on screen is bookmarked and asks its owner to
// toggle it. It never changes its own look: the owner tells it the new state.
class BookmarkButton : public Gtk::Button {
public:
    BookmarkButton(bool isBookmarked, std::function<void()> toggleBookmark);

    void setBookmarked(bool isBookmarked);
    [[nodiscard]] bool isBookmarked() const noexcept { return isBookmarked_; }
    void setToggleBookmark(std::function<void()> toggleBookmark);

    [[nodiscard]] Glib::ustring labelText() const { return text_.get_text(); }
    [[nodiscard]] Glib::ustring iconName() const { return icon_.get_icon_name(); }

private:
    bool isBookmarked_;
    std::function<void()> toggleBookmark_;
    Gtk::Box box_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Image icon_;
    Gtk::Label text_;
};

} // namespace mossbarrow

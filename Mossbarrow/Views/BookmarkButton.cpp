#include "Mossbarrow/Views/BookmarkButton.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

BookmarkButton::BookmarkButton(bool isBookmarked, std::function<void()> toggleBookmark)
    : isBookmarked_(!isBookmarked)
    , toggleBookmark_(std::move(toggleBookmark)) {
    box_.set_valign(Gtk::Align::CENTER);
    box_.append(icon_);
    box_.append(text_);
    set_child(box_);
    set_halign(Gtk::Align::START);
    signal_clicked().connect([this] {
        if (toggleBookmark_) {
            // The handler may replace this button's action; keep the one being run alive.
            const auto action = toggleBookmark_;
            action();
        }
    });
    setBookmarked(isBookmarked);
}

void BookmarkButton::setBookmarked(bool isBookmarked) {
    if (isBookmarked == isBookmarked_) {
        return;
    }
    isBookmarked_ = isBookmarked;
    icon_.set_from_icon_name(iconNameForSymbol(isBookmarked ? "bookmark.fill" : "bookmark"));
    text_.set_text(isBookmarked ? "Bookmarked" : "Bookmark");
}

void BookmarkButton::setToggleBookmark(std::function<void()> toggleBookmark) {
    toggleBookmark_ = std::move(toggleBookmark);
}

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/RowBase.hpp"

#include <memory>

namespace mossbarrow {

// A stored bookmark in the bookmarks list: title, subtitle when there is one, kind in capitals.
class BookmarkRow : public RowBase {
public:
    BookmarkRow();

    void show(const std::shared_ptr<Bookmark>& bookmark, bool isSelected);

    [[nodiscard]] Glib::ustring titleText() const { return title_.get_text(); }
    [[nodiscard]] bool showsSubtitle() const { return subtitle_.get_visible(); }
    [[nodiscard]] Glib::ustring subtitleText() const { return subtitle_.get_text(); }
    [[nodiscard]] Glib::ustring kindText() const { return kind_.get_text(); }

private:
    Gtk::Label title_;
    Gtk::Label subtitle_;
    Gtk::Label kind_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/RowBase.hpp"

#include <memory>

namespace mossbarrow {

// A stored bookmark in the bookmarks list: title, subtitle when there is one, kind in capitals;
// for a damaged record, what could not be read in place of what it stands for.
class BookmarkRow : public RowBase {
public:
    BookmarkRow();

    void show(const std::shared_ptr<Bookmark>& bookmark, bool isSelected);

    [[nodiscard]] Glib::ustring titleText() const { return title_.get_text(); }
    [[nodiscard]] bool showsSubtitle() const { return subtitle_.get_visible(); }
    [[nodiscard]] Glib::ustring subtitleText() const { return subtitle_.get_text(); }
    [[nodiscard]] Glib::ustring kindText() const { return kind_.get_text(); }
    // What of the record could not be read; empty when it all read.
    [[nodiscard]] Glib::ustring damageText() const {
        return damage_.get_visible() ? damage_.get_text() : Glib::ustring();
    }

private:
    Gtk::Label title_;
    Gtk::Label subtitle_;
    Gtk::Label kind_;
    Gtk::Label damage_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"

#include <gtkmm.h>
#include <memory>

namespace mossbarrow {

// The detail column of the Bookmarks section: the selected bookmark's title, subtitle and
// payload (selectable).
class BookmarkDetailView : public Gtk::Stack {
public:
    BookmarkDetailView();

    void setBookmark(const std::shared_ptr<Bookmark>& bookmark);
    [[nodiscard]] std::string shownText() const;

private:
    std::shared_ptr<Bookmark> bookmark_;
    EmptyStateView empty_{"Select a bookmark", "Pick a bookmark to view details."};
    std::unique_ptr<Gtk::Box> detail_;
};

} // namespace mossbarrow

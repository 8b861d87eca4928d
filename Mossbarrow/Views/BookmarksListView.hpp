#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/BookmarkRow.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "platform/data/LiveQuery.hpp"
#include "platform/data/ModelContext.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mossbarrow {

// The middle column of the Bookmarks section: every stored bookmark, newest first, straight from
// the store and following its changes. The Delete key removes the selected bookmark.
class BookmarksListView : public Gtk::Box {
public:
    using BookmarkPtr = std::shared_ptr<Bookmark>;

    BookmarksListView(platform::ModelContext& context, std::function<void(BookmarkPtr)> onSelect);
    ~BookmarksListView() override { scheduled_.disconnect(); }
    BookmarksListView(const BookmarksListView&) = delete;
    BookmarksListView& operator=(const BookmarksListView&) = delete;

    void setSelected(const BookmarkPtr& bookmark);
    // Deletes the bookmarks at these positions of the list as shown.
    void deleteRows(const std::vector<std::size_t>& positions);
    // The query's current result (what the list shows once it re-rendered).
    [[nodiscard]] std::vector<BookmarkPtr> bookmarks() const { return query_.results(); }
    [[nodiscard]] RecordListView<BookmarkPtr, BookmarkRow>& list() noexcept { return list_; }

    // Called after the list followed a change of the store.
    std::function<void()> onStoreChange;

private:
    void render();

    platform::ModelContext& context_;
    std::function<void(BookmarkPtr)> onSelect_;
    platform::LiveQuery<Bookmark> query_;
    platform::QueryObservation observation_;
    RecordListView<BookmarkPtr, BookmarkRow> list_;
    std::vector<BookmarkPtr> shown_;
    BookmarkPtr selected_;
    sigc::connection scheduled_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/Bookmark.hpp"
#include "Mossbarrow/Views/BookmarkRow.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"
#include "platform/data/LiveQuery.hpp"
#include "platform/data/ModelContext.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// The middle column of the Bookmarks section: every stored bookmark, newest first, straight from
// the store and following its changes. The arrow keys move the selection; the Delete key, or
// "Delete" in a row's context menu, removes a bookmark.
class BookmarksListView : public Gtk::Box {
public:
    using BookmarkPtr = std::shared_ptr<Bookmark>;

    // `onFailure` is told, in a sentence for the user, when a delete fails.
    BookmarksListView(platform::ModelContext& context, std::function<void(BookmarkPtr)> onSelect,
                      std::function<void(const std::string&)> onFailure);
    ~BookmarksListView() override;
    BookmarksListView(const BookmarksListView&) = delete;
    BookmarksListView& operator=(const BookmarksListView&) = delete;

    void setSelected(const BookmarkPtr& bookmark);
    // The list's key for a bookmark: its id, or its place in the store when the id is damaged.
    [[nodiscard]] static std::string rowId(const BookmarkPtr& bookmark);
    // Deletes the bookmarks at these positions of the list as shown.
    void deleteRows(const std::vector<std::size_t>& positions);
    // The query's current result (what the list shows once it re-rendered).
    [[nodiscard]] std::vector<BookmarkPtr> bookmarks() const { return query_.results(); }
    [[nodiscard]] RecordListView<BookmarkPtr, BookmarkRow>& list() noexcept { return list_; }
    // The context menu of the rows, and the bookmark it was opened on.
    [[nodiscard]] Gtk::PopoverMenu& contextMenu() noexcept { return menu_; }
    [[nodiscard]] const BookmarkPtr& contextBookmark() const noexcept { return menuBookmark_; }

    // What could not be read from the store (shown above the list): the damaged bookmarks and
    // how many could not be read at all. Empty when all of it read.
    [[nodiscard]] std::string problemText() const {
        return problem_.get_visible() ? std::string(problem_.get_text()) : std::string();
    }

    // Called after the list followed a change of the store.
    std::function<void()> onStoreChange;

private:
    void render();
    [[nodiscard]] std::string describeProblems() const;
    bool keyPressed(guint key);
    // Selects the bookmark `step` rows below (or above) the selected one.
    void moveSelection(int step);
    void openContextMenu(const BookmarkPtr& bookmark, Gtk::Widget& row, double x, double y);

    platform::ModelContext& context_;
    std::function<void(BookmarkPtr)> onSelect_;
    std::function<void(const std::string&)> onFailure_;
    platform::LiveQuery<Bookmark> query_;
    platform::QueryObservation observation_;
    Gtk::Label problem_;
    RecordListView<BookmarkPtr, BookmarkRow> list_;
    std::vector<BookmarkPtr> shown_;
    BookmarkPtr selected_;
    sigc::connection scheduled_;
    Gtk::PopoverMenu menu_;
    BookmarkPtr menuBookmark_;
};

} // namespace mossbarrow

#include "Mossbarrow/Views/BookmarksListView.hpp"

#include "platform/data/FetchDescriptor.hpp"

#include <algorithm>
#include <iostream>

namespace mossbarrow {

namespace {

platform::FetchDescriptor<Bookmark> newestFirst() {
    return {.predicate = std::nullopt,
            .sortBy = {platform::SortDescriptor<Bookmark>(Bookmark::updatedAtKey(),
                                                          platform::SortOrder::reverse)}};
}

} // namespace

BookmarksListView::BookmarksListView(platform::ModelContext& context,
                                     std::function<void(BookmarkPtr)> onSelect)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0)
    , context_(context)
    , onSelect_(std::move(onSelect))
    , query_(context.liveQuery<Bookmark>(newestFirst()))
    , list_([](const BookmarkPtr& bookmark) { return bookmark->id().uuidString(); }) {
    list_.onTap = [this](const BookmarkPtr& bookmark) {
        if (onSelect_) {
            onSelect_(bookmark);
        }
    };
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if ((key == GDK_KEY_Delete || key == GDK_KEY_BackSpace) && selected_) {
                const auto found = std::find(shown_.begin(), shown_.end(), selected_);
                if (found != shown_.end()) {
                    deleteRows({static_cast<std::size_t>(found - shown_.begin())});
                    return true;
                }
            }
            return false;
        },
        false);
    list_.add_controller(keys);
    append(list_);
    observation_ = query_.observe([this] {
        // Re-read on the next turn: the change may be in the middle of a larger update.
        if (!scheduled_.connected()) {
            scheduled_ = Glib::signal_timeout().connect(
                [this] {
                    render();
                    return false;
                },
                0);
        }
    });
    render();
}

void BookmarksListView::setSelected(const BookmarkPtr& bookmark) {
    selected_ = bookmark;
    list_.setSelectedId(bookmark ? std::optional(bookmark->id().uuidString()) : std::nullopt);
}

void BookmarksListView::deleteRows(const std::vector<std::size_t>& positions) {
    // Positions refer to the list as shown; the records are taken before any is deleted.
    std::vector<BookmarkPtr> doomed;
    for (const std::size_t position : positions) {
        if (position < shown_.size()) {
            doomed.push_back(shown_[position]);
        }
    }
    for (const auto& bookmark : doomed) {
        try {
            context_.remove(bookmark);
        } catch (const std::exception& error) {
            std::cerr << "Could not delete a bookmark: " << error.what() << '\n';
        }
    }
}

void BookmarksListView::render() {
    scheduled_.disconnect();
    shown_ = query_.results();
    list_.setRecords(shown_);
    if (onStoreChange) {
        onStoreChange();
    }
}

} // namespace mossbarrow

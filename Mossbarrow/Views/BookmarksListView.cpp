#include "Mossbarrow/Views/BookmarksListView.hpp"

#include "Mossbarrow/Views/BookmarkDamage.hpp"
#include "platform/data/FetchDescriptor.hpp"

#include <algorithm>

namespace mossbarrow {

namespace {

platform::FetchDescriptor<Bookmark> newestFirst() {
    return {.predicate = std::nullopt,
            .sortBy = {platform::SortDescriptor<Bookmark>(Bookmark::updatedAtKey(),
                                                          platform::SortOrder::reverse)}};
}

} // namespace

BookmarksListView::BookmarksListView(platform::ModelContext& context,
                                     std::function<void(BookmarkPtr)> onSelect,
                                     std::function<void(const std::string&)> onFailure)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0)
    , context_(context)
    , onSelect_(std::move(onSelect))
    , onFailure_(std::move(onFailure))
    , query_(context.liveQuery<Bookmark>(newestFirst()))
    , list_(&BookmarksListView::rowId) {
    list_.onTap = [this](const BookmarkPtr& bookmark) {
        if (onSelect_) {
            onSelect_(bookmark);
        }
    };
    // Ahead of the list's own key handling, which moves the focus but knows nothing of the
    // selection kept here.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) { return keyPressed(key); }, false);
    list_.add_controller(keys);
    // Says what the store could not read, so that a damaged record never passes for a sound one
    // and a record left out never passes for a missing one.
    problem_.set_wrap(true);
    problem_.set_xalign(0);
    problem_.set_margin(8);
    problem_.add_css_class("error");
    problem_.set_visible(false);
    append(problem_);
    append(list_);

    auto actions = Gio::SimpleActionGroup::create();
    actions->add_action("delete", [this] {
        const auto found = std::find(shown_.begin(), shown_.end(), menuBookmark_);
        if (found != shown_.end()) {
            deleteRows({static_cast<std::size_t>(found - shown_.begin())});
        }
        menuBookmark_ = nullptr;
    });
    insert_action_group("bookmarks", actions);
    auto model = Gio::Menu::create();
    model->append("Delete", "bookmarks.delete");
    menu_.set_menu_model(model);
    menu_.set_has_arrow(false);
    menu_.set_halign(Gtk::Align::START);
    menu_.set_parent(*this);
    list_.onContextMenu = [this](const BookmarkPtr& bookmark, Gtk::Widget& row, double x,
                                 double y) { openContextMenu(bookmark, row, x, y); };
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

BookmarksListView::~BookmarksListView() {
    scheduled_.disconnect();
    menu_.unparent();
}

bool BookmarksListView::keyPressed(guint key) {
    switch (key) {
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        moveSelection(-1);
        return true;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        moveSelection(1);
        return true;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
    case GDK_KEY_BackSpace:
        if (selected_) {
            const auto found = std::find(shown_.begin(), shown_.end(), selected_);
            if (found != shown_.end()) {
                deleteRows({static_cast<std::size_t>(found - shown_.begin())});
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}

void BookmarksListView::moveSelection(int step) {
    if (shown_.empty()) {
        return;
    }
    const auto found = std::find(shown_.begin(), shown_.end(), selected_);
    std::size_t position = 0;
    if (found == shown_.end()) {
        // Nothing selected (or it is gone): the first step lands on an end of the list.
        position = step > 0 ? 0 : shown_.size() - 1;
    } else {
        const auto current = static_cast<std::ptrdiff_t>(found - shown_.begin());
        const auto last = static_cast<std::ptrdiff_t>(shown_.size()) - 1;
        position = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(current + step, 0, last));
    }
    list_.scrollTo(position);
    if (shown_[position] != selected_ && onSelect_) {
        onSelect_(shown_[position]);
    }
}

void BookmarksListView::openContextMenu(const BookmarkPtr& bookmark, Gtk::Widget& row, double x,
                                        double y) {
    menuBookmark_ = bookmark;
    double atX = x;
    double atY = y;
    row.translate_coordinates(*this, x, y, atX, atY);
    menu_.set_pointing_to(Gdk::Rectangle(static_cast<int>(atX), static_cast<int>(atY), 1, 1));
    menu_.popup();
}

void BookmarksListView::setSelected(const BookmarkPtr& bookmark) {
    selected_ = bookmark;
    list_.setSelectedId(bookmark ? std::optional(rowId(bookmark)) : std::nullopt);
}

std::string BookmarksListView::rowId(const BookmarkPtr& bookmark) {
    if (isUnreadable(*bookmark, Bookmark::Attribute::id)) {
        const auto stored = bookmark->persistentModelID();
        return "record " + std::to_string(stored ? stored->rowID : 0);
    }
    return bookmark->id().uuidString();
}

void BookmarksListView::deleteRows(const std::vector<std::size_t>& positions) {
    // Positions refer to the list as shown; the records are taken before any is deleted.
    std::vector<BookmarkPtr> doomed;
    for (const std::size_t position : positions) {
        if (position < shown_.size()) {
            doomed.push_back(shown_[position]);
        }
    }
    std::size_t failed = 0;
    std::string reason;
    for (const auto& bookmark : doomed) {
        try {
            context_.remove(bookmark);
        } catch (const std::exception& error) {
            if (failed++ == 0) {
                reason = error.what();
            }
        }
    }
    if (failed > 0 && onFailure_) {
        onFailure_((failed == 1 ? std::string("Could not delete the bookmark: ")
                                : "Could not delete " + std::to_string(failed) + " bookmarks: ") +
                   reason);
    }
}

void BookmarksListView::render() {
    scheduled_.disconnect();
    shown_ = query_.results();
    list_.setRecords(shown_);
    const std::string problem = describeProblems();
    problem_.set_text(problem);
    problem_.set_visible(!problem.empty());
    if (onStoreChange) {
        onStoreChange();
    }
}

std::string BookmarksListView::describeProblems() const {
    const auto problems = query_.readProblems();
    std::string text;
    const auto damaged = std::count_if(shown_.begin(), shown_.end(),
                                       [](const BookmarkPtr& shown) { return shown->isDamaged(); });
    if (damaged == 1) {
        const auto found = std::find_if(shown_.begin(), shown_.end(), [](const BookmarkPtr& shown) {
            return shown->isDamaged();
        });
        const std::string name = bookmarkName(**found);
        text = "One bookmark" + (name.empty() ? "" : ", " + name + ",") +
               " is damaged: " + unreadableParts(**found) +
               " could not be read. It is marked in the list and can be deleted.";
    } else if (damaged > 1) {
        text = std::to_string(damaged) + " bookmarks are damaged: some of their values could not " +
               "be read. They are marked in the list and can be deleted.";
    }
    const auto unreadable = problems.unreadableRecords;
    if (!unreadable || *unreadable > 0) {
        if (!text.empty()) {
            text += ' ';
        }
        text += unreadable ? std::to_string(*unreadable) +
                                 (*unreadable == 1 ? " bookmark" : " bookmarks") +
                                 " could not be read at all and cannot be listed"
                           : std::string("Some bookmarks could not be read");
        text += problems.failure ? ": " + *problems.failure : std::string();
        if (text.back() != '.') {
            text += '.';
        }
    }
    return text;
}

} // namespace mossbarrow

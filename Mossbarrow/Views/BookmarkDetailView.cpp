#include "Mossbarrow/Views/BookmarkDetailView.hpp"

#include "Mossbarrow/Views/BookmarkDamage.hpp"
#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

BookmarkDetailView::BookmarkDetailView() {
    add(empty_, "empty");
    set_visible_child("empty");
    set_hexpand(true);
    set_vexpand(true);
}

void BookmarkDetailView::setBookmark(const std::shared_ptr<Bookmark>& bookmark) {
    if (bookmark == bookmark_ && (bookmark_ == nullptr) == (detail_ == nullptr)) {
        return;
    }
    bookmark_ = bookmark;
    if (detail_) {
        remove(*detail_);
        detail_.reset();
    }
    if (!bookmark_) {
        set_visible_child("empty");
        return;
    }
    detail_ = std::make_unique<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
    detail_->set_margin(16);
    if (bookmark_->isDamaged()) {
        detail_->append(*makeLabel("This bookmark is damaged: " + unreadableParts(*bookmark_) +
                                       " could not be read.",
                                   {"error"}));
    }
    // What could not be read is said, never shown as an empty text that passes for the value.
    const bool titleUnreadable = isUnreadable(*bookmark_, Bookmark::Attribute::title);
    auto* const title =
        makeLabel(titleUnreadable ? "Unreadable title" : bookmark_->title(), {style::title2});
    detail_->append(*title);
    if (const auto subtitle = bookmark_->subtitle()) {
        auto* const label = makeLabel(*subtitle, {style::secondary});
        detail_->append(*label);
    }
    const bool payloadUnreadable = isUnreadable(*bookmark_, Bookmark::Attribute::payload);
    auto* const payload =
        payloadUnreadable ? makeLabel("Unreadable payload", {style::secondary, style::caption})
                          : makeLabel(bookmark_->payload(), {style::monospaced, style::caption});
    payload->set_selectable(!payloadUnreadable);
    detail_->append(*makeGroupBox("Payload", *payload));
    add(*detail_, "bookmark");
    set_visible_child("bookmark");
}

std::string BookmarkDetailView::shownText() const {
    const Gtk::Widget* const shown = get_visible_child();
    return shown == nullptr ? std::string{} : collectText(*shown);
}

} // namespace mossbarrow

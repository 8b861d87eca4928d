#include "Mossbarrow/Views/BookmarkRow.hpp"

#include "Mossbarrow/Views/BookmarkDamage.hpp"
#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

BookmarkRow::BookmarkRow() {
    set_spacing(4);
    title_.add_css_class(style::headline);
    wrapWhole(title_);
    subtitle_.add_css_class(style::subheadline);
    subtitle_.add_css_class(style::secondary);
    wrapWhole(subtitle_);
    kind_.add_css_class(style::caption);
    kind_.add_css_class(style::secondary);
    wrapAnywhere(kind_);
    append(title_);
    append(subtitle_);
    damage_.add_css_class(style::caption);
    damage_.add_css_class("error");
    wrapWhole(damage_);
    append(kind_);
    append(damage_);
}

void BookmarkRow::show(const std::shared_ptr<Bookmark>& bookmark, bool isSelected) {
    // What could not be read is said, never shown as an empty text that passes for the value.
    title_.set_text(isUnreadable(*bookmark, Bookmark::Attribute::title) ? "Unreadable title"
                                                                        : bookmark->title());
    const auto subtitle = bookmark->subtitle();
    subtitle_.set_visible(subtitle.has_value());
    subtitle_.set_text(subtitle.value_or(""));
    kind_.set_text(Glib::ustring(bookmark->kind()).uppercase());
    damage_.set_visible(bookmark->isDamaged());
    if (bookmark->isDamaged()) {
        damage_.set_text("Damaged: " + unreadableParts(*bookmark) + " could not be read.");
    }
    setSelected(isSelected);
}

} // namespace mossbarrow

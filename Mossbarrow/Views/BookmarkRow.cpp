#include "Mossbarrow/Views/BookmarkRow.hpp"

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
    append(kind_);
}

void BookmarkRow::show(const std::shared_ptr<Bookmark>& bookmark, bool isSelected) {
    title_.set_text(bookmark->title());
    const auto subtitle = bookmark->subtitle();
    subtitle_.set_visible(subtitle.has_value());
    subtitle_.set_text(subtitle.value_or(""));
    kind_.set_text(Glib::ustring(bookmark->kind()).uppercase());
    setSelected(isSelected);
}

} // namespace mossbarrow

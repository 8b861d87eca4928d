#pragma once

#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/Views/BookmarkButton.hpp"
#include "Mossbarrow/Views/CopyButton.hpp"
#include "platform/foundation/InlineMarkdown.hpp"

#include <functional>
#include <gtkmm.h>

namespace mossbarrow {

// One Ostrel catalogue skill: name, description, copy and bookmark buttons, its long
// description with inline markdown shown as selectable styled text, details and links.
// A new view is made for every skill shown, so the parsed text and the copy buttons' check marks
// start afresh.
class OstrelSkillDetailView : public Gtk::Box {
public:
    OstrelSkillDetailView(OstrelSkill skill, bool isBookmarked, std::function<void()> toggle);

    void setBookmarked(bool isBookmarked) { bookmark_.setBookmarked(isBookmarked); }

    // Parses the long description (done when its text comes on screen).
    void parseLongDescription();

    [[nodiscard]] const platform::AttributedText& longDescriptionAttributed() const noexcept {
        return parsed_;
    }
    [[nodiscard]] bool showsProgress() const { return progress_.get_visible(); }
    [[nodiscard]] Gtk::Label& contentLabel() noexcept { return content_; }
    [[nodiscard]] CopyButton& firstCopyButton() noexcept { return copyFirst_; }
    [[nodiscard]] CopyButton& lastCopyButton() noexcept { return copyLast_; }
    [[nodiscard]] BookmarkButton& bookmarkButton() noexcept { return bookmark_; }

    // Pango markup for attributed text: styles as markup, links as anchors.
    static Glib::ustring markupFor(const platform::AttributedText& text);

private:
    OstrelSkill skill_;
    platform::AttributedText parsed_;
    CopyButton copyFirst_;
    BookmarkButton bookmark_;
    Gtk::Spinner progress_;
    Gtk::Label content_;
    CopyButton copyLast_;
};

} // namespace mossbarrow

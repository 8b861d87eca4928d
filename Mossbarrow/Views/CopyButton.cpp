#include "Mossbarrow/Views/CopyButton.hpp"

#include "Mossbarrow/Views/Styles.hpp"
#include "platform/appkit/Pasteboard.hpp"

namespace mossbarrow {

CopyButton::CopyButton(Glib::ustring label, std::string textToCopy)
    : textToCopy_(std::move(textToCopy)) {
    labelIcon_.set_from_icon_name(iconNameForSymbol("doc.on.doc"));
    labelText_.set_text(label);
    label_.append(labelIcon_);
    label_.append(labelText_);
    checkmark_.set_from_icon_name(iconNameForSymbol("checkmark.circle.fill"));
    checkmark_.add_css_class(style::success);
    checkmark_.set_visible(false);
    box_.set_valign(Gtk::Align::CENTER);
    box_.append(label_);
    box_.append(checkmark_);
    set_child(box_);
    set_halign(Gtk::Align::START);
    signal_clicked().connect([this] { copy(); });
}

void CopyButton::copy() {
    auto& pasteboard = platform::Pasteboard::general();
    pasteboard.clearContents();
    pasteboard.setString(textToCopy_);
    isCopied_ = true;
    checkmark_.set_visible(true);
}

void CopyButton::reset() {
    isCopied_ = false;
    checkmark_.set_visible(false);
}

} // namespace mossbarrow

#pragma once

#include <functional>
#include <gtkmm.h>
#include <string>

namespace mossbarrow {

// A borderless one-line text field with a magnifying glass, on a rounded tinted background.
// Every edit reports the whole new text at once; debouncing is the listener's business.
class SearchField : public Gtk::Box {
public:
    SearchField(const Glib::ustring& placeholder, std::function<void(const std::string&)> onEdit);

    // Shows `text` without reporting it as an edit.
    void setText(const std::string& text);
    [[nodiscard]] std::string text() const { return entry_.get_text(); }
    [[nodiscard]] Gtk::Entry& entry() noexcept { return entry_; }

private:
    std::function<void(const std::string&)> onEdit_;
    bool updating_ = false;
    Gtk::Image icon_;
    Gtk::Entry entry_;
};

} // namespace mossbarrow

#pragma once

#include <functional>
#include <gtkmm.h>

namespace mossbarrow {

// A warning sign, the failure's message and, when a retry action is given, a button to run it;
// centred in all the space it is given.
class ErrorView : public Gtk::Box {
public:
    ErrorView(const Glib::ustring& message, const Glib::ustring& retryTitle,
              std::function<void()> onRetry);

    [[nodiscard]] Glib::ustring message() const { return message_.get_text(); }
    void setMessage(const Glib::ustring& message) { message_.set_text(message); }
    // Null when no retry action was given.
    [[nodiscard]] Gtk::Button* retryButton() noexcept { return retry_.get(); }

private:
    std::function<void()> onRetry_;
    Gtk::Image icon_;
    Gtk::Label message_;
    std::unique_ptr<Gtk::Button> retry_;
};

} // namespace mossbarrow

#pragma once

#include "Mossbarrow/ServerResponse.hpp"
#include "Mossbarrow/Views/RowBase.hpp"

namespace mossbarrow {

// An MCP registry server in the servers list: title (or name) with a version badge, and up to
// two lines of description.
class MCPServerRow : public RowBase {
public:
    MCPServerRow();

    void show(const ServerResponse& server, bool isSelected);

    [[nodiscard]] Glib::ustring titleText() const { return title_.get_text(); }
    [[nodiscard]] bool showsVersion() const { return badge_.get_visible(); }
    [[nodiscard]] Glib::ustring versionText() const { return version_.get_text(); }
    [[nodiscard]] bool showsDescription() const { return description_.get_visible(); }
    [[nodiscard]] Glib::ustring descriptionText() const { return description_.get_text(); }

private:
    Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Label title_;
    Gtk::Box badge_;
    Gtk::Label version_;
    Gtk::Label description_;
};

} // namespace mossbarrow
